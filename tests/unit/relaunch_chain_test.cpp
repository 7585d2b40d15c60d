#include "flows/RelaunchChain.h"
#include "support/Utils.h"

#include <gtest/gtest.h>

namespace {

TEST(RelaunchChain, WorkingCopyBesideTheLauncherUnderItsNameAsStarted) {
  EXPECT_EQ(WorkingCopyPath("C:\\App\\MyUpdate.exe"), "C:\\App\\X_MyUpdate.exe");
  EXPECT_EQ(WorkingCopyPath("C:\\App\\myupdate.EXE"), "C:\\App\\X_myupdate.EXE");
  EXPECT_EQ(WorkingCopyPath("C:\\MyUpdate.exe"), "C:\\X_MyUpdate.exe");
  EXPECT_EQ(WorkingCopyPath("\\\\srv\\share\\MyUpdate.exe"), "\\\\srv\\share\\X_MyUpdate.exe");
}

TEST(RelaunchChain, WorkingCopyCommand) {
  const std::string list = "|1|255|255|255|255|255|";
  struct Case { const char* path; std::string transient, delay, command; } cases[] = {
      {"C:\\App\\X_U.exe", "", "", "C:\\App\\X_U.exe"},
      {"C:\\App\\X_U.exe", list, "", "C:\\App\\X_U.exe /TRANSIENTx=" + list},
      {"C:\\App\\X_U.exe", "", "5", "C:\\App\\X_U.exe /DELAYx=5"},
      // Both travel, the list first.
      {"C:\\App\\X_U.exe", list, "5", "C:\\App\\X_U.exe /TRANSIENTx=" + list + " /DELAYx=5"},
      // A folder with a blank: quoted, or C:\Program.exe would be started.
      {"C:\\Program Files\\App\\X_U.exe", "", "0", "\"C:\\Program Files\\App\\X_U.exe\" /DELAYx=0"},
  };
  for (const auto& c : cases) EXPECT_EQ(WorkingCopyCommand(c.path, c.transient, c.delay), c.command);
}

TEST(RelaunchChain, WorkingCopyReadsWhatItsCommandCarries) {
  const std::string path = "C:\\Program Files\\App\\X_U.exe";
  const std::string list = "|1|0|255|255|255|1|";
  const std::string tail = CommandTailOf(WorkingCopyCommand(path, list, "5"), path);
  EXPECT_EQ(SwitchValueIn(tail, "/TRANSIENTx="), list);
  EXPECT_EQ(SwitchIntIn(tail, "/DELAYx=", -1), 5);
  EXPECT_EQ(SwitchValueIn(tail, "/TRANSIENT="), "");  // the launcher's own switch is not there
}

TEST(RelaunchChain, LauncherSwitchesAsWritten) {
  const std::string tail = "/TRANSIENT=|1|255|255|255|255|255| /DELAY=5 /stop=3 /TEST 2";
  EXPECT_EQ(SwitchValueIn(tail, "/TRANSIENT="), "|1|255|255|255|255|255|");
  EXPECT_EQ(SwitchValueIn(tail, "/DELAY="), "5");
  EXPECT_EQ(SwitchIntIn(tail, "/STOP=", -1), 3);   // any letter case
  EXPECT_EQ(SwitchIntIn(tail, "/TEST=", -1), -1);  // without "=" it is not the switch
  EXPECT_EQ(SwitchValueIn(tail, "/TRANSIENTx="), "");
}

TEST(RelaunchChain, ControllerSwitch) {
  struct Case { const char* value; int64_t window, message; } cases[] = {
      {"1234:49152", 1234, 49152}, {"1234", 1234, 0}, {"", 0, 0}, {"abc:5", 0, 5},
      {":7", 0, 7}, {"1:2:3", 1, 2}, {"12x:9", 0, 9},
  };
  for (const auto& c : cases) {
    const ControllerSwitch s = ParseControllerSwitch(c.value);
    EXPECT_EQ(s.window, c.window) << c.value;
    EXPECT_EQ(s.message, c.message) << c.value;
  }
}

}  // namespace
