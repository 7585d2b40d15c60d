#include "flows/UpdateScheduleWin.h"

int32_t TickCount = -3;
int32_t ExitCountdown = -1;
HWND ControllerWindow = nullptr;
UINT ControllerMessage = 0;

// Placeholders until the update schedule is built.
void UpdateTick(HWND) {}
int32_t UpdateCommand(int32_t, int32_t) { return 0; }

void NotifyController(int32_t code, LPARAM value) {
  if (ControllerWindow && ControllerMessage) PostMessageA(ControllerWindow, ControllerMessage, WPARAM(code), value);
}
