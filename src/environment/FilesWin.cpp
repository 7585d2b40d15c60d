#include "environment/Files.h"

// Placeholder until self-removal is built: the working copy's file stays.
void SelfRemove(bool, bool) {}
