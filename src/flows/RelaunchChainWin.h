// The relaunch chain of the auto-update program: the launcher copies itself
// to its "X_" working copy, starts it and forwards its switches.
#pragma once

// Copies the launcher to its "X_" working copy and starts it.
void CreateAndRun_X_Exe();
// Hands "/STOP=", "/WM_MSG=", "/TEST=" and the override list to the working
// copy's window; true when any message was posted.
bool ForwardSwitchesToXCopy(bool workingCopyWindowExisted);
