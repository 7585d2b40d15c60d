#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TraceChannel.h"
#include "support/TraceChannelWin.h"
#include "support/Utils.h"

namespace {

// An in-process viewer: a ".KDebug." window whose procedure records every
// piece. Sending to a window of the same thread calls it directly, so the
// atom is read back exactly as a viewer in another process would read it.
class ViewerWindow {
 public:
  ViewerWindow() {
    InstallDebugChannel();
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = ".KDebug.";
    RegisterClassA(&wc);
    hwnd_ = CreateWindowA(".KDebug.", "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    pieces().clear();
  }
  ~ViewerWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }
  static std::vector<std::string>& pieces() {
    static std::vector<std::string> p;
    return p;
  }
  static std::vector<ATOM>& atoms() {
    static std::vector<ATOM> a;
    return a;
  }

 private:
  static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == DebugMessageId() && w == 1) {
      char text[256];
      UINT n = GlobalGetAtomNameA(ATOM(l), text, sizeof text);
      pieces().emplace_back(text, n);
      atoms().push_back(ATOM(l));
      return 0;
    }
    return DefWindowProcA(h, msg, w, l);
  }
  HWND hwnd_;
};

std::string Pid() { return IntToText(int64_t(GetCurrentProcessId())); }

TEST(DebugChannel, MessageIsRegisteredOnce) {
  InstallDebugChannel();
  EXPECT_EQ(DebugMessageId(), uint16_t(RegisterWindowMessageA(".K_DebugMsg.")));
  EXPECT_NE(DebugMessageId(), 0);
}

TEST(DebugChannel, TraceLineIsPidTextAndOneLineFeed) {
  ViewerWindow viewer;
  ASSERT_TRUE(viewer.hwnd());
  Trace({" ==== STUB START ====>", "a b", "<"});
  Trace({" second"});
  ASSERT_EQ(ViewerWindow::pieces().size(), 2u);
  EXPECT_EQ(ViewerWindow::pieces()[0], Pid() + " ==== STUB START ====>a b<\n");
  EXPECT_EQ(ViewerWindow::pieces()[1], Pid() + " second\n");
}

TEST(DebugChannel, LongLineArrivesAs128And128And45) {
  ViewerWindow viewer;
  TraceStream().Write(std::string(300, 'q'));
  TraceStream().EndLine();
  ASSERT_EQ(ViewerWindow::pieces().size(), 3u);
  EXPECT_EQ(ViewerWindow::pieces()[0], std::string(128, 'q'));
  EXPECT_EQ(ViewerWindow::pieces()[1], std::string(128, 'q'));
  EXPECT_EQ(ViewerWindow::pieces()[2], std::string(44, 'q') + "\n");
}

TEST(DebugChannel, EmptyLineIsALoneLineFeedAndAtomsAreDeleted) {
  ViewerWindow viewer;
  ViewerWindow::atoms().clear();
  TraceEmptyLine();
  ASSERT_EQ(ViewerWindow::pieces().size(), 1u);
  EXPECT_EQ(ViewerWindow::pieces()[0], "\n");
  ASSERT_EQ(ViewerWindow::atoms().size(), 1u);
  char name[8];
  EXPECT_EQ(GlobalGetAtomNameA(ViewerWindow::atoms()[0], name, sizeof name), 0u) << "atom outlived the send";
}

TEST(DebugChannel, NoViewerMeansNoEffect) {
  ASSERT_EQ(FindWindowA(".KDebug.", nullptr), nullptr);
  for (int i = 0; i < 100; ++i) Trace({" nobody listens ", std::string(200, 'z')});
  EXPECT_EQ(TraceStream().Pending(), 0u);
  EXPECT_EQ(GlobalFindAtomA((Pid() + " nobody listens ").c_str()), 0);
}

}  // namespace
