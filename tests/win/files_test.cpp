// The file helpers on real files under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dir_links.h"
#include "environment/FilesWin.h"
#include "support/UtilsWin.h"

namespace {

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }
bool Exists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

void Make(const std::string& path, const std::string& content = "x") {
  ASSERT_TRUE(WriteFileText(path, content, 0)) << path;
}

void MakeFolder(const std::string& path, DWORD attributes = 0) {
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
  if (attributes) {
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
  }
}

// A fresh folder per test, removed afterwards with every attribute cleared.
class FilesWin : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = TempDir(true) + "kovrex files " + IntToText(GetCurrentProcessId()) + " " + info->name();
    CreateDirectoryA(dir_.c_str(), nullptr);
    ASSERT_TRUE(Exists(dir_));
  }
  void TearDown() override { Wipe(dir_); }
  static void Wipe(const std::string& folder) {
    WIN32_FIND_DATAA d;
    HANDLE f = FindFirstFileA((folder + "\\*").c_str(), &d);
    if (f != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = d.cFileName, path = folder + "\\" + name;
        if (name == "." || name == "..") continue;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Wipe(path); else DeleteFileA(path.c_str());
      } while (FindNextFileA(f, &d));
      FindClose(f);
    }
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(folder.c_str());
  }
  std::string P(const std::string& rel) const { return dir_ + "\\" + rel; }
  std::string dir_;
};

TEST_F(FilesWin, ReadFilePartOffsetsAndLengths) {
  Make(P("five"), "abcde");
  struct Case { int32_t offset, maxLength; const char* part; } cases[] = {
      {0, 0, "abcde"}, {0, 5, "abcde"}, {0, 99, "abcde"}, {2, 10, "cde"}, {1, 2, "bc"}, {4, 0, "e"},
      {5, 0, ""},  // at the end
      {6, 0, ""}, {-1, 0, ""}, {-1, 3, ""}, {0, -1, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadFilePart(P("five"), c.offset, c.maxLength), c.part) << c.offset << "," << c.maxLength;
  EXPECT_EQ(ReadFilePart(dir_, 0, 0), "");  // a folder
  EXPECT_EQ(ReadFilePart(P("missing"), 0, 0), "");
  // Bytes of every value come back unchanged.
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  Make(P("bytes"), all);
  EXPECT_EQ(ReadFilePart(P("bytes"), 0, 0), all);
}

TEST_F(FilesWin, ReadFilePartSharesWithWriters) {
  Make(P("open"), "hello");
  HANDLE writer = CreateFileA(P("open").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFilePart(P("open"), 0, 0), "hello");
  CloseHandle(writer);
}

TEST_F(FilesWin, WriteFileTextReplacesTheWholeFile) {
  Make(P("f"), "a much longer old content");
  EXPECT_TRUE(WriteFileText(P("f"), "new", 0));
  EXPECT_EQ(ReadFilePart(P("f"), 0, 0), "new");
  EXPECT_EQ(FileSizeOf(P("f")), 3);
  EXPECT_TRUE(WriteFileText(P("f"), "", 0));  // empty content: an empty file
  EXPECT_TRUE(Exists(P("f")));
  EXPECT_EQ(FileSizeOf(P("f")), 0);
  EXPECT_TRUE(WriteFileText(P("zero byte"), std::string("a\0b", 3), 0));
  EXPECT_EQ(ReadFilePart(P("zero byte"), 0, 0), std::string("a\0b", 3));
  EXPECT_FALSE(WriteFileText(P("no folder\\f"), "x", 0));
  EXPECT_FALSE(WriteFileText(dir_, "x", 0));
}

// A packed DOS date: local time, even seconds.
uint32_t DosDate(int y, int mo, int d, int h, int mi, int s) {
  return uint32_t((y - 1980) << 9 | mo << 5 | d) << 16 | uint32_t(h << 11 | mi << 5 | s / 2);
}

FILETIME LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a);
  return a.ftLastWriteTime;
}

uint64_t Ticks(const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

TEST_F(FilesWin, FileDateIsLocalTime) {
  // The test runs with TZ=IST-5:30: UTC+5:30 without daylight saving, as a
  // POSIX zone that needs no time-zone database. A date taken as UTC would
  // land 5.5 hours off.
  TIME_ZONE_INFORMATION tz;
  GetTimeZoneInformation(&tz);
  ASSERT_EQ(tz.Bias, -330) << "run with TZ=IST-5:30";

  const uint32_t date = DosDate(2021, 6, 15, 13, 45, 30);
  ASSERT_TRUE(WriteFileText(P("dated"), "x", date));
  SYSTEMTIME st{};
  st.wYear = 2021, st.wMonth = 6, st.wDay = 15, st.wHour = 13, st.wMinute = 45, st.wSecond = 30;
  FILETIME asIfUtc;
  SystemTimeToFileTime(&st, &asIfUtc);
  const uint64_t minute = 600000000ull;
  EXPECT_EQ(Ticks(LastWrite(P("dated"))), Ticks(asIfUtc) + uint64_t(int64_t(tz.Bias)) * minute);

  // Round trip back to the packed form.
  FILETIME local;
  WORD d, t;
  FILETIME utc = LastWrite(P("dated"));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  ASSERT_TRUE(FileTimeToDosDateTime(&local, &d, &t));
  EXPECT_EQ(uint32_t(d) << 16 | t, date);

  // Appending with a date sets it too; date 0 leaves the system's time.
  const uint32_t later = DosDate(2022, 1, 2, 3, 4, 6);
  ASSERT_TRUE(AppendFileText(P("dated"), "y", later));
  utc = LastWrite(P("dated"));
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToDosDateTime(&local, &d, &t);
  EXPECT_EQ(uint32_t(d) << 16 | t, later);
  ASSERT_TRUE(WriteFileText(P("dated"), "z", 0));
  EXPECT_GT(Ticks(LastWrite(P("dated"))), Ticks(utc) + 365 * 24 * 60 * minute);
}

TEST_F(FilesWin, AppendFileText) {
  Make(P("log"), "ab");
  EXPECT_TRUE(AppendFileText(P("log"), "cd", 0));
  EXPECT_TRUE(AppendFileText(P("log"), "", 0));
  EXPECT_EQ(ReadFilePart(P("log"), 0, 0), "abcd");
  EXPECT_TRUE(AppendFileText(P("new"), "xy", 0));  // a missing file is created
  EXPECT_EQ(ReadFilePart(P("new"), 0, 0), "xy");
  EXPECT_FALSE(AppendFileText(P("no folder\\f"), "x", 0));

  // A file that exists but cannot be opened is neither written nor truncated.
  HANDLE locked = CreateFileA(P("log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(AppendFileText(P("log"), "ef", 0));
  CloseHandle(locked);
  EXPECT_EQ(ReadFilePart(P("log"), 0, 0), "abcd");
}

TEST_F(FilesWin, FileSizeOf) {
  Make(P("a.txt"), "12345");
  EXPECT_EQ(FileSizeOf(P("a.txt")), 5);
  EXPECT_EQ(FileSizeOf(P("*.txt")), 5);  // wildcards: the first match
  EXPECT_EQ(FileSizeOf(P("*.none")), 0);
  EXPECT_EQ(FileSizeOf(P("missing")), 0);
  MakeFolder(P("sub"));
  WIN32_FIND_DATAA d;
  HANDLE f = FindFirstFileA(P("sub").c_str(), &d);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FindClose(f);
  EXPECT_EQ(FileSizeOf(P("sub")), int32_t(d.nFileSizeLow));  // a folder gives its listed size
}

TEST_F(FilesWin, DiskFreeBytes) {
  EXPECT_GT(DiskFreeBytes("c:\\no such folder\\x"), 0.0);
  EXPECT_GT(DiskFreeBytes(""), 0.0);  // the current drive
  EXPECT_EQ(DiskFreeBytes("\\\\server\\share"), -1.0);
  std::string missing;
  for (char letter = 'Y'; letter > 'C' && missing.empty(); --letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) missing = root + "anything";
  }
  ASSERT_FALSE(missing.empty());
  EXPECT_EQ(DiskFreeBytes(missing), -1.0) << missing;
}

TEST_F(FilesWin, DeleteFiles) {
  Make(P("ro.dat"));
  ASSERT_TRUE(SetFileAttributesA(P("ro.dat").c_str(), FILE_ATTRIBUTE_READONLY));
  // A match counts although the read-only file stays.
  EXPECT_TRUE(DeleteFiles(P("ro.*"), false));
  EXPECT_TRUE(Exists(P("ro.dat")));
  EXPECT_TRUE(DeleteFiles(P("ro.*"), true));
  EXPECT_FALSE(Exists(P("ro.dat")));
  EXPECT_FALSE(DeleteFiles(P("ro.*"), true));

  // Hidden and system files go too; folders never.
  Make(P("h.part"));
  Make(P("s.part"));
  Make(P("keep.txt"));
  SetFileAttributesA(P("h.part").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(P("s.part").c_str(), FILE_ATTRIBUTE_SYSTEM);
  MakeFolder(P("d.part"));
  EXPECT_TRUE(DeleteFiles(P("*.part"), false));
  EXPECT_FALSE(Exists(P("h.part")));
  EXPECT_FALSE(Exists(P("s.part")));
  EXPECT_TRUE(Exists(P("d.part")));
  EXPECT_TRUE(Exists(P("keep.txt")));

  // A mask without a folder works in the current one.
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  EXPECT_TRUE(DeleteFiles("keep.*", false));
  SetCurrentDirectoryA(cwd);
  EXPECT_FALSE(Exists(P("keep.txt")));
}

TEST_F(FilesWin, DeleteTreeRemovesPlainTrees) {
  const std::string t = P("tree");
  MakeFolder(t);
  MakeFolder(t + "\\a");
  MakeFolder(t + "\\a\\b");
  Make(t + "\\f1");
  Make(t + "\\a\\f2");
  Make(t + "\\a\\b\\f3");
  Make(t + "\\a\\hidden file");
  SetFileAttributesA((t + "\\a\\hidden file").c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(DeleteTree(t, false));
  EXPECT_FALSE(Exists(t));
  EXPECT_FALSE(DeleteTree(t, false));  // no longer there
}

TEST_F(FilesWin, DeleteTreeKeepsReadOnlyFilesAndHiddenFolders) {
  const std::string t = P("ro tree");
  MakeFolder(t);
  Make(t + "\\ro");
  Make(t + "\\plain");
  SetFileAttributesA((t + "\\ro").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteTree(t, false));
  EXPECT_TRUE(Exists(t + "\\ro"));
  EXPECT_FALSE(Exists(t + "\\plain"));
  EXPECT_TRUE(DeleteTree(t, true));  // unless attributes are cleared
  EXPECT_FALSE(Exists(t));

  const std::string h = P("hid tree");
  MakeFolder(h);
  MakeFolder(h + "\\parent");
  MakeFolder(h + "\\parent\\secret", FILE_ATTRIBUTE_HIDDEN);
  MakeFolder(h + "\\parent\\sys", FILE_ATTRIBUTE_SYSTEM);
  MakeFolder(h + "\\plain");
  Make(h + "\\parent\\secret\\x");
  EXPECT_FALSE(DeleteTree(h, true));
  EXPECT_TRUE(Exists(h + "\\parent\\secret\\x"));  // not visited, so its parents stay
  EXPECT_TRUE(Exists(h + "\\parent\\sys"));
  EXPECT_FALSE(Exists(h + "\\plain"));
}

TEST_F(FilesWin, DeleteTreeRemovesLinksNotWhatTheyPointTo) {
  MakeFolder(P("outside"));
  Make(P("outside\\keep.txt"));
  const std::string t = P("tree");
  MakeFolder(t);
  Make(t + "\\f");
  ASSERT_TRUE(MakeDirectoryLink(t + "\\link", "../outside"));
  // Windows removes the link itself and so the tree; Wine cannot remove a
  // link to a folder, which stays with its parent.
  DeleteTree(t, true);
  EXPECT_TRUE(Exists(P("outside\\keep.txt")));
  EXPECT_FALSE(Exists(t + "\\f"));
  EXPECT_TRUE(RemoveDirectoryLink(t + "\\link"));
  RemoveDirectoryA(t.c_str());
}

TEST_F(FilesWin, DeleteTreeOfTheEmptyTextTouchesNothing) {
  Make(P("kept"));
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  EXPECT_FALSE(DeleteTree("", true));
  SetCurrentDirectoryA(cwd);
  EXPECT_TRUE(Exists(P("kept")));
  EXPECT_FALSE(DeleteTree(P("never made"), false));
}

TEST_F(FilesWin, FindFileInTree) {
  MakeFolder(P("a"));
  MakeFolder(P("a\\deep"));
  Make(P("x.exe"));
  Make(P("a\\deep\\x.exe"));
  // Directly in the folder first, whatever the listing order of subfolders.
  EXPECT_EQ(FindFileInTree(dir_, "x.exe"), P("x.exe"));
  EXPECT_EQ(FindFileInTree(dir_ + "\\", "X.EXE"), P("X.EXE"));  // the candidate as built
  DeleteFileA(P("x.exe").c_str());
  EXPECT_EQ(FindFileInTree(dir_, "x.exe"), P("a\\deep\\x.exe"));

  // Hidden folders are not entered; system folders are.
  MakeFolder(P("hid"), FILE_ATTRIBUTE_HIDDEN);
  MakeFolder(P("sys"), FILE_ATTRIBUTE_SYSTEM);
  Make(P("hid\\h.exe"));
  Make(P("sys\\s.exe"));
  EXPECT_EQ(FindFileInTree(dir_, "h.exe"), "");
  EXPECT_EQ(FindFileInTree(dir_, "s.exe"), P("sys\\s.exe"));
  // A folder of the name is not a file.
  MakeFolder(P("a\\y.exe"));
  EXPECT_EQ(FindFileInTree(dir_, "y.exe"), "");
  EXPECT_EQ(FindFileInTree(P("missing"), "x.exe"), "");
}

TEST_F(FilesWin, FindFolderInTree) {
  MakeFolder(P("Program Files"));
  MakeFolder(P("Program Files\\Vendor"));
  MakeFolder(P("Program Files\\Vendor\\Tool"));
  MakeFolder(P("Other"));
  MakeFolder(P("Other\\Tool"));
  MakeFolder(P("hid"), FILE_ATTRIBUTE_HIDDEN);
  MakeFolder(P("hid\\Tools"));
  EXPECT_EQ(FindFolderInTree(dir_, "Vendor\\Tool"), P("Program Files\\Vendor\\Tool"));
  EXPECT_EQ(FindFolderInTree(dir_, "vendor\\TOOL"), P("Program Files\\Vendor\\Tool"));
  EXPECT_EQ(FindFolderInTree(dir_, "Tools"), "");  // only inside a hidden folder
  EXPECT_EQ(FindFolderInTree(dir_, "Nothing"), "");
  // The start folder itself matches, exactly as passed.
  EXPECT_EQ(FindFolderInTree(P("other\\tool"), "Tool"), P("other\\tool"));
  // Components match whole: "Tool" is not a match for "...\Vendor\Tool" via "ndor\Tool".
  EXPECT_EQ(FindFolderInTree(P("Program Files"), "ndor\\Tool"), "");
}

}  // namespace

namespace {

bool WaitGone(const std::string& path, DWORD ms) {
  for (DWORD waited = 0; Exists(path); waited += 100) {
    if (waited >= ms) return false;
    Sleep(100);
  }
  return true;
}

// This process's environment with TEMP and TMP replaced.
std::string EnvironmentWithTemp(const std::string& temp) {
  std::string block;
  char* env = GetEnvironmentStringsA();
  for (const char* e = env; *e; e += strlen(e) + 1) {
    const std::string entry = e;
    if (PosCI("TEMP=", entry) != 1 && PosCI("TMP=", entry) != 1) block += entry + '\0';
  }
  FreeEnvironmentStringsA(env);
  return block + "TEMP=" + temp + '\0' + "TMP=" + temp + '\0';
}

int RunFixture(const std::string& program, const std::string& args, const std::string& temp = "") {
  std::string cmd = "\"" + program + "\" " + args;
  std::string env = temp.empty() ? std::string() : EnvironmentWithTemp(temp);
  // The batch interpreter echoes every retry: keep it out of the test's output.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessA(program.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, env.empty() ? nullptr : &env[0], nullptr,
                     &si, &pi);
  CloseHandle(nul);
  if (!started) return -1;
  DWORD code = 99;
  if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return int(code);
}

TEST_F(FilesWin, SelfRemoveDeletesTheProgramInUseThenItself) {
  const std::string batch = TempDir(true) + "_DEL_ME_.BAT";
  const std::string crlf = "\r\n";
  for (const std::string mode : {"plain", "folder", "short"}) {
    SCOPED_TRACE(mode);
    const std::string folder = P("app " + mode), program = folder + "\\X_App.exe", copy = P(mode + ".bat");
    MakeFolder(folder);
    ASSERT_TRUE(CopyFileA((ProgramDir(true) + "selfremove_fixture.exe").c_str(), program.c_str(), FALSE));
    char shortProgram[MAX_PATH], shortBatchBuf[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(program.c_str(), shortProgram, MAX_PATH), 0u);

    ASSERT_EQ(RunFixture(program, mode + " \"" + copy + "\""), 0) << "the batch did not start while the program ran";
    EXPECT_TRUE(WaitGone(program, 20000)) << "program file left behind";
    EXPECT_TRUE(WaitGone(batch, 10000)) << "batch left behind";
    EXPECT_EQ(Exists(folder), mode != "folder");

    // The retry loop as the native tests of the batch text check it; here
    // the paths the program and the system gave.
    const auto loop = [&](const std::string& p) {
      return "SET /A KOVREX_TRIES=0" + crlf + ":START" + crlf + "DEL " + p + crlf + "IF NOT EXIST " + p +
             " GOTO DONE" + crlf + "SET /A KOVREX_TRIES+=1" + crlf + "IF %KOVREX_TRIES% GEQ 60 GOTO DONE" + crlf +
             "PING -n 2 127.0.0.1 >NUL" + crlf + "GOTO START" + crlf + ":DONE" + crlf;
    };
    const std::string text = ReadFilePart(copy, 0, 0);
    if (mode == "plain") {
      EXPECT_EQ(text, loop("\"" + program + "\"") + "DEL \"" + batch + "\"" + crlf);
    } else if (mode == "folder") {
      EXPECT_EQ(text, loop("\"" + program + "\"") + "RD \"" + folder + "\"" + crlf + "DEL \"" + batch + "\"" + crlf);
    } else {
      // The batch was gone already; its short name is that of a fresh file of the same name.
      ASSERT_TRUE(WriteFileText(batch, "", 0));
      ASSERT_GT(GetShortPathNameA(batch.c_str(), shortBatchBuf, MAX_PATH), 0u);
      DeleteFileA(batch.c_str());
      const std::string sp = shortProgram;
      EXPECT_EQ(sp.find(' '), std::string::npos);
      EXPECT_EQ(text, loop(sp) + "DEL " + std::string(shortBatchBuf) + crlf);
    }
  }
}

TEST_F(FilesWin, SelfRemoveDeletesAReadOnlyProgram) {
  const std::string batch = TempDir(true) + "_DEL_ME_.BAT";
  const std::string folder = P("app"), program = folder + "\\X_App.exe";
  MakeFolder(folder);
  ASSERT_TRUE(CopyFileA((ProgramDir(true) + "selfremove_fixture.exe").c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_READONLY));
  // A working copy made of it is writable.
  ASSERT_TRUE(CopyFileWritable(program, P("X_copy.exe")));
  EXPECT_EQ(Attributes(P("X_copy.exe")) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(ReadFilePart(P("X_copy.exe"), 0, 0), ReadFilePart(program, 0, 0));
  ASSERT_EQ(RunFixture(program, "plain \"" + P("copy.bat") + "\""), 0);
  EXPECT_TRUE(WaitGone(program, 20000)) << "read-only program file left behind";
  EXPECT_TRUE(WaitGone(batch, 10000)) << "batch left behind";
}

// A file that stays in use (or in a folder without delete rights) ends the
// batch after its tries, with a pause between them, and the batch still
// deletes itself. The fixture asks for 3 tries; the program's own call uses
// the one-minute bound (checked in the native tests of the batch text).
TEST_F(FilesWin, SelfRemoveGivesUpOnAFileThatStaysLocked) {
  const std::string batch = TempDir(true) + "_DEL_ME_.BAT";
  const std::string folder = P("app"), program = folder + "\\X_App.exe";
  MakeFolder(folder);
  ASSERT_TRUE(CopyFileA((ProgramDir(true) + "selfremove_fixture.exe").c_str(), program.c_str(), FALSE));
  // Held open without delete sharing for the whole test: no DEL can succeed.
  HANDLE holder = CreateFileA(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ASSERT_EQ(RunFixture(program, "locked \"" + P("copy.bat") + "\""), 0);
  const DWORD start = GetTickCount();
  const bool ended = WaitGone(batch, 30000);
  const DWORD took = GetTickCount() - start;
  const bool programStayed = Exists(program);
  CloseHandle(holder);
  EXPECT_TRUE(ended) << "the batch is still retrying after 30 s";
  // Three tries have two one-second pauses between them; the clock starts
  // only once the fixture has returned, by when the batch may be well into
  // the first pause, so only one whole pause is certain to be seen.
  EXPECT_GE(took, 1000u) << "no pause between the tries";
  EXPECT_TRUE(programStayed) << "the file was held open, it cannot have gone";
  const std::string text = ReadFilePart(P("copy.bat"), 0, 0);
  EXPECT_NE(text.find("GEQ 3 "), std::string::npos) << text;
}

TEST_F(FilesWin, SelfRemoveStartsItsBatchByTheWholePath) {
  // A temporary folder with a blank: started unquoted, the batch's path would
  // first be tried as the program "...\t", planted here beside it. (The test
  // folder's own name has blanks, so this one lives apart.)
  const std::string base = TempDir(true) + "kxsr" + IntToText(GetCurrentProcessId()), temp = base + "\\t d";
  MakeFolder(base);
  MakeFolder(temp);
  MakeFolder(base + "\\app");
  const std::string fixture = ProgramDir(true) + "selfremove_fixture.exe", program = base + "\\app\\X_App.exe";
  ASSERT_TRUE(CopyFileA(fixture.c_str(), (base + "\\t.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(fixture.c_str(), program.c_str(), FALSE));
  EXPECT_EQ(RunFixture(program, "plain \"" + P("copy.bat") + "\"", temp), 0);
  EXPECT_TRUE(WaitGone(program, 20000)) << "the batch did not run";
  EXPECT_TRUE(WaitGone(temp + "\\_DEL_ME_.BAT", 10000));
  EXPECT_NE(ReadFilePart(P("copy.bat"), 0, 0).find("DEL \"" + temp + "\\_DEL_ME_.BAT\""), std::string::npos);
  Wipe(base);
}

}  // namespace
