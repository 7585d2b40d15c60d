// Path macros, shell folders and run-time directories against the real Wine
// prefix. Run by with-test-drives.sh (M: and N: are empty folders of the
// run); the suite WithoutShFolder runs in a second registration in which
// "SHFolder.dll" cannot be loaded.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dir_links.h"
#include "environment/FilesWin.h"
#include "environment/MacrosWin.h"
#include "environment/RunTimeDirWin.h"
#include "environment/ShellFoldersWin.h"
#include "support/RegistryWin.h"
#include "support/UtilsWin.h"

namespace {

// The shell's own answer, asked of shell32 directly (not through SHFolder.dll).
std::string Shell32Folder(int id) {
  char buffer[MAX_PATH + 1] = {};
  if (SHGetFolderPathA(nullptr, id | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK) return "";
  return buffer;
}

// Remembers a registry value (or its absence) and puts it back afterwards.
class SavedValue {
 public:
  SavedValue(HKEY root, const std::string& key, const std::string& name) : root_(root), key_(key), name_(name) {
    HKEY k;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (RegQueryValueExA(k, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      data_.resize(size);
      existed_ = RegQueryValueExA(k, name_.c_str(), nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(k);
  }
  ~SavedValue() {
    HKEY k;
    if (RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS) return;
    if (existed_)
      RegSetValueExA(k, name_.c_str(), 0, type_, data_.data(), DWORD(data_.size()));
    else
      RegDeleteValueA(k, name_.c_str());
    RegCloseKey(k);
  }
  void Set(const std::string& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
    RegSetValueExA(k, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(k);
  }
  void Delete() {
    HKEY k;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_WRITE, &k) != ERROR_SUCCESS) return;
    RegDeleteValueA(k, name_.c_str());
    RegCloseKey(k);
  }

 private:
  HKEY root_;
  std::string key_, name_;
  bool existed_ = false;
  DWORD type_ = REG_SZ;
  std::vector<BYTE> data_;
};

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string Expand(const std::string& text) { return ExpandMacros(text, "\\", false); }

// --- Shell folders -----------------------------------------------------------------

TEST(ShellFoldersWin, AnswersAreTheShells) {
  const std::string docs = Shell32Folder(CSIDL_PERSONAL), appData = Shell32Folder(CSIDL_APPDATA),
                    common = Shell32Folder(CSIDL_COMMON_APPDATA), commonDocs = Shell32Folder(CSIDL_COMMON_DOCUMENTS);
  for (const std::string& f : {docs, appData, common, commonDocs}) ASSERT_TRUE(FolderExists(f)) << f;
  EXPECT_EQ(ShellFolderPath(CSIDL_PERSONAL | CSIDL_FLAG_CREATE), docs);
  EXPECT_EQ(MyDocumentsDir(false), docs);
  EXPECT_EQ(MyDocumentsDir(true), docs + "\\");
  EXPECT_EQ(UserAppDataDir(false), appData);
  EXPECT_EQ(AllUsersAppDataDir(false), common);
  EXPECT_EQ(AllUsersDocumentsDir(false), commonDocs);
  // The parents, which exist on any prefix.
  EXPECT_EQ(UserDir(false), ParentFolder(docs));
  EXPECT_EQ(DocumentsAndSettingsDir(false), ParentFolder(ParentFolder(docs)));
  EXPECT_EQ(AllUsersDir(false), ParentFolder(common));
  EXPECT_EQ(AllUsersDesktopDir(false), AllUsersDir(true) + "Desktop");
  EXPECT_EQ(AllUsersStartMenuDir(true), AllUsersDir(true) + "Start Menu\\");
  // The profile folder has a desktop (Wine makes one) and no "Start Menu" of its own.
  ASSERT_TRUE(FolderExists(UserDir(true) + "Desktop"));
  EXPECT_EQ(UserDesktopDir(false), UserDir(true) + "Desktop");
  ASSERT_FALSE(FolderExists(UserDir(true) + "Start Menu"));
  EXPECT_EQ(UserStartMenuDir(false), AllUsersStartMenuDir(false));

  EXPECT_EQ(Expand("<MyDocumentsDir>x"), docs + "\\x");
  EXPECT_EQ(Expand("<UserDir>"), ParentFolder(docs) + "\\");
  EXPECT_EQ(Expand("<AllUsersAppDataDir>a\\b"), common + "\\a\\b");
}

// Runs with "SHFolder.dll" disabled: every chain falls back to the Windows folder.
class WithoutShFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadSystemLibrary("SHFolder.dll"), nullptr) << "run with KOVREX_DLLOVERRIDES=shfolder=d";
    // Wine registers an empty owner; the test names one.
    owner_.reset(new SavedValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion",
                                "RegisteredOwner"));
    owner_->Set("Kovrex Test Owner");
    ASSERT_EQ(GetRegisteredOwner(), "Kovrex Test Owner");
    profile_ = WindowsDir(true) + "Profiles\\Kovrex Test Owner";
    ASSERT_FALSE(FolderExists(profile_));
  }
  void TearDown() override {
    RemoveDirectoryA(profile_.c_str());
    RemoveDirectoryA((WindowsDir(true) + "Profiles").c_str());
    owner_.reset();
  }
  std::unique_ptr<SavedValue> owner_;
  std::string profile_;
};

TEST_F(WithoutShFolder, ChainsEndAtTheWindowsFolder) {
  const std::string windows = WindowsDir(false);
  EXPECT_EQ(ShellFolderPath(CSIDL_PERSONAL | CSIDL_FLAG_CREATE), "");
  EXPECT_EQ(MyDocumentsDir(false), windows + "\\My Documents");
  EXPECT_EQ(UserDir(false), windows);
  EXPECT_EQ(DocumentsAndSettingsDir(false), windows);
  EXPECT_EQ(AllUsersDocumentsDir(false), windows + "\\Documents");
  EXPECT_EQ(UserAppDataDir(false), windows + "\\Application Data");
  EXPECT_EQ(AllUsersAppDataDir(false), windows + "\\Application Data");
  EXPECT_EQ(AllUsersDir(false), windows);
  EXPECT_EQ(AllUsersDesktopDir(true), windows + "\\Desktop\\");
  EXPECT_EQ(Expand("<MyDocumentsDir>a.txt"), windows + "\\My Documents\\a.txt");

  // With a profile folder for the registered owner.
  ASSERT_TRUE(ForceFolders(profile_));
  EXPECT_EQ(UserDir(false), profile_);
  EXPECT_EQ(DocumentsAndSettingsDir(false), profile_);
  EXPECT_EQ(MyDocumentsDir(false), profile_ + "\\My Documents");
  EXPECT_EQ(UserAppDataDir(false), profile_ + "\\Application Data");
  EXPECT_EQ(UserStartMenuDir(false), windows + "\\Start Menu");  // the profile has none
}

TEST_F(WithoutShFolder, AnEmptyOwnerNamesNoProfile) {
  owner_->Set("");
  ASSERT_EQ(GetRegisteredOwner(), "");
  ASSERT_TRUE(ForceFolders(WindowsDir(true) + "Profiles"));
  EXPECT_EQ(UserDir(false), WindowsDir(false));  // not the folder of all profiles
  EXPECT_EQ(MyDocumentsDir(false), WindowsDir(true) + "My Documents");
}

// --- Folder values and registry values ----------------------------------------------

TEST(MacrosWin, SystemFolders) {
  const std::string system = SystemDir(false);
  std::string system16 = system;
  system16.erase(system16.rfind("32"), 2);
  // Wine's prefix has no 16-bit system folder: the system folder stands in.
  ASSERT_FALSE(FolderExists(system16));
  EXPECT_EQ(System16Dir(), system);
  ASSERT_TRUE(ForceFolders(system16));
  EXPECT_EQ(System16Dir(), system16);
  EXPECT_EQ(Expand("<WinSys16Dir>x"), system16 + "\\x");
  EXPECT_EQ(Expand("<System16 Directory>x"), system16 + "\\x");
  RemoveDirectoryA(system16.c_str());

  EXPECT_EQ(Expand("<Windows Directory>notepad.exe"), WindowsDir(true) + "notepad.exe");
  EXPECT_EQ(Expand("<WinDir>notepad.exe"), WindowsDir(true) + "notepad.exe");
  EXPECT_EQ(Expand("<WinDrive>"), WindowsDir(false).substr(0, 2) + "\\");
  EXPECT_EQ(Expand("<WinSysDir>"), system + "\\");
  EXPECT_EQ(Expand("<TempDir>"), TempDir(true));
  EXPECT_EQ(Expand("<SrcDir>"), ProgramDir(true));
  EXPECT_EQ(Expand("<UserName>"), GetRegisteredOwner());
}

TEST(MacrosWin, RegistryFolderValues) {
  SavedValue programFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  SavedValue commonFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
  SavedValue startMenu(HKEY_CURRENT_USER, kShellFolders, "Start Menu");
  SavedValue fonts(HKEY_CURRENT_USER, kShellFolders, "Fonts");
  SavedValue origin(HKEY_CURRENT_USER, "Software\\Kovrex_Dyn_Data", "OriginDir");

  programFiles.Set("Q:\\Test Programs");
  commonFiles.Set("Q:\\Test Common");
  startMenu.Set("Q:\\Test Menu");
  origin.Set("O:\\Origin");
  EXPECT_EQ(Expand("<ProgramFilesDir>App\\a.exe"), "Q:\\Test Programs\\App\\a.exe");
  EXPECT_EQ(Expand("<CommonFilesDir>"), "Q:\\Test Common\\");
  EXPECT_EQ(Expand("<StartMenuDir>"), "Q:\\Test Menu\\");
  EXPECT_EQ(Expand("<OriginDir>"), "O:\\Origin\\");
  EXPECT_EQ(Expand("<OriginDrive>"), "O:\\");

  // A registered fonts folder counts only when it exists.
  fonts.Set(TempDir(false));
  EXPECT_EQ(FontDir(), TempDir(false));
  fonts.Set("Q:\\No Fonts Here");
  EXPECT_EQ(FontDir(), WindowsDir(true) + "Fonts");

  // Missing values: empty, with the suffix still appended; OriginDir falls
  // back to the program's folder.
  programFiles.Delete();
  startMenu.Delete();
  origin.Delete();
  fonts.Delete();
  EXPECT_EQ(ProgramFilesDir(), "");
  EXPECT_EQ(Expand("<ProgramFilesDir>"), "\\");
  EXPECT_EQ(Expand("<StartMenuDir>x"), "\\x");
  EXPECT_EQ(OriginDir(), ProgramDir(false));
  EXPECT_EQ(FontDir(), WindowsDir(true) + "Fonts");
}

TEST(MacrosWin, InstallFolders) {
  SetInstallFolders("C:\\Prog", "C:\\Common", "D:\\Aux\\");
  EXPECT_EQ(Expand("<InstallDir>App.exe"), "C:\\Prog\\App.exe");
  EXPECT_EQ(Expand("<InstallAuxDir>a"), "D:\\Aux\\a");
  EXPECT_EQ(Expand("<InstallDir><Application Folder>x"), "C:\\Prog\\x");
  EXPECT_EQ(ExpandMacros("<InstallDir>..\\Other\\App.exe", "\\", true), "C:\\Other\\App.exe");
  SetInstallFolders("", "", "");
}

// --- Date and locale ---------------------------------------------------------------------

// Sets a locale string for the test and puts the old one back.
class LocaleString {
 public:
  explicit LocaleString(LCTYPE type, const char* value) : type_(type) {
    char old[16] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, type, old, sizeof old);
    old_ = old;
    set_ = SetLocaleInfoA(LOCALE_USER_DEFAULT, type, value) != FALSE;
  }
  ~LocaleString() { SetLocaleInfoA(LOCALE_USER_DEFAULT, type_, old_.c_str()); }
  bool set_ = false;

 private:
  LCTYPE type_;
  std::string old_;
};

std::string DateFormat(const char* picture) {
  char out[100] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, 0, nullptr, picture, out, sizeof out);
  return out;
}

TEST(MacrosWin, DateTextUsesTheLocale) {
  LocaleString date(LOCALE_SDATE, ".");
  ASSERT_TRUE(date.set_);
  // Compared with the system's own formatting; asked again if the day turned in between.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::string before = DateFormat("yyyyMMdd");
    const std::string text = DateText('#'), expected = DateFormat("dd'.'MMMM'.'yyyy");
    const std::string iso = Expand("<Date=6>x"), isoExpected = DateFormat("yyyy'-'MM'-'dd") + "x";
    if (before != DateFormat("yyyyMMdd")) continue;
    EXPECT_EQ(text, expected);
    EXPECT_EQ(iso, isoExpected);
    break;
  }
  const std::string seven = DateText('7');
  ASSERT_EQ(seven.size(), 19u) << seven;
  EXPECT_EQ(seven.substr(4, 1) + seven.substr(7, 1) + seven.substr(10, 1), "-- ");
  const DateLocale locale = UserDateLocale();
  EXPECT_EQ(seven.substr(13, locale.timeSeparator.size()), locale.timeSeparator);
  EXPECT_EQ(Expand("<Date=9>"), "<Date=9>");
}

// --- Full paths ---------------------------------------------------------------------------

TEST(MacrosWin, DotExpansion) {
  EXPECT_EQ(ExpandDots("C:\\A\\B\\..\\C.exe"), "C:\\A\\C.exe");
  EXPECT_EQ(ExpandDots("|C:\\A\\..\\B|D:\\x|"), "|C:\\B|D:\\x|");
  EXPECT_EQ(ExpandDots("C:\\A\\.\\B"), "C:\\A\\.\\B");  // no "..": left alone

  char old[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, old);
  ASSERT_TRUE(SetCurrentDirectoryA(TempDir(false).c_str()));
  EXPECT_EQ(ExpandDots("x\\..\\y"), TempDir(true) + "y");
  SetCurrentDirectoryA(old);

  // Longer than any small buffer would hold.
  std::string deep = "C:\\";
  for (int i = 0; i < 20; ++i) deep += "folder_" + IntToText(i) + "\\";
  const std::string path = deep + "x\\..\\file.txt";
  ASSERT_GT(path.size(), 200u);
  EXPECT_EQ(FullPathName(path), deep + "file.txt");
}

// --- Run-time directories ----------------------------------------------------------------

std::vector<std::string> gNotices;
void RecordNotice(const std::string& text) { gNotices.push_back(text); }

// M: is a fixed drive, N: a network one; no other letter is visited.
unsigned TestDriveType(const std::string& root) {
  if (root == "M:\\") return DRIVE_FIXED;
  if (root == "N:\\") return DRIVE_REMOTE;
  return DRIVE_NO_ROOT_DIR;
}

class RunTimeDirWin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetDriveTypeA("M:\\"), UINT(DRIVE_FIXED)) << "run through with-test-drives.sh";
    previousDrives_ = SetDriveTypeFunction(TestDriveType);
    previousNotice_ = SetRunTimeDirNotice(RecordNotice);
    gNotices.clear();
  }
  void TearDown() override {
    SetDriveTypeFunction(previousDrives_);
    SetRunTimeDirNotice(previousNotice_);
    for (int i = 1; i <= 3; ++i) SetRunTimeDirDefinition(i, "");
    ResetRunTimeDirs();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KovrexMacroTest");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kAppPaths) + kTool).c_str());
    DeleteTree("M:\\a", true);
    DeleteTree("N:\\net", true);
  }
  static constexpr const char* kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  static constexpr const char* kTool = "kovrex_macro_tool.exe";
  DriveTypeFunction previousDrives_ = nullptr;
  RunTimeDirNotice previousNotice_ = nullptr;
};

TEST_F(RunTimeDirWin, AppPathsAndRegistryValues) {
  ASSERT_TRUE(RegWriteString(std::string("HKEY_LOCAL_MACHINE\\") + kAppPaths + kTool, "", "M:\\Tools\\kovrex_macro_tool.exe"));
  EXPECT_EQ(AppPathsDir(kTool), "M:\\Tools");
  EXPECT_EQ(FindRunTimeDir(std::string("|1|") + kTool + "|"), "M:\\Tools");
  EXPECT_EQ(FindRunTimeDir(std::string("|1|") + kTool + "|0||1||0|0|"), "M:\\");  // the file step's folder part

  const std::string key = "HKEY_CURRENT_USER\\Software\\KovrexMacroTest\\Tool";
  ASSERT_TRUE(RegWriteString(key, "InstallPath", "M:\\From\\Value\\"));
  EXPECT_EQ(RegistryPathValue(key + "\\InstallPath"), "M:\\From\\Value\\");
  EXPECT_EQ(FindRunTimeDir("|1|" + std::string(kTool) + "|1|" + key + "\\InstallPath|"), "M:\\From\\Value");
  ASSERT_TRUE(RegWriteString(key + "\\InstallPath", "", "M:\\From\\Default"));
  EXPECT_EQ(RegistryPathValue(key + "\\InstallPath"), "M:\\From\\Default");
  // A number reads as its decimal text.
  HKEY k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KovrexMacroTest\\Tool", 0, KEY_WRITE, &k), ERROR_SUCCESS);
  const DWORD number = 4321;
  RegSetValueExA(k, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(k);
  EXPECT_EQ(RegistryPathValue(key + "\\Count"), "4321");
  EXPECT_TRUE(gNotices.empty());
}

TEST_F(RunTimeDirWin, DriveSearchesAndTheMacro) {
  ASSERT_TRUE(ForceFolders("M:\\a\\b"));
  ASSERT_TRUE(WriteFileText("M:\\a\\b\\kovrex_tool.exe", "x", 0));
  ASSERT_TRUE(ForceFolders("N:\\net\\Vendor\\Tool"));
  EXPECT_EQ(FindRunTimeDir("|0||0||1|kovrex_tool.exe|1|0|"), "M:\\a\\b");
  EXPECT_EQ(FindRunTimeDir("|0||0||1|kovrex_tool.exe|0|1|"), "");  // not on a network drive
  EXPECT_EQ(FindRunTimeDir("|0||0||0||0|0|1|Vendor\\Tool|0|1|"), "N:\\net\\Vendor\\Tool");

  SetRunTimeDirDefinition(1, "|0||0||1|kovrex_tool.exe|1|0|");
  EXPECT_EQ(ExpandMacros("<RunTimeDir_1>kovrex_tool.exe", "\\", false), "M:\\a\\b\\kovrex_tool.exe");
  // Remembered for the process: the file may go, the answer stays.
  ASSERT_TRUE(DeleteTree("M:\\a", true));
  EXPECT_EQ(ExpandMacros("<RunTimeDir_1>kovrex_tool.exe", "\\", false), "M:\\a\\b\\kovrex_tool.exe");
  EXPECT_EQ(GetRunTimeDir(1), "M:\\a\\b");
}

// Links that lead back up the tree (a loop of two, so following them would
// branch without end) or out of it are not followed by the drive searches.
TEST_F(RunTimeDirWin, SearchesDoNotFollowLinks) {
  ASSERT_TRUE(ForceFolders("M:\\a\\loop"));
  ASSERT_TRUE(MakeDirectoryLink("M:\\a\\loop\\one", "."));
  ASSERT_TRUE(MakeDirectoryLink("M:\\a\\loop\\two", ".."));
  ASSERT_TRUE(ForceFolders("N:\\net"));
  ASSERT_TRUE(WriteFileText("N:\\net\\kovrex_tool.exe", "x", 0));
  ASSERT_TRUE(MakeDirectoryLink("M:\\a\\elsewhere", "../../n/net"));
  ASSERT_TRUE(FileExists("M:\\a\\elsewhere\\kovrex_tool.exe"));

  EXPECT_EQ(FindFileOnDrives("kovrex_tool.exe", DRIVE_FIXED), "");
  EXPECT_EQ(FindFolderOnDrives("net", DRIVE_FIXED), "");
  EXPECT_EQ(FindFolderOnDrives("no such folder", DRIVE_FIXED), "");
  ASSERT_TRUE(WriteFileText("M:\\a\\loop\\kovrex_tool.exe", "x", 0));
  EXPECT_EQ(FindRunTimeDir("|0||0||1|kovrex_tool.exe|1|0|"), "M:\\a\\loop");
  // Deleting the tree leaves what the links point to (and does not loop).
  DeleteTree("M:\\a", true);
  EXPECT_FALSE(FileExists("M:\\a\\loop\\kovrex_tool.exe"));
  EXPECT_TRUE(FileExists("N:\\net\\kovrex_tool.exe"));
}

TEST_F(RunTimeDirWin, NotFoundIsToldOnce) {
  SetRunTimeDirDefinition(2, std::string("|1|") + kTool + "|0||0||0|0|0||0|0|0||||1|1|");
  EXPECT_EQ(ExpandMacros("<RunTimeDir_2>x.exe", "\\", false), "\\x.exe");
  EXPECT_EQ(ExpandMacros("<RunTimeDir_2>x.exe", "\\", false), "\\x.exe");
  EXPECT_EQ(gNotices, std::vector<std::string>{std::string("RunTimeDir(") + kTool + ")\\\\n\\\\nNot Found!"});
  EXPECT_TRUE(RunTimeDirMissing());
  // Texts without the macro never look it up.
  SetRunTimeDirDefinition(3, "|0||0||0||0|0|0||0|0|0||||1|0|");
  ExpandMacros("<WinDir>", "\\", false);
  EXPECT_EQ(gNotices.size(), 1u);
}

}  // namespace
