#include "environment/Process.h"

#include <gtest/gtest.h>

namespace {

TEST(ProcessMatch, Rules) {
  const ProcessTarget inexact = MakeProcessTarget("C:\\App\\app.exe", "C:\\APP\\APP.EXE", false);
  const ProcessTarget exact = MakeProcessTarget("C:\\App\\app.exe", "C:\\APP\\APP.EXE", true);
  const ProcessTarget bare = MakeProcessTarget("app.exe", "", false);
  const ProcessTarget missing = MakeProcessTarget("C:\\gone\\app.exe", "", true);
  struct Case { const ProcessTarget* t; const char* full; const char* base; const char* shortForm; bool match; } cases[] = {
      {&inexact, "c:\\app\\APP.exe", "APP.exe", "", true},      // full path, any case
      {&inexact, "D:\\other\\app.exe", "app.exe", "", false},   // base differs from the full target
      {&bare, "D:\\other\\app.exe", "APP.EXE", "", true},       // a bare name finds by base name
      {&exact, "C:\\PROGRA~1\\app.exe", "app.exe", "C:\\APP\\APP.EXE", true},  // short forms equal
      {&missing, "C:\\gone\\APP.EXE", "app.exe", "", true},  // still found by full path
      {&missing, "D:\\x\\app.exe", "app.exe", "", false},   // exact: no base name; no short form to meet
  };
  for (const auto& c : cases) EXPECT_EQ(ProcessMatches(*c.t, c.full, c.base, c.shortForm), c.match) << c.full;
  EXPECT_FALSE(ProcessMatches(MakeProcessTarget("", "", false), "", "", ""));
}

TEST(ProcessMatch, MainWindowScoring) {
  // A hidden untitled helper, a visible titled owner of two dialogs, the dialogs.
  std::vector<WindowFacts> w = {
      {1, 0, false, false}, {2, 0, true, true}, {3, 2, true, true}, {4, 2, true, true}};
  EXPECT_EQ(ChooseMainWindow(w), 1);  // 4 * 2 + 2 + 1 = 11
  EXPECT_EQ(ChooseMainWindow({{1, 0, false, false}, {2, 0, false, false}}), -1);
  EXPECT_EQ(ChooseMainWindow({{1, 0, false, true}, {2, 0, false, true}}), 0);  // ties: the earlier
  EXPECT_EQ(ChooseMainWindow({{1, 0, false, true}, {2, 0, true, false}}), 1);  // titled beats visible
  EXPECT_EQ(ChooseMainWindow({}), -1);
}

}  // namespace
