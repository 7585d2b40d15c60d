// The relaunch chain of the auto-update program and its update schedule.
#pragma once

#include <windows.h>

#include <cstdint>

// Copies the launcher to its "X_" working copy and starts it.
void CreateAndRun_X_Exe();
// Hands "/STOP=", "/WM_MSG=", "/TEST=" and the override list to the working
// copy's window; true when any message was posted.
bool ForwardSwitchesToXCopy(bool workingCopyWindowExisted);

// --- Update schedule ---------------------------------------------------------
// Ticks since start; checks begin once it reaches 1 (-3: the fourth tick).
extern int32_t TickCount;
// Ticks left before the working copy ends itself; -1: never.
extern int32_t ExitCountdown;

// The wizard window's timer handler in the auto-update program.
void UpdateTick(HWND wizard);
// A command of the control message; unknown commands return 0.
int32_t UpdateCommand(int32_t command, int32_t value);
// Posts ControllerMessage to ControllerWindow with wParam code and lParam
// value, when a controller has registered both.
void NotifyController(int32_t code, LPARAM value);
