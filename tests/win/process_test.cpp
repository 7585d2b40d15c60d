#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "environment/FilesWin.h"
#include "environment/ProcessWin.h"
#include "support/UtilsWin.h"

namespace {

// Runs a copy of the fakeapp fixture under a name no other process has.
class FakeApp {
 public:
  explicit FakeApp(const char* windows, const char* tag) {
    dir_ = TempDir(true) + "kproc_" + IntToText(GetCurrentProcessId()) + "_" + tag;
    CreateDirectoryA(dir_.c_str(), nullptr);
    path_ = dir_ + "\\kfake_" + tag + ".exe";
    const std::string ready = dir_ + "\\ready";
    CopyFileA((ProgramDir(true) + "fakeapp.exe").c_str(), path_.c_str(), FALSE);
    std::string cmd = "\"" + path_ + "\" --windows " + windows + " --seconds 60 --ready \"" + ready + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    started_ = CreateProcessA(path_.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (started_) {
      pid_ = pi.dwProcessId;
      process_ = pi.hProcess;
      CloseHandle(pi.hThread);
      for (int i = 0; i < 100 && GetFileAttributesA(ready.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    }
  }
  ~FakeApp() {
    if (process_) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
      CloseHandle(process_);
    }
    DeleteFileA(path_.c_str());
    DeleteFileA((dir_ + "\\ready").c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  bool started() const { return started_ != FALSE; }
  const std::string& path() const { return path_; }
  std::string name() const { return path_.substr(path_.rfind('\\') + 1); }
  uint32_t pid() const { return pid_; }
  bool Ended(DWORD ms) const { return WaitForSingleObject(process_, ms) == WAIT_OBJECT_0; }

 private:
  std::string dir_, path_;
  BOOL started_ = FALSE;
  uint32_t pid_ = 0;
  HANDLE process_ = nullptr;
};

TEST(ProcessMatch, ByPathByBaseNameAndExact) {
  FakeApp app("main", "match");
  ASSERT_TRUE(app.started());
  std::string lower = app.path();
  for (char& c : lower) c = char(tolower(c));

  struct Case { std::string target; bool exact; bool found; } cases[] = {
      {app.path(), false, true}, {app.path(), true, true},   {lower, true, true},  // case ignored
      {app.name(), false, true}, {app.name(), true, false},  // a bare name needs the inexact form
      {"C:\\nowhere\\" + app.name(), false, false},  // the base name is compared with the whole target
      {"", false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FindProcessNT(c.target, c.exact), c.found ? app.pid() : 0u) << c.target << " exact=" << c.exact;
  // The tool-help snapshot of the NT family holds base names only, so here
  // only the bare-name search can be checked on that path.
  EXPECT_EQ(FindProcess9x(app.name(), false), app.pid());
  EXPECT_EQ(FindProcess9x("no_such_program.exe", false), 0u);
  EXPECT_TRUE(IsRunning(app.name()));
  EXPECT_TRUE(IsProcessAlive(app.pid()));
  EXPECT_TRUE(IsProcessAlive(GetCurrentProcessId()));
}

// The query that also names 64-bit processes to the 32-bit stub answers here
// first, and every match rule goes through it.
TEST(ProcessMatch, TheFullImageQueryNamesTheProgramFile) {
  FakeApp app("main", "image");
  ASSERT_TRUE(app.started());
  std::string path, base;
  EXPECT_EQ(ProcessImageFile(app.pid(), path, base), ImageQuery::FullImageName);
  EXPECT_TRUE(TextEquals(path, app.path())) << path;
  EXPECT_TRUE(TextEquals(base, app.name())) << base;
  EXPECT_EQ(ProcessImageFile(GetCurrentProcessId(), path, base), ImageQuery::FullImageName);
  EXPECT_TRUE(TextEquals(path, ProgramFile())) << path;

  const std::string shortForm = ShortPathName(app.path());
  ASSERT_FALSE(shortForm.empty());
  ASSERT_NE(shortForm, app.path()) << "the fixture's name should have a distinct 8.3 form";
  EXPECT_EQ(FindProcessNT(shortForm, true), app.pid());
  EXPECT_EQ(FindProcessNT(app.path(), true), app.pid());
  EXPECT_EQ(FindProcessNT(app.name(), false), app.pid());
  EXPECT_EQ(FindProcess(app.path(), true), app.pid());
}

TEST(ProcessWindows, MainWindowIsTheTitledVisibleOwner) {
  FakeApp app("main", "windows");
  ASSERT_TRUE(app.started());
  HWND expected = FindWindowA("KFakeMain", "Fake App");
  ASSERT_NE(expected, nullptr);
  EXPECT_EQ(FindMainWindow(app.path(), true), expected);
  HWND dialog = FindWindowA("KFakeDialog", "Dialog 1");
  EXPECT_EQ(RootOwner(dialog), expected);
  EXPECT_EQ(RootOwner(expected), nullptr);

  // Closing the main window ends the program; the wait returns once it has gone.
  EXPECT_TRUE(CloseMainWindow(app.path(), true));
  WaitForExit(app.path());
  EXPECT_TRUE(app.Ended(0));
  EXPECT_FALSE(IsRunning(app.path()));
  WaitWhileWindow("KFakeMain", nullptr);  // returns: the window is gone
  EXPECT_EQ(FindWindowA("KFakeMain", nullptr), nullptr);
}

TEST(ProcessWindows, HiddenUntitledWindowsOnlyMeanNoMainWindow) {
  FakeApp app("hidden", "hidden");
  ASSERT_TRUE(app.started());
  EXPECT_EQ(FindMainWindow(app.path(), true), nullptr);
  EXPECT_FALSE(CloseMainWindow(app.path(), true));
  EXPECT_FALSE(app.Ended(300)) << "nothing was posted, so it still runs";
  EXPECT_TRUE(TerminateProgram(app.path(), true));
  EXPECT_TRUE(app.Ended(5000));
  EXPECT_FALSE(TerminateProgram(app.path(), true));  // nothing left to stop
  WaitForExit(app.path());                           // not running: returns at once
}

TEST(ProcessList, GrowsUntilEveryIdFits) {
  std::vector<uint32_t> ids = ListProcessIds();
  ASSERT_FALSE(ids.empty());
  bool self = false;
  for (uint32_t id : ids) self |= id == GetCurrentProcessId();
  EXPECT_TRUE(self);
}

}  // namespace
