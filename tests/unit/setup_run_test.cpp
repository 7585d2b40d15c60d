#include "flows/SetupRun.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(BuildSetupCommand("C:\\A B", "S.exe*", "", "_1", false).path, "C:\\A B\\S.exe");
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

}  // namespace
