#include "flows/RelaunchChainWin.h"

// Placeholders until the relaunch chain is built.
void CreateAndRun_X_Exe() {}
bool ForwardSwitchesToXCopy(bool) { return false; }
