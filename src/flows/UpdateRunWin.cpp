#include "flows/UpdateRunWin.h"

// Placeholder until the update run is built.
void PerformUpdate(View&) {}
