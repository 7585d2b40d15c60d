#include "package/Extractor.h"
#include "package/PackageFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(PackageFormat, OneMemberNameRuleForBuilderAndExtraction) {
  struct Case { const char* name; bool plain; } cases[] = {
      {"Setup.exe", true}, {"a b.txt", true}, {"..x", true},       {"", false},          {".", false},
      {"..", false},       {"..\\evil.exe", false}, {"C:\\evil.exe", false}, {"\\\\host\\x", false},
      {"sub/x.exe", false}, {"x.exe:stream", false}, {"a?.txt", false}, {"tab\there", false},
      {"pipe|name", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPlainMemberName(c.name), c.plain) << c.name;
}

// Names Windows opens as devices or trims are not plain file names: "nul.bin"
// would be discarded and counted as saved, "COM1" sent to a port.
TEST(PackageFormat, DeviceNamesAndTrimmedNamesAreNotPlain) {
  struct Case { const char* name; bool plain; } cases[] = {
      {"nul.bin", false}, {"CON", false},   {"aux.txt", false},  {"COM1", false},   {"LPT1.dat", false},
      {"Nul", false},     {"prn", false},   {"con.tar.gz", false}, {"com9.x", false}, {"lpt9", false},
      {"COM0", false},    {"lpt0.txt", false}, {"CONIN$", false}, {"conout$.txt", false},
      {"nul .txt", false},  // blanks before the extension are dropped too
      {"COM\xB9", false}, {"lpt\xB2.log", false}, {"com\xB3", false},  // superscript digits
      {"x.", false},      {"x ", false},    {"a.txt.", false},   {"Setup.exe ", false}, {"...", false},
      // Near misses stay plain.
      {"COM10", true},    {"LPT", true},    {"console", true},   {"nullx.txt", true}, {"auxiliary", true},
      {"con_", true},     {"x.nul", true},  {"my con.txt", true}, {".hidden", true},  {"a..b", true},
      {" lead.txt", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPlainMemberName(c.name), c.plain) << c.name;
    EXPECT_EQ(MemberNameProblem(c.name).empty(), c.plain) << c.name;
  }
  EXPECT_NE(MemberNameProblem("nul.bin").find("device"), std::string::npos) << MemberNameProblem("nul.bin");
  EXPECT_NE(MemberNameProblem("x.").find("trim"), std::string::npos) << MemberNameProblem("x.");
}

TEST(Extractor, ChooseTempDrive) {
  const double dMost[3] = {100, 500, 0}, none[3] = {0, 0, 0}, tie[3] = {300, 300, 300};
  EXPECT_EQ(ChooseTempDrive('c', dMost), 'D');
  EXPECT_EQ(ChooseTempDrive('c', none), 'C');  // nothing probed: stay
  EXPECT_EQ(ChooseTempDrive('e', tie), 'C');   // strictly greater wins, C first
}

}  // namespace
