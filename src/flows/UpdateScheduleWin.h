// The update schedule of the auto-update working copy: its timer tick, the
// control commands another program sends, the controller notifications, the
// NEW UPDATE prompt and the restart after an update.
#pragma once

#include <windows.h>

#include <cstdint>

#include "flows/UpdateSchedule.h"
#include "flows/View.h"

// Control messages another program sends to the wizard window.
enum : UINT {
  kMsgSetExitCountdown = WM_USER + 99,     // wParam: the new ExitCountdown
  kMsgRegisterController = WM_USER + 100,  // wParam: window, lParam: message number
  kMsgCommand = WM_USER + 101,             // wParam: command, lParam: value; the result is the answer
};

// Notification codes posted to a registered controller.
enum : int {
  kNotifyInfoDownload = 40,    // 1 begins, 2 has ended
  kNotifyUpdateDownload = 41,  // 1 begins, 2 has ended
  kNotifyUpdateSetup = 42,     // 1 started, 2 has ended
  kNotifyLoopEnded = 43,
  kNotifyWindow = 50,
  kNotifyCommandMessage = 51,
};

// The working copy's schedule (TickCount, ExitCountdown, CheckMode,
// UpdateStage ... as its fields).
extern ScheduleState Schedule;
// Ticks since start; checks begin once it reaches 1 (-3: the fourth tick).
extern int32_t& TickCount;
// Ticks left before the working copy ends itself; -1: never.
extern int32_t& ExitCountdown;
// Where NotifyController posts; both 0 until a controller registers.
extern HWND ControllerWindow;
extern UINT ControllerMessage;

// The wizard window's timer handler in the auto-update program.
void UpdateTick(View& view);
// A command of the control message; unknown commands return 0.
int32_t UpdateCommand(int32_t command, int32_t value);
// Posts ControllerMessage to ControllerWindow with wParam code and lParam
// value, when a controller has registered both.
void NotifyController(int32_t code, LPARAM value);

// The NEW UPDATE question; false when the user declined.
bool AskCheckPrompt(View& view);
// Whether the offer's re-ask time has come, and whether the installed
// version may take it (the settings of both info files).
bool ReAskDue();
bool VersionIsValid();
// Restarts the installed auto-update program after an update and ends this
// working copy (unless its life was limited).
void RelaunchAfterUpdate();
