#include "stub/StubWin.h"

#include <commctrl.h>

#include "environment/Files.h"
#include "package/UnPack.h"
#include "stub/Stub.h"
#include "stub/StubRoads.h"
#include "stub/StubWinUtil.h"
#include "support/UtilsWin.h"
#include "update/InetHTTP.h"

HWND WizardWindow = nullptr;
HWND StatusText = nullptr;
HWND ProgressBar = nullptr;
HWND ControllerWindow = nullptr;
UINT ControllerMessage = 0;

namespace {

const UINT_PTR kTimerId = 1;
// Kept for the life of the process.
HFONT gStatusFont = nullptr;

void CreateChildren(HWND window) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // Wider than the window: the text is clipped at its edge.
  StatusText = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 71, 20, 400, 18, window, nullptr, instance,
                               nullptr);
  ProgressBar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, 70, 38, 237, 13, window, nullptr,
                                instance, nullptr);
  SetTimer(window, kTimerId, 1000, nullptr);
  if (!gStatusFont) gStatusFont = CreateFontA(13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  SendMessageA(StatusText, WM_SETFONT, reinterpret_cast<WPARAM>(gStatusFont), FALSE);
}

void Paint(HWND window) {
  HDC dc = GetDC(window);
  RECT r;
  GetClientRect(window, &r);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  if (icon) DrawIcon(dc, 18, 20, icon);
  ReleaseDC(window, dc);
}

void RemoveExtractionFolder() {
  const std::string folder = ExtractionFolder();
  if (!folder.empty()) DeleteTree(folder, false);
}

}  // namespace

LRESULT CALLBACK WizardWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      CreateChildren(window);
      break;
    case WM_DESTROY:
      DownloadAbort = true;
      RemoveExtractionFolder();
      PostQuitMessage(0);
      break;
    case WM_PAINT:
      Paint(window);  // the default procedure validates
      break;
    case WM_CLOSE:
      // The first request only stops a running download; the second closes.
      if (!DownloadAbort) {
        DownloadAbort = true;
        return 0;
      }
      break;
    case WM_TIMER:
      if (ThisIs_AutoUpdateProg)
        UpdateTick(window);
      else
        RunSetupStub(window);
      break;
    case kMsgSetExitCountdown:
      ExitCountdown = int32_t(wParam);
      break;
    case kMsgRegisterController:
      ControllerWindow = reinterpret_cast<HWND>(wParam);
      ControllerMessage = UINT(lParam);
      NotifyController(kNotifyWindow, reinterpret_cast<LPARAM>(window));
      NotifyController(kNotifyCommandMessage, kMsgCommand);
      break;
    case kMsgCommand:
      return UpdateCommand(int32_t(wParam), int32_t(lParam));
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

void RunWizardWindow() {
  const int64_t delay = SwitchInt("/DELAYx=", -1);
  if (delay >= 0) TickCount = -int32_t(delay);

  InitCommonControls();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WizardWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "MainIcon");
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.lpszClassName = StubClassName.c_str();
  RegisterClassA(&wc);

  const int width = 340, height = 110;
  WizardWindow = CreateWindowExA(0, StubClassName.c_str(), kWizardTitle, 0x02CC0000,
                                 (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                                 instance, nullptr);
  if (WizardWindow) {
    ShowWindow(WizardWindow, SW_HIDE);
    MSG m;
    // -1 (an error) does not end the loop; only the quit message does.
    while (GetMessageA(&m, nullptr, 0, 0) != 0) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  KillTimer(WizardWindow, kTimerId);
  DownloadAbort = true;
  UnloadWinINet();
  NotifyController(kNotifyLoopEnded, 0);
}

void SetStatusText(const std::string& text) {
  SendMessageA(StatusText, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
