#include "stub/StubWinUtil.h"

#include "stub/StubWin.h"

int32_t TickCount = -3;
int32_t ExitCountdown = -1;

// Placeholders until the relaunch chain is built.
void CreateAndRun_X_Exe() {}
bool ForwardSwitchesToXCopy(bool) { return false; }

// Placeholders until the update schedule is built.
void UpdateTick(HWND) {}
int32_t UpdateCommand(int32_t, int32_t) { return 0; }

void NotifyController(int32_t code, LPARAM value) {
  if (ControllerWindow && ControllerMessage) PostMessageA(ControllerWindow, ControllerMessage, WPARAM(code), value);
}
