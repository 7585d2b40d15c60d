// Mode dispatch: the single-instance test and the three roads.
#pragma once

// Runs the single-instance test and one road; returns when it has ended.
void DispatchMode();
