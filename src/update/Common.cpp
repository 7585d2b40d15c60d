#include "update/Common.h"

// Placeholder until the update settings are built.
void ReadTestMode(bool) {}
