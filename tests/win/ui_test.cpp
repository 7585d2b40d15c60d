// The message box and the wizard window, for real under Wine: the box runs
// modally on the test's main thread while a driver thread reads and answers
// it; the wizard window's loop is driven from a thread timer.
#include <windows.h>

#include <richedit.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BoxDriver.h"
#include "package/ExtractorWin.h"
#include "flows/RoadsWin.h"
#include "flows/Roads.h"
#include "stub/WizardWindowWin.h"
#include "flows/UpdateScheduleWin.h"
#include "support/MessageBoxWin.h"
#include "update/HttpClientWin.h"

namespace {

using boxdriver::Box;

// Runs `driver` on a second thread with the box it finds, while `show`
// holds the main thread in the modal box. A driver that fails still closes
// the box, so a failing test cannot hang.
template <typename Show>
auto WithDriver(std::function<void(HWND)> driver, Show show) {
  std::thread t([&] {
    HWND box = boxdriver::FindBox(10000, GetCurrentProcessId());
    EXPECT_NE(box, nullptr) << "no KMsgBox window appeared";
    if (!box) return;
    driver(box);
    if (!boxdriver::WaitGone(box, 5000)) {
      ADD_FAILURE() << "the box stayed open";
      boxdriver::CloseBox(box);
    }
  });
  auto result = show();
  t.join();
  return result;
}

Box Read(HWND box) {
  Box b;
  EXPECT_TRUE(boxdriver::ReadBox(box, b));
  return b;
}

HWND TextControl(HWND box) {
  HWND t = FindWindowExA(box, nullptr, "RichEdit", nullptr);
  EXPECT_NE(t, nullptr) << "no rich-edit text control";
  return t;
}

// Whether every character of [start, end) of the text control is bold.
bool IsBold(HWND text, int start, int end) {
  SendMessageA(text, EM_SETSEL, start, end);
  CHARFORMATA cf{};
  cf.cbSize = sizeof cf;
  SendMessageA(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  return (cf.dwMask & CFM_BOLD) && (cf.dwEffects & CFE_BOLD);
}

bool IsNotBold(HWND text, int start, int end) {
  SendMessageA(text, EM_SETSEL, start, end);
  CHARFORMATA cf{};
  cf.cbSize = sizeof cf;
  SendMessageA(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  return (cf.dwMask & CFM_BOLD) && !(cf.dwEffects & CFE_BOLD);
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

TEST(KMsgBox, ErrorBoxTitleLayoutAndEnter) {
  const int result = WithDriver(
      [](HWND box) {
        const Box b = Read(box);
        EXPECT_EQ(b.caption, "Error");
        EXPECT_EQ(b.text, "ERROR\r\n\r\nBad CRC!\r\n");
        HWND text = TextControl(box);
        EXPECT_TRUE(IsBold(text, 0, 5));
        EXPECT_TRUE(IsNotBold(text, 9, 17));
        EXPECT_FALSE(b.rtlReading);
        EXPECT_FALSE(b.rightAligned);
        // Always on top, with a dialog frame.
        EXPECT_TRUE(GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST);

        // The layout: at least 360 wide, centred on the screen, the text
        // centred right of the band and above the strip.
        EXPECT_GE(Width(b.rect), 360);
        EXPECT_EQ(b.rect.left, (GetSystemMetrics(SM_CXSCREEN) - Width(b.rect)) / 2);
        EXPECT_EQ(b.rect.top, (GetSystemMetrics(SM_CYSCREEN) - Height(b.rect)) / 2);
        const Rect place = TextRectInClient(b.client.right, b.client.bottom, Width(b.textRect), Height(b.textRect));
        EXPECT_EQ(b.textRect.left, place.x);
        EXPECT_EQ(b.textRect.top, place.y);
        EXPECT_GE(b.textRect.left, kBandWidth);

        ASSERT_EQ(b.buttons.size(), 1u);
        const boxdriver::Button& ok = b.buttons[0];
        EXPECT_EQ(ok.caption, "&OK");
        EXPECT_EQ(ok.id, IDOK);
        EXPECT_TRUE(ok.focused);
        EXPECT_TRUE(ok.isDefault);
        EXPECT_EQ(ok.rect.left, b.client.right - 80);
        EXPECT_EQ(ok.rect.top, b.client.bottom - 29);
        EXPECT_EQ(Width(ok.rect), 70);
        EXPECT_EQ(Height(ok.rect), 23);
        boxdriver::PressKey(box, VK_RETURN, false);
      },
      [] { return ShowMarkupBox(nullptr, "Bad CRC!", "Error", 16, 0, kDefaultButtonList); });
  EXPECT_EQ(result, IDOK);
}

TEST(KMsgBox, AskYesNoAnswers) {
  struct Case {
    const char* how;
    std::function<void(HWND)> answer;
    bool yes;
  } cases[] = {
      {"Alt+Y", [](HWND b) { boxdriver::PressAltLetter(b, 'y', false); }, true},
      {"click Yes", [](HWND b) { EXPECT_TRUE(boxdriver::ClickButton(b, "&Yes", false)); }, true},
      {"Enter on Yes", [](HWND b) { boxdriver::PressKey(b, VK_RETURN, false); }, true},
      {"Alt+N", [](HWND b) { boxdriver::PressAltLetter(b, 'n', false); }, false},
      {"click No", [](HWND b) { EXPECT_TRUE(boxdriver::ClickButton(b, "&No", false)); }, false},
      {"close box", [](HWND b) { boxdriver::CloseBox(b); }, false},
      {"Alt+F4", [](HWND b) { PostMessageA(b, WM_SYSKEYDOWN, VK_F4, 1 << 29); }, false},
      {"real Alt+Y", [](HWND b) { boxdriver::PressAltLetter(b, 'y', true); }, true},
      {"real click on No", [](HWND b) { EXPECT_TRUE(boxdriver::ClickButton(b, "&No", true)); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    const bool yes = WithDriver(
        [&](HWND box) {
          const Box b = Read(box);
          ASSERT_EQ(b.buttons.size(), 2u);
          EXPECT_EQ(b.buttons[0].caption, "&Yes");
          EXPECT_EQ(b.buttons[0].id, IDYES);
          EXPECT_TRUE(b.buttons[0].focused);
          EXPECT_EQ(b.buttons[1].caption, "&No");
          EXPECT_EQ(b.buttons[1].id, IDNO);
          EXPECT_EQ(b.buttons[1].rect.left, b.client.right - 80);
          EXPECT_EQ(b.buttons[0].rect.left, b.client.right - 150);
          c.answer(box);
        },
        [] { return AskYesNo(nullptr, "Continue with <b>the update</b>?", "Confirm", 0, kDefaultButtonList); });
    EXPECT_EQ(yes, c.yes);
  }
}

TEST(KMsgBox, TranslatedCaptionsAndActiveOwner) {
  // Owner 1: no title line. The translated list names Yes and No.
  const bool yes = WithDriver(
      [](HWND box) {
        const Box b = Read(box);
        EXPECT_EQ(b.text, "Weiter?");
        ASSERT_EQ(b.buttons.size(), 2u);
        EXPECT_EQ(b.buttons[0].caption, "&Ja");
        EXPECT_EQ(b.buttons[1].caption, "&Nein");
        boxdriver::PressAltLetter(box, 'j', false);
      },
      [] { return AskYesNo(kActiveOwner, "Weiter?", "Frage", 0, "|Ok|Abbrechen|&Ja|&Nein||||"); });
  EXPECT_TRUE(yes);

  // A missing field gives an empty caption; Alt+N still finds "&Nein".
  const int result = WithDriver(
      [](HWND box) {
        const Box b = Read(box);
        ASSERT_EQ(b.buttons.size(), 3u);
        EXPECT_EQ(b.buttons[2].caption, "");
        EXPECT_EQ(b.buttons[2].id, IDCANCEL);
        boxdriver::PressAltLetter(box, 'n', false);
      },
      [] { return ShowMarkupBox(kActiveOwner, "x", "Frage", 35, 0, "|Ok||&Ja|&Nein|"); });
  EXPECT_EQ(result, IDNO);
}

TEST(KMsgBox, EmptyListFallsBackToTheDefaultCaptions) {
  const bool yes = WithDriver(
      [](HWND box) {
        const Box b = Read(box);
        ASSERT_EQ(b.buttons.size(), 2u);
        EXPECT_EQ(b.buttons[0].caption, "&Yes");
        EXPECT_EQ(b.buttons[1].caption, "&No");
        boxdriver::PressAltLetter(box, 'n', false);
      },
      [] { return AskYesNo(kActiveOwner, "Blank buttons?", "Frage", 0, ""); });
  EXPECT_FALSE(yes);
}

TEST(KMsgBox, QuitRequestWhileOpenIsHandedBack) {
  // The program's main loop must still end after the user has answered.
  const DWORD mainThread = GetCurrentThreadId();
  const int result = WithDriver(
      [&](HWND box) {
        PostThreadMessageA(mainThread, WM_QUIT, 5, 0);
        Sleep(300);
        EXPECT_TRUE(IsWindow(box)) << "the quit request closed the box";
        boxdriver::PressKey(box, VK_RETURN, false);
      },
      [] { return ShowKMsgBox(nullptr, "Still here?", "Quit", 0, kDefaultButtonList); });
  EXPECT_EQ(result, IDOK);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit request was lost";
  EXPECT_EQ(m.wParam, 5u);
}

TEST(KMsgBox, EscapeDoesNothing) {
  for (bool real : {false, true}) {
    WithDriver(
        [&](HWND box) {
          boxdriver::PressKey(box, VK_ESCAPE, real);
          Sleep(300);
          EXPECT_TRUE(IsWindow(box)) << "Escape closed the box";
          boxdriver::PressKey(box, VK_RETURN, real);
        },
        [] {
          WarningBox(nullptr, "Escape must not close this.", "Attention", 0, kDefaultButtonList);
          return 0;
        });
  }
}

TEST(KMsgBox, ArrowsMoveTheDefaultInARing) {
  // Yes, No, Cancel with the second button as default.
  const int result = WithDriver(
      [](HWND box) {
        auto focusedId = [&] {
          Sleep(100);
          for (const auto& k : Read(box).buttons)
            if (k.focused) {
              EXPECT_TRUE(k.isDefault) << k.caption;
              return k.id;
            }
          return 0;
        };
        EXPECT_EQ(focusedId(), IDNO);
        boxdriver::PressKey(box, VK_RIGHT, false);
        EXPECT_EQ(focusedId(), IDCANCEL);
        boxdriver::PressKey(box, VK_DOWN, false);
        EXPECT_EQ(focusedId(), IDYES);  // round the ring
        boxdriver::PressKey(box, VK_LEFT, false);
        EXPECT_EQ(focusedId(), IDCANCEL);
        boxdriver::PressKey(box, VK_UP, false);
        EXPECT_EQ(focusedId(), IDNO);
        boxdriver::PressKey(box, VK_RETURN, false);
      },
      [] { return ShowMarkupBox(kActiveOwner, "Which?", "Frage", 0x103, 0, kDefaultButtonList); });
  EXPECT_EQ(result, IDNO);
}

TEST(KMsgBox, TextSizing) {
  // A line far wider than 400 pixels: the control is widened in steps and
  // then wraps, and all its lines stay visible.
  std::string longLine;
  for (int i = 0; i < 40; ++i) longLine += "word" + std::to_string(i) + " ";
  WithDriver(
      [&](HWND box) {
        const Box b = Read(box);
        HWND text = TextControl(box);
        const int lines = int(SendMessageA(text, EM_GETLINECOUNT, 0, 0));
        EXPECT_GE(lines, 2) << "the long line did not wrap";
        EXPECT_GT(Width(b.textRect), 400);
        EXPECT_LE(Width(b.textRect), 400 + 200 + 10 + 10);
        EXPECT_GE(Height(b.textRect), lines * 13) << "wrapped lines are cut off";
        boxdriver::PressKey(box, VK_RETURN, false);
      },
      [&] { return ShowMarkupBox(kActiveOwner, longLine, "Long", 0, 0, kDefaultButtonList); });

  // A bold line measures wider than its plain-weight estimate: the control
  // is widened until it fits on one line.
  WithDriver(
      [&](HWND box) {
        HWND text = TextControl(box);
        EXPECT_EQ(SendMessageA(text, EM_GETLINECOUNT, 0, 0), 1);
        EXPECT_TRUE(IsBold(text, 0, 10));
        boxdriver::PressKey(box, VK_RETURN, false);
      },
      [&] {
        return ShowMarkupBox(kActiveOwner, "<b>WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW MMMMMMMM</b>", "Bold", 0, 0,
                             kDefaultButtonList);
      });
}

TEST(KMsgBox, RightToLeftForHebrewAndArabic) {
  for (int charset : {177, 178, 0}) {
    SCOPED_TRACE(charset);
    WithDriver(
        [&](HWND box) {
          const Box b = Read(box);
          EXPECT_EQ(b.rtlReading, charset != 0);
          EXPECT_EQ(b.rightAligned, charset != 0);
          boxdriver::PressKey(box, VK_RETURN, false);
        },
        [&] {
          ErrorBox(nullptr, "text", "Error", charset, kDefaultButtonList);
          return 0;
        });
  }
}

// --- The wizard window ------------------------------------------------------

const UINT kControllerMsg = WM_APP + 5;
std::vector<std::pair<WPARAM, LPARAM>> gControllerGot;

LRESULT CALLBACK ControllerProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == kControllerMsg) gControllerGot.emplace_back(w, l);
  return DefWindowProcA(h, msg, w, l);
}

HWND MakeController() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = ControllerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KovrexUiController";
  RegisterClassA(&wc);
  return CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

void PumpPending() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

// Steps run from a thread timer inside the wizard window's own loop.
std::function<bool()> gStep;  // returns true when done
VOID CALLBACK StepTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (gStep && gStep()) {
    KillTimer(nullptr, id);
    gStep = nullptr;
  }
}

void RunWizardWith(const char* className, std::vector<std::function<void()>> steps) {
  StubClassName = className;
  ThisIs_AutoUpdateProg = true;  // ticks go to the update schedule, which leaves the loop alone
  DownloadAbort = false;
  ControllerWindow = nullptr;
  ControllerMessage = 0;
  gControllerGot.clear();
  size_t next = 0;
  gStep = [&] {
    steps[next++]();
    return next == steps.size();
  };
  SetTimer(nullptr, 0, 100, StepTimer);
  RunWizardWindow();
}

std::string ClassOf(HWND w) {
  char name[300] = {};
  GetClassNameA(w, name, sizeof name);
  return name;
}

TEST(WizardWindow, WindowControllerAndCloseRequests) {
  HWND controller = MakeController();
  ASSERT_NE(controller, nullptr);
  HWND seen = nullptr;
  RunWizardWith(
      "C:\\Kovrex UI Test\\setup.exe",
      {
          [&] {
            seen = FindWindowA("C:\\Kovrex UI Test\\setup.exe", kWizardTitle);
            ASSERT_NE(seen, nullptr);
            EXPECT_EQ(seen, WizardWindow);
            EXPECT_FALSE(IsWindowVisible(seen));
            const LONG style = GetWindowLongA(seen, GWL_STYLE);
            EXPECT_EQ(style & 0x02CC0000, 0x02CC0000);
            EXPECT_EQ(style & WS_VISIBLE, 0);
            RECT r;
            GetWindowRect(seen, &r);
            EXPECT_EQ(Width(r), 340);
            EXPECT_EQ(Height(r), 110);
            EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 340) / 2);
            EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 110) / 2);

            // The children and the status font.
            EXPECT_EQ(GetParent(StatusText), seen);
            EXPECT_EQ(ClassOf(StatusText), "Static");
            EXPECT_EQ(ClassOf(ProgressBar), "msctls_progress32");
            GetWindowRect(StatusText, &r);
            MapWindowPoints(nullptr, seen, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, 71);
            EXPECT_EQ(r.top, 20);
            EXPECT_EQ(Width(r), 400);
            EXPECT_EQ(Height(r), 18);
            GetWindowRect(ProgressBar, &r);
            MapWindowPoints(nullptr, seen, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, 70);
            EXPECT_EQ(r.top, 38);
            EXPECT_EQ(Width(r), 237);
            EXPECT_EQ(Height(r), 13);
            LOGFONTA lf{};
            GetObjectA(reinterpret_cast<HFONT>(SendMessageA(StatusText, WM_GETFONT, 0, 0)), sizeof lf, &lf);
            EXPECT_STREQ(lf.lfFaceName, "Tahoma");
            EXPECT_EQ(lf.lfHeight, 13);
            SetStatusText("Extracting Files...");
            char status[64] = {};
            GetWindowTextA(StatusText, status, sizeof status);
            EXPECT_STREQ(status, "Extracting Files...");

            SendMessageA(seen, kMsgRegisterController, reinterpret_cast<WPARAM>(controller), kControllerMsg);
            SendMessageA(seen, kMsgSetExitCountdown, 7, 0);
            EXPECT_EQ(ExitCountdown, 7);

            // The first close request only stops a download.
            EXPECT_EQ(SendMessageA(seen, WM_CLOSE, 0, 0), 0);
            EXPECT_TRUE(IsWindow(seen));
            EXPECT_TRUE(DownloadAbort);
          },
          [&] {
            // The notifications arrived through the loop in the meantime.
            ASSERT_EQ(gControllerGot.size(), 2u);
            EXPECT_EQ(gControllerGot[0], std::make_pair(WPARAM(50), reinterpret_cast<LPARAM>(seen)));
            EXPECT_EQ(gControllerGot[1], std::make_pair(WPARAM(51), LPARAM(1125)));
            SendMessageA(seen, WM_CLOSE, 0, 0);
            EXPECT_FALSE(IsWindow(seen));
          },
      });
  PumpPending();
  ASSERT_EQ(gControllerGot.size(), 3u);
  EXPECT_EQ(gControllerGot[2], std::make_pair(WPARAM(43), LPARAM(0)));
  EXPECT_TRUE(DownloadAbort);
  // ui_tests runs with /DELAYx=2: the start delay comes from the switch.
  EXPECT_EQ(TickCount, -2);
  DestroyWindow(controller);
}

TEST(WizardWindow, MessageNumberZeroRegistersNothing) {
  HWND controller = MakeController();
  RunWizardWith("KovrexWizardNoController",
                {
                    [&] {
                      SendMessageA(WizardWindow, kMsgRegisterController, reinterpret_cast<WPARAM>(controller), 0);
                      SendMessageA(WizardWindow, WM_CLOSE, 0, 0);
                    },
                    [&] { SendMessageA(WizardWindow, WM_CLOSE, 0, 0); },
                });
  PumpPending();
  EXPECT_TRUE(gControllerGot.empty());
  DestroyWindow(controller);
}

TEST(WizardWindow, DestructionRemovesTheExtractionFolder) {
  const std::string folder = ExtractionFolder();
  if (folder.empty()) GTEST_SKIP() << "this build chooses no extraction folder";
  CreateDirectoryA(folder.c_str(), nullptr);
  HANDLE f = CreateFileA((folder + "\\left-over.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << folder;
  CloseHandle(f);
  RunWizardWith("KovrexWizardDestroy", {[] {
                  SendMessageA(WizardWindow, WM_CLOSE, 0, 0);
                  SendMessageA(WizardWindow, WM_CLOSE, 0, 0);
                }});
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << folder;
}

TEST(WizardWindow, QuitEndsTheLoopWithTheWindowStanding) {
  // The normal end: a flow posts the quit message; the window is left as it is.
  RunWizardWith("KovrexWizardQuit", {[] { PostQuitMessage(0); }});
  EXPECT_TRUE(IsWindow(WizardWindow));
  EXPECT_TRUE(DownloadAbort);
  DestroyWindow(WizardWindow);
  PumpPending();  // the quit message the destruction posts
}

}  // namespace
