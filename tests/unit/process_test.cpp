#include "environment/Process.h"
#include "support/Utils.h"

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

// The system as a 32-bit program sees it on 64-bit Windows: the process-status
// functions cannot read a 64-bit process, the full-image query can.
class FakeQueries : public ProcessQueries {
 public:
  struct Process {
    uint32_t pid;
    const char* imageName;   // what QueryFullProcessImageNameA answers; null: it fails
    const char* modulePath;  // what the process-status functions answer; null: they fail
  };
  FakeQueries(std::vector<Process> processes, bool hasFullImageQuery)
      : processes_(std::move(processes)), hasFullImageQuery_(hasFullImageQuery) {}

  bool FullImageName(uint32_t pid, std::string& path) override {
    ++fullImageCalls;
    const Process* p = Find(pid);
    if (!hasFullImageQuery_ || !p || !p->imageName) return false;
    path = p->imageName;
    return true;
  }
  bool FirstModuleNames(uint32_t pid, std::string& path, std::string& baseName) override {
    ++moduleCalls;
    const Process* p = Find(pid);
    if (!p || !p->modulePath) return false;
    path = p->modulePath;
    baseName = path.substr(path.rfind('\\') + 1);
    return true;
  }
  std::string ShortPathOf(const std::string& path) override {
    const std::string shortForm = "C:\\PROGRA~1\\App\\app64.exe";
    return TextEquals(path, "C:\\Program Files\\App\\app64.exe") || TextEquals(path, shortForm) ? shortForm : "";
  }
  std::vector<uint32_t> Ids() const {
    std::vector<uint32_t> ids;
    for (const auto& p : processes_) ids.push_back(p.pid);
    return ids;
  }
  int fullImageCalls = 0, moduleCalls = 0;

 private:
  const Process* Find(uint32_t pid) const {
    for (const auto& p : processes_)
      if (p.pid == pid) return &p;
    return nullptr;
  }
  std::vector<Process> processes_;
  bool hasFullImageQuery_;
};

TEST(ProcessDiscovery, TheFullImageQueryAnswersFirstTheProcessStatusFunctionsWhereItCannot) {
  const char* app64 = "C:\\Program Files\\App\\app64.exe";
  FakeQueries seen32({{4, nullptr, nullptr},               // the system process: nothing answers
                      {100, "C:\\Windows\\explorer.exe", nullptr},
                      {200, app64, nullptr},               // 64-bit: only the query answers
                      {300, "C:\\x\\app32.exe", "C:\\x\\app32.exe"}},
                     true);
  std::string path, base;
  EXPECT_EQ(ProcessImageFile(seen32, 200, path, base), ImageQuery::FullImageName);
  EXPECT_EQ(path, app64);
  EXPECT_EQ(base, "app64.exe");
  EXPECT_EQ(seen32.moduleCalls, 0) << "a process the query names is not read through the process-status functions";
  EXPECT_EQ(ProcessImageFile(seen32, 4, path, base), ImageQuery::None);
  EXPECT_EQ(path, "");

  // The match rules are those of any process: full path, base name, short form.
  struct Case { const char* target; bool exact; uint32_t pid; } cases[] = {
      {app64, true, 200}, {"c:\\program files\\app\\APP64.EXE", true, 200}, {"app64.exe", false, 200},
      {"app64.exe", true, 0}, {"C:\\PROGRA~1\\App\\app64.exe", true, 200}, {"C:\\x\\app32.exe", true, 300},
      {"C:\\other\\app64.exe", false, 0}, {"", false, 0},
  };
  for (const auto& c : cases) {
    const std::string shortForm = seen32.ShortPathOf(c.target);
    EXPECT_EQ(FindMatchingProcess(seen32, seen32.Ids(), MakeProcessTarget(c.target, shortForm, c.exact)), c.pid)
        << c.target << " exact=" << c.exact;
  }
}

TEST(ProcessDiscovery, WithoutTheFullImageQueryTheProcessStatusFunctionsAnswer) {
  // Before Vista the query is missing; where it fails for one process (but
  // the process can be read), the process-status functions still name it.
  for (bool hasQuery : {false, true}) {
    SCOPED_TRACE(hasQuery);
    FakeQueries xp({{10, nullptr, "C:\\x\\old.exe"}, {11, nullptr, nullptr}}, hasQuery);
    std::string path, base;
    EXPECT_EQ(ProcessImageFile(xp, 10, path, base), ImageQuery::ModuleNames);
    EXPECT_EQ(path, "C:\\x\\old.exe");
    EXPECT_EQ(base, "old.exe");
    EXPECT_EQ(FindMatchingProcess(xp, xp.Ids(), MakeProcessTarget("old.exe", "", false)), 10u);
    EXPECT_EQ(FindMatchingProcess(xp, xp.Ids(), MakeProcessTarget("gone.exe", "", false)), 0u);
  }
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
