// The drive searches, run by with-test-drives.sh, which maps M: and N: to
// empty folders of its own. Every other letter reads as absent here, so no
// search ever walks C: or Z: (Wine's Z: is the host's whole file system).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "environment/FilesWin.h"
#include "support/UtilsWin.h"

namespace {

std::string gAsked;  // the letters the searches asked about, in order

// M: reports its real type; N: stands in for a network drive.
unsigned TestDriveType(const std::string& root) {
  gAsked += root[0];
  if (root == "M:\\") return GetDriveTypeA(root.c_str());
  if (root == "N:\\") return DRIVE_REMOTE;
  return DRIVE_NO_ROOT_DIR;
}

class Drives : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetDriveTypeA("M:\\"), UINT(DRIVE_FIXED)) << "run through with-test-drives.sh";
    ASSERT_EQ(GetFileAttributesA("N:\\"), DWORD(FILE_ATTRIBUTE_DIRECTORY)) << "run through with-test-drives.sh";
    previous_ = SetDriveTypeFunction(TestDriveType);
    gAsked.clear();
  }
  void TearDown() override {
    SetDriveTypeFunction(previous_);
    for (const char* f : {"M:\\a\\b\\tool.exe", "N:\\net\\tool.exe", "N:\\tool.exe"}) DeleteFileA(f);
    for (const char* d : {"M:\\a\\b", "M:\\a", "N:\\net\\Vendor\\Tool", "N:\\net\\Vendor", "N:\\net"})
      RemoveDirectoryA(d);
  }
  DriveTypeFunction previous_ = nullptr;
};

TEST_F(Drives, SearchesOnlyDrivesOfTheType) {
  ASSERT_TRUE(CreateDirectoryA("N:\\net", nullptr));
  ASSERT_TRUE(WriteFileText("N:\\net\\tool.exe", "x", 0));
  EXPECT_EQ(FindFileOnDrives("tool.exe", DRIVE_FIXED), "");
  EXPECT_EQ(gAsked, "CDEFGHIJKLMNOPQRSTUVWXYZ");  // A and B never, C to Z in order
  gAsked.clear();
  EXPECT_EQ(FindFileOnDrives("tool.exe", DRIVE_REMOTE), "N:\\net\\tool.exe");
  EXPECT_EQ(gAsked, "CDEFGHIJKLMN");  // stops at the first hit

  ASSERT_TRUE(CreateDirectoryA("N:\\net\\Vendor", nullptr));
  ASSERT_TRUE(CreateDirectoryA("N:\\net\\Vendor\\Tool", nullptr));
  EXPECT_EQ(FindFolderOnDrives("Vendor\\Tool", DRIVE_REMOTE), "N:\\net\\Vendor\\Tool");
  EXPECT_EQ(FindFolderOnDrives("Vendor\\Tool", DRIVE_FIXED), "");
}

TEST_F(Drives, FirstDriveInLetterOrderWins) {
  ASSERT_TRUE(CreateDirectoryA("M:\\a", nullptr));
  ASSERT_TRUE(CreateDirectoryA("M:\\a\\b", nullptr));
  ASSERT_TRUE(WriteFileText("M:\\a\\b\\tool.exe", "x", 0));
  ASSERT_TRUE(WriteFileText("N:\\tool.exe", "x", 0));
  SetDriveTypeFunction([](const std::string& root) -> unsigned {
    return root == "M:\\" || root == "N:\\" ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
  });
  // Deep on M: beats the top of N:, since M: comes first.
  EXPECT_EQ(FindFileOnDrives("tool.exe", DRIVE_FIXED), "M:\\a\\b\\tool.exe");
  EXPECT_EQ(FindFolderOnDrives("b", DRIVE_FIXED), "M:\\a\\b");
}

TEST_F(Drives, DiskFreeBytesAsksAboutTheDriveRoot) {
  EXPECT_GT(DiskFreeBytes("m:\\no such folder\\file"), 0.0);
  EXPECT_GT(DiskFreeBytes("N"), 0.0);
}

}  // namespace
