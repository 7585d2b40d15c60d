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

TEST(Extractor, ChooseTempDrive) {
  const double dMost[3] = {100, 500, 0}, none[3] = {0, 0, 0}, tie[3] = {300, 300, 300};
  EXPECT_EQ(ChooseTempDrive('c', dMost), 'D');
  EXPECT_EQ(ChooseTempDrive('c', none), 'C');  // nothing probed: stay
  EXPECT_EQ(ChooseTempDrive('e', tie), 'C');   // strictly greater wins, C first
}

}  // namespace
