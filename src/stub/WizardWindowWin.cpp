#include "stub/WizardWindowWin.h"

#include <commctrl.h>

#include "environment/FilesWin.h"
#include "flows/RoadsWin.h"
#include "flows/SetupRunWin.h"
#include "flows/UpdateScheduleWin.h"
#include "package/ExtractorWin.h"
#include "support/MessageBoxWin.h"
#include "support/UtilsWin.h"
#include "update/HttpClientWin.h"

HWND WizardWindow = nullptr;
HWND StatusText = nullptr;
HWND ProgressBar = nullptr;

namespace {

// The window's one clock: the first tick starts the setup run, every tick the
// update schedule.
const UINT_PTR kTimerId = 1;
// Kept for the life of the process.
HFONT gStatusFont = nullptr;

class Wizard final : public View {
 public:
  void Progress(int kind, int low, int high, int position, int step) override {
    if (kind == 0) {
      SendMessageA(ProgressBar, PBM_SETRANGE, WPARAM(low), MAKELPARAM(0, high));
      SendMessageA(ProgressBar, PBM_SETPOS, WPARAM(position), 0);
      SendMessageA(ProgressBar, PBM_SETSTEP, WPARAM(step), 0);
    } else if (kind == 1) {
      SendMessageA(ProgressBar, PBM_STEPIT, 0, 0);
    }
  }
  void SetStatusText(const std::string& text) override { ::SetStatusText(text); }
  // Without a window (creation failed, or it was destroyed) these do nothing.
  void Show() override { ShowWindow(WizardWindow, SW_SHOW); }
  void Hide() override { ShowWindow(WizardWindow, SW_HIDE); }
  int ShowBox(BoxOwner owner, const std::string& text, uint32_t flags, const BoxStyle& style) override {
    // Owner 0 of the box is the titled form, 1 the active window.
    return ShowMarkupBox(owner == BoxOwner::Titled ? nullptr : kActiveOwner, text, style.caption, flags,
                         style.charset, style.buttons);
  }
};

Wizard gWizard;

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
      // A flow that goes on after the window has gone must not touch its handles.
      WizardWindow = StatusText = ProgressBar = nullptr;
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
      if (ThisIs_AutoUpdateProg) {
        UpdateTick(gWizard);
      } else {
        // The setup run happens once: no tick arrives while it pumps messages.
        KillTimer(window, kTimerId);
        RunSetupStub(gWizard);
      }
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

  // Bound at run time from the system folder: comctl32 is not one of the
  // system's known libraries, so a static import of it would be looked for
  // beside the program first, before any of its code runs.
  using InitCommonControlsFn = void(WINAPI*)();
  if (auto init = reinterpret_cast<InitCommonControlsFn>(
          reinterpret_cast<void*>(LoadProc("comctl32.dll", "InitCommonControls"))))
    init();
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

View& WizardView() { return gWizard; }

void SetStatusText(const std::string& text) {
  SendMessageA(StatusText, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
