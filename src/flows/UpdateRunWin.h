// The update run: one check of the update location and, when an update is
// on offer, its download, the shut-down of the application, the update setup
// and the restart.
#pragma once

#include "flows/View.h"

// One complete check, called by the update schedule when a check is due.
void PerformUpdate(View& view);
