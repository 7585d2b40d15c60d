#include "support/Utils.h"
#include "flows/Roads.h"

#include <gtest/gtest.h>

namespace {

TEST(StubRoads, FileTitle) {
  struct Case { const char* path; const char* title; } cases[] = {
      {"setup.exe", "setup"}, {"a.b.c", "a.b"}, {"noext", "noext"}, {".cfg", ""},
      {"C:\\x.y\\name", "name"},  // periods in folder names never count
      {"C:name.exe", "name"},     {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileTitle(c.path), c.title) << c.path;
}

TEST(StubRoads, ClassNames) {
  EXPECT_EQ(StubClassNameFor(true, "C:\\App\\MyUpdate.exe"), ".AutoUpdate.MyUpdate");
  EXPECT_EQ(StubClassNameFor(true, "C:\\App\\Other.exe"), ".AutoUpdate.Other");
  EXPECT_EQ(StubClassNameFor(false, "C:\\Dl\\setup.exe"), "C:\\Dl\\setup.exe");
  EXPECT_EQ(XCopyClassNameFor("MyUpdate.exe"), ".AutoUpdate.X_MyUpdate");
  EXPECT_STREQ(kWizardTitle, "Setup Installation Wizard");
}

TEST(StubRoads, RoadsCompareNamesIgnoringCase) {
  struct Case { bool isAutoUpdate; const char* program; StubRoad road; } cases[] = {
      {true, "C:\\App\\myupdate.EXE", StubRoad::AutoUpdateLauncher},
      {true, "C:\\App\\MyUpdate.exe", StubRoad::AutoUpdateLauncher},
      {true, "C:\\App\\X_MyUpdate.exe", StubRoad::AutoUpdateXCopy},
      {true, "C:\\App\\x_myupdate.exe", StubRoad::AutoUpdateXCopy},
      {true, "C:\\App\\Other.exe", StubRoad::Ordinary},
      {true, "C:\\App\\XX_MyUpdate.exe", StubRoad::Ordinary},
      {false, "C:\\App\\MyUpdate.exe", StubRoad::Ordinary},  // not an auto-update package
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseRoad(c.isAutoUpdate, c.program, "MyUpdate.exe"), c.road) << c.program;
  EXPECT_EQ(ChooseRoad(true, "C:\\App\\setup.exe", ""), StubRoad::Ordinary);  // no installed name in the package
}

}  // namespace
