#include "environment/Files.h"

#include <gtest/gtest.h>

namespace {

TEST(Files, FolderPart) {
  struct Case { const char* path; const char* folder; } cases[] = {
      {"C:\\a\\x.exe", "C:\\a"}, {"C:\\x.exe", "C:\\"}, {"C:x.exe", "C:"}, {"x.exe", ""},
      {"C:\\a\\b\\", "C:\\a\\b"}, {"\\\\srv\\share\\x", "\\\\srv\\share"}, {"\\\\x", "\\\\"},
      {"C:\\a\\*.*", "C:\\a"}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
}

TEST(Files, FileTitleIgnoresPeriodsInFolders) {
  EXPECT_EQ(FileTitle("C:\\My.Dir\\setup.exe"), "setup");
  EXPECT_EQ(FileTitle("C:\\x\\README"), "README");
  EXPECT_EQ(FileTitle("C:\\x\\.cfg"), "");
  EXPECT_EQ(FileTitle("C:\\My.Dir\\"), "");
}

TEST(Files, ListingAcceptsOnlyTheBitsAskedFor) {
  const uint32_t ro = kAttrReadOnly, hid = kAttrHidden, sys = kAttrSystem, dir = kAttrDirectory,
                 arc = kAttrArchive, vol = kAttrVolume;
  struct Case { uint32_t attributes, accepted; bool listed; } cases[] = {
      // Read-only and archive never cause a skip, whatever is accepted.
      {ro | arc, 0, true}, {0, 0, true}, {128, 0, true},
      // Size query: everything.
      {dir | hid | sys, kListAll, true}, {vol, kListAll, true},
      // File deletion: hidden and system files, no folders, no volume label.
      {hid | sys | ro, kListFiles, true}, {dir, kListFiles, false}, {vol, kListFiles, false},
      // Tree deletion's folder pass: plain folders and files only.
      {dir, kListPlainFolders, true}, {arc, kListPlainFolders, true}, {dir | hid, kListPlainFolders, false},
      {dir | sys, kListPlainFolders, false},
      // Searches: system folders yes, hidden ones never.
      {dir | sys, kListSearch, true}, {dir | hid, kListSearch, false}, {dir | hid | sys, kListSearch, false},
      {hid, kListSearch, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ListingAccepts(c.attributes, c.accepted), c.listed) << c.attributes << " in " << c.accepted;
}

TEST(Files, DiskFreeRootIsTheFirstLetterUpperCased) {
  EXPECT_EQ(DiskFreeRoot("d:\\anything"), "D:\\");
  EXPECT_EQ(DiskFreeRoot("e"), "E:\\");
  EXPECT_EQ(DiskFreeRoot(""), "");                   // the current drive
  EXPECT_EQ(DiskFreeRoot("\\\\srv\\share"), "\\:\\");  // a network path cannot be asked about
}

TEST(Files, SelfRemoveBatchLines) {
  const std::string program = BatchPathArgument("C:\\P\\X_App.exe", false);
  const std::string batch = BatchPathArgument("C:\\T\\_DEL_ME_.BAT", false);
  // Retries pause and end after about a minute; the batch goes either way.
  const std::string head =
      "SET /A KOVREX_TRIES=0\r\n"
      ":START\r\n"
      "DEL \"C:\\P\\X_App.exe\"\r\n"
      "IF NOT EXIST \"C:\\P\\X_App.exe\" GOTO DONE\r\n"
      "SET /A KOVREX_TRIES+=1\r\n"
      "IF %KOVREX_TRIES% GEQ 60 GOTO DONE\r\n"
      "PING -n 2 127.0.0.1 >NUL\r\n"
      "GOTO START\r\n"
      ":DONE\r\n";
  EXPECT_EQ(SelfRemoveBatchText(program, BatchPathArgument("C:\\P", false), batch, false),
            head + "DEL \"C:\\T\\_DEL_ME_.BAT\"\r\n");
  EXPECT_EQ(SelfRemoveBatchText(program, BatchPathArgument("C:\\P", false), batch, true),
            head + "RD \"C:\\P\"\r\n" + "DEL \"C:\\T\\_DEL_ME_.BAT\"\r\n");
  EXPECT_NE(SelfRemoveBatchText(program, "", batch, false, 3).find("GEQ 3 GOTO DONE"), std::string::npos);
}

TEST(Files, BatchPathArguments) {
  struct Case { const char* path; bool shortNames; const char* arg; } cases[] = {
      {"C:\\PROGRA~1\\X_APP.EXE", true, "C:\\PROGRA~1\\X_APP.EXE"},  // short names go unquoted
      {"C:\\Program Files\\X.exe", false, "\"C:\\Program Files\\X.exe\""},
      // A short name that is missing leaves the long path, which stays quoted.
      {"C:\\Program Files\\X.exe", true, "\"C:\\Program Files\\X.exe\""},
      {"C:\\A&B\\X.EXE", true, "\"C:\\A&B\\X.EXE\""},
      // Percent signs are doubled, or the batch would expand them.
      {"C:\\100%\\%TEMP%.exe", false, "\"C:\\100%%\\%%TEMP%%.exe\""},
  };
  for (const auto& c : cases) EXPECT_EQ(BatchPathArgument(c.path, c.shortNames), c.arg) << c.path;
}

}  // namespace
