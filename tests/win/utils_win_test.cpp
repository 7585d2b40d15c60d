#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/UtilsWin.h"

namespace {

bool IsFolder(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(UtilsWin, FoldersOfTheSystemAndTheProgram) {
  const std::string prog = ProgramFile();
  EXPECT_EQ(PosFromEnd("\\win_tests.exe", prog), 1) << prog;
  EXPECT_EQ(ProgramDir(true), prog.substr(0, prog.rfind('\\') + 1));
  EXPECT_EQ(ProgramDir(false) + "\\", ProgramDir(true));
  for (const std::string& dir : {WindowsDir(true), SystemDir(true), TempDir(true)}) {
    ASSERT_GE(dir.size(), 3u);
    EXPECT_EQ(dir.back(), '\\') << dir;
    EXPECT_TRUE(IsFolder(dir)) << dir;
  }
  EXPECT_NE(SystemDir(false).back(), '\\');
  EXPECT_TRUE(IsWinNT());
}

TEST(UtilsWin, LoadProcBindsFromTheSystemFolderOnly) {
  EXPECT_NE(LoadProc("kernel32.dll", "GetTickCount"), nullptr);
  EXPECT_EQ(LoadProc("kernel32.dll", "NoSuchFunction"), nullptr);
  EXPECT_EQ(LoadProc("kovrex-missing.dll", "X"), nullptr);

  // The planted SHFolder.dll beside this program is real and loadable by path...
  const std::string planted = ProgramDir(true) + "SHFolder.dll";
  HMODULE h = LoadLibraryA(planted.c_str());
  ASSERT_NE(h, nullptr) << "fixture DLL missing: " << planted;
  EXPECT_NE(GetProcAddress(h, "KovrexPlantedMarker"), nullptr);
  FreeLibrary(h);
  // ...and a plain search by name would pick it, since the program's folder comes first...
  h = LoadLibraryA("SHFolder.dll");
  ASSERT_NE(h, nullptr);
  EXPECT_NE(GetProcAddress(h, "KovrexPlantedMarker"), nullptr);
  FreeLibrary(h);
  // ...but the binding by name gets the system's copy.
  EXPECT_EQ(LoadProc("SHFolder.dll", "KovrexPlantedMarker"), nullptr);
  EXPECT_NE(LoadProc("SHFolder.dll", "SHGetFolderPathA"), nullptr);
}

const UINT kPing = WM_APP + 7;
int gPings = 0;
LRESULT CALLBACK PingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == kPing) {
    ++gPings;
    return 0;
  }
  return DefWindowProcA(h, msg, w, l);
}

TEST(UtilsWin, WaitPumpingHandlesMessagesWhileWaiting) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KovrexPingTest";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA("KovrexPingTest", "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  gPings = 0;
  PostMessageA(hwnd, kPing, 0, 0);
  PostMessageA(hwnd, kPing, 0, 0);
  const DWORD start = GetTickCount();
  WaitPumping(200);
  EXPECT_GE(GetTickCount() - start, 190u);  // it really waited
  EXPECT_EQ(gPings, 2);
  DestroyWindow(hwnd);
}

TEST(UtilsWin, PumpingWaitingMessagesTakesThemAllAndLeavesTheQuitRequest) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KovrexPingTest2";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA("KovrexPingTest2", "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  gPings = 0;
  for (int i = 0; i < 5; ++i) PostMessageA(hwnd, kPing, 0, 0);
  PostQuitMessage(3);
  PumpWaitingMessages();
  EXPECT_EQ(gPings, 5);  // one call, every waiting message
  EXPECT_TRUE(QuitRequested());
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // still there for the loop
  EXPECT_EQ(msg.message, UINT(WM_QUIT));
  EXPECT_EQ(msg.wParam, WPARAM(3));
  DestroyWindow(hwnd);
}

TEST(UtilsWin, AQuitRequestSurvivesAWait) {
  PostQuitMessage(7);
  WaitPumping(100);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, UINT(WM_QUIT));
  EXPECT_EQ(msg.wParam, WPARAM(7));
}

}  // namespace
