// The relaunch chain of the auto-update program: the launcher copies itself
// to its "X_" working copy, starts it and forwards its switches.
#pragma once

// Copies the launcher to its "X_" working copy and starts it, handing on
// "/TRANSIENT=" and "/DELAY=" as " /TRANSIENTx=" and " /DELAYx="; with
// arguments, waits up to 3 s for the copy to run.
void CreateAndRun_X_Exe();
// Hands "/STOP=", "/WM_MSG=" and "/TEST=" to the working copy's window;
// true when any message was posted.
bool ForwardSwitchesToXCopy(bool workingCopyWindowExisted);
// In the working copy: takes over the overrides of " /TRANSIENTx=" (what a
// controller set before the restart) and traces the resulting list.
void ApplyReceivedOverrides();
