#include "flows/SetupRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SetupRun, FormatMegabytes) {
  struct Case { double bytes; const char* text; } cases[] = {
      {15728640, "15.0"}, {1572864, "1.50"}, {524288, "0.500"}, {-1, "0.000"}, {0, "0.000"},
      {10485760, "10.00"},  // exactly 10: two decimals
      {131072, "0.125"},    {1048576.0 * 5.25, "5.25"}, {1048576.0 * 12.34, "12.3"}, {1048576.0 * 99.96, "100.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMegabytes(c.bytes), c.text) << c.bytes;
}

TEST(SetupRun, SetupCommand) {
  struct Case { const char* folder; const char* spec; const char* extra; bool au; const char* command; } cases[] = {
      {"C:\\T\\SETUP_1", "Setup.exe*/S", "/X", false, "C:\\T\\SETUP_1\\Setup.exe /X /S /TH_ID=_12"},
      {"C:\\T\\SETUP_1\\", "Setup.exe*", "", false, "C:\\T\\SETUP_1\\Setup.exe /TH_ID=_12"},  // no doubled blank
      {"C:\\T", " Setup.exe * /S ", "", true, "C:\\T\\Setup.exe /S /TH_ID=_12 /AutoUpdateProg"},
      {"C:\\T", "Setup.exe", "/X", false, "C:\\T\\Setup.exe /X /TH_ID=_12"},  // no "*": all of it is the program
      {"C:\\Documents and Settings\\T", "Setup.exe*", "", false,
       "\"C:\\Documents and Settings\\T\\Setup.exe\" /TH_ID=_12"},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildSetupCommand(c.folder, c.spec, c.extra, "_12", c.au).command, c.command);
  const SetupCommand blank = BuildSetupCommand("C:\\A B", "S.exe*/S", "/X", "_1", true);
  EXPECT_EQ(blank.path, "C:\\A B\\S.exe");
  EXPECT_EQ(blank.parameters, "/X /S /TH_ID=_1 /AutoUpdateProg");
  EXPECT_EQ(blank.command, "\"C:\\A B\\S.exe\" /X /S /TH_ID=_1 /AutoUpdateProg");
}

// Records the starts asked for; the plain start answers as told. (Wine never
// asks for elevation, so the choice is tested here and the starts themselves
// under Wine only on the plain path.)
struct FakeStarter : SetupStarter {
  Result plainResult = Result::Started;
  bool elevatedResult = true;
  std::vector<std::string> calls;
  Result Start(const std::string& command, bool visible) override {
    calls.push_back("start " + command + (visible ? " [shown]" : " [hidden]"));
    return plainResult;
  }
  bool StartElevated(const std::string& program, const std::string& parameters, bool visible) override {
    calls.push_back("elevated " + program + " | " + parameters + (visible ? " [shown]" : " [hidden]"));
    return elevatedResult;
  }
};

TEST(SetupRun, ASetupThatNeedsAdministratorRightsIsStartedThroughTheElevationPrompt) {
  const SetupCommand setup = BuildSetupCommand("C:\\Temp Dir\\SETUP_1", "Setup.exe*/S", "/DIR=\"C:\\My App\"", "_7",
                                               false);
  const std::string plain = "start \"C:\\Temp Dir\\SETUP_1\\Setup.exe\" /DIR=\"C:\\My App\" /S /TH_ID=_7";
  const std::string elevated = "elevated C:\\Temp Dir\\SETUP_1\\Setup.exe | /DIR=\"C:\\My App\" /S /TH_ID=_7";
  using R = SetupStarter::Result;
  struct Case {
    const char* what;
    R plain;
    bool elevatedStarts;
    bool visible;
    bool started;
    std::vector<std::string> calls;
  } cases[] = {
      {"an ordinary setup", R::Started, true, true, true, {plain + " [shown]"}},
      {"one that needs elevation", R::ElevationRequired, true, true, true, {plain + " [shown]", elevated + " [shown]"}},
      {"hidden, needs elevation", R::ElevationRequired, true, false, true, {plain + " [hidden]", elevated + " [hidden]"}},
      {"elevation declined", R::ElevationRequired, false, true, false, {plain + " [shown]", elevated + " [shown]"}},
      {"any other failure: no second try", R::Failed, true, true, false, {plain + " [shown]"}},
  };
  for (const auto& c : cases) {
    FakeStarter starter;
    starter.plainResult = c.plain;
    starter.elevatedResult = c.elevatedStarts;
    EXPECT_EQ(StartSetup(starter, setup, c.visible), c.started) << c.what;
    EXPECT_EQ(starter.calls, c.calls) << c.what;
  }
}

TEST(SetupRun, ConfirmTempSpaceText) {
  EXPECT_EQ(ConfirmTempSpaceText(false, 100, 1000, "c:\\t"), "");
  const std::string ask = ConfirmTempSpaceText(true, 1048576, 1048576.0 * 20, "c:\\t");
  EXPECT_EQ(ask,
            "Kovrex will extract files to your Temp Drive (C:)\\\\n\\\\n"
            "Estimated space required on your Temp drive is: \\\\t  1.00 MB\\\\n"
            "Free space available on your Temp drive is: \\\\t  20.0 MB\\\\n\\\\n"
            "Continue with Setup?\\\\n");
  const std::string shortSpace = ConfirmTempSpaceText(true, 2000, 1000, "d:\\t");
  EXPECT_EQ(shortSpace.rfind("Limited Free Space on your Temp Drive! (D:)\\\\n\\\\n", 0), 0u) << shortSpace;
  EXPECT_EQ(ConfirmTempSpaceText(false, 5, -1, "").rfind("Limited Free Space on your Temp Drive! \\\\n", 0), 0u);
}

// Records what a flow shows instead of showing it.
class FakeView final : public View {
 public:
  struct Box {
    BoxOwner owner;
    std::string text;
    uint32_t flags;
    std::string caption;
  };
  std::vector<Box> boxes;
  void Progress(int, int, int, int, int) override {}
  void SetStatusText(const std::string&) override {}
  void Show() override {}
  void Hide() override {}
  int ShowBox(BoxOwner owner, const std::string& text, uint32_t flags, const BoxStyle& style) override {
    boxes.push_back({owner, text, flags, style.caption});
    return kIdOk;
  }
};

TEST(SetupRun, ExtractionFailuresAreToldOncePerProcess) {
  FakeView view;
  int saveFailures = 0;
  ExtractResult clean;
  ReportExtraction(view, "C:\\T\\SETUP_1", clean, saveFailures);
  EXPECT_TRUE(view.boxes.empty());

  ExtractResult failed;
  failed.folderFailed = true;
  failed.saveFailures = 2;
  failed.firstFailedPath = "C:\\T\\SETUP_1\\a.txt";
  ReportExtraction(view, "C:\\T\\SETUP_1", failed, saveFailures);
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[0].text, "C:\\T\\SETUP_1\\\\n\\\\nUnable to create Directory!");
  EXPECT_EQ(view.boxes[1].text, "C:\\T\\SETUP_1\\a.txt\\\\n\\\\nUnable to save Extracted File!");
  for (const auto& b : view.boxes) {
    EXPECT_EQ(b.owner, BoxOwner::Titled);
    EXPECT_EQ(b.flags, uint32_t(kBoxErrorFlags));
    EXPECT_EQ(b.caption, "Error");
  }
  // A later extraction in the same process: the save failure is not told again,
  // the folder failure is.
  ReportExtraction(view, "D:\\X", failed, saveFailures);
  ASSERT_EQ(view.boxes.size(), 3u);
  EXPECT_EQ(view.boxes[2].text, "D:\\X\\\\n\\\\nUnable to create Directory!");
}

}  // namespace
