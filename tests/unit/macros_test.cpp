// Path macros, shell-folder chains and run-time directory lookups over fixed
// machine values and a fixed clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "environment/Macros.h"
#include "environment/RunTimeDir.h"
#include "environment/ShellFolders.h"
#include "support/Utils.h"

namespace {

using V = MacroValue;

// A machine as a table of values, with a clock that does not move and a
// full-path resolver that works like the system's on plain drive paths.
class TableProvider final : public MacroProvider {
 public:
  std::map<V, std::string> values = {
      {V::RegisteredOwner, "Owner"},
      {V::RegisteredOrganization, "Org"},
      {V::WindowsDir, "C:\\WINDOWS"},
      {V::SystemDir, "C:\\WINDOWS\\system32"},
      {V::System16Dir, "C:\\WINDOWS\\system"},
      {V::ProgramFilesDir, "C:\\Program Files"},
      {V::CommonFilesDir, "C:\\Program Files\\Common Files"},
      {V::StartMenuDir, "C:\\Menu"},
      {V::FontDir, "C:\\WINDOWS\\Fonts"},
      {V::SourceDir, "D:\\Setup"},
      {V::OriginDir, "E:\\Origin"},
      {V::TempDir, "C:\\Temp"},
      {V::UserDir, "C:\\Users\\u"},
      {V::UserAppDataDir, "C:\\Users\\u\\AppData"},
      {V::MyDocumentsDir, "C:\\Users\\u\\Docs"},
      {V::UserStartMenuDir, "C:\\Users\\u\\Start Menu"},
      {V::UserDesktopDir, "C:\\Users\\u\\Desktop"},
      {V::DocumentsAndSettingsDir, "C:\\Users"},
      {V::AllUsersDir, "C:\\All"},
      {V::AllUsersAppDataDir, "C:\\All\\AppData"},
      {V::AllUsersDocumentsDir, "C:\\All\\Docs"},
      {V::AllUsersStartMenuDir, "C:\\All\\Start Menu"},
      {V::AllUsersDesktopDir, "C:\\All\\Desktop"},
      {V::RunTimeDir1, "R:\\One"},
      {V::RunTimeDir2, ""},
      {V::RunTimeDir3, "R:\\Three\\"},
  };
  std::vector<V> asked;
  DateMoment now{2024, 3, 7, 9, 5, 3};
  DateLocale locale{{"January", "February", "March", "April", "May", "June", "July", "August", "September",
                     "October", "November", "December"},
                    ".",
                    ":"};
  std::string currentFolder = "C:\\Work";

  std::string Value(V which) override {
    asked.push_back(which);
    return values[which];
  }
  DateMoment Now() override { return now; }
  DateLocale Locale() override { return locale; }
  std::string FullPathName(const std::string& path) override {
    const bool absolute = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    std::string full = absolute ? path : currentFolder + "\\" + path;
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
      const size_t cut = full.find('\\', start);
      const std::string part = full.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
      if (part == "..") {
        if (parts.size() > 1) parts.pop_back();
      } else if (part != "." && !part.empty()) {
        parts.push_back(part);
      }
      if (cut == std::string::npos) break;
      start = cut + 1;
    }
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "\\" : "") + parts[i];
    return parts.size() == 1 ? out + "\\" : out;
  }
};

class Macros : public ::testing::Test {
 protected:
  void SetUp() override { SetInstallFolders("C:\\Prog", "C:\\Common", "C:\\Aux"); }
  void TearDown() override {
    SetInstallFolders("", "", "");
    SetCustomMacros(std::string(1, '\xFF'));
    SetEnteredValueProvider(nullptr);
  }
  std::string Expand(const std::string& text, const std::string& suffix = "\\", bool dots = false) {
    return ExpandMacros(text, suffix, dots, machine);
  }
  TableProvider machine;
};

TEST_F(Macros, EveryMacroOfTheTable) {
  struct Case { const char* text; const char* expanded; } cases[] = {
      {"<UserName>", "Owner"},
      {"<CompanyName>", "Org"},
      {"<EnteredUserName>|<EnteredCompanyName>", "|"},  // no provider: empty
      {"<RunTimeDir_1>", "R:\\One\\"},
      {"<RunTimeDir_2>x", "\\x"},
      {"<RunTimeDir_3>x", "R:\\Three\\x"},  // the doubled backslash is collapsed
      {"<Application Folder>", "C:\\Prog\\"},
      {"<Common Folder>", "C:\\Common\\"},
      {"<Auxiliary Folder>", "C:\\Aux\\"},
      {"<Windows Directory>", "C:\\WINDOWS\\"},
      {"<System Directory>", "C:\\WINDOWS\\system32\\"},
      {"<System16 Directory>", "C:\\WINDOWS\\system\\"},
      {"<AbsoluteDir>x", "x"},
      {"<InstallDir>", "C:\\Prog\\"},
      {"<InstallCommonDir>", "C:\\Common\\"},
      {"<InstallAuxDir>", "C:\\Aux\\"},
      {"<InstallDrive>", "C:\\"},
      {"<WinDir>", "C:\\WINDOWS\\"},
      {"<WinSysDir>", "C:\\WINDOWS\\system32\\"},
      {"<WinSys32Dir>", "C:\\WINDOWS\\system32\\"},
      {"<WinSys16Dir>", "C:\\WINDOWS\\system\\"},
      {"<WinDisk>", "C:\\"},
      {"<WinDrive>", "C:\\"},
      {"<WinSysDisk>", "C:\\"},
      {"<WinSysDrive>", "C:\\"},
      {"<ProgramFilesDir>", "C:\\Program Files\\"},
      {"<CommonFilesDir>", "C:\\Program Files\\Common Files\\"},
      {"<StartMenuDir>", "C:\\Menu\\"},
      {"<FontDir>", "C:\\WINDOWS\\Fonts\\"},
      {"<SrcDir>", "D:\\Setup\\"},
      {"<OriginDir>", "E:\\Origin\\"},
      {"<OriginDrive>", "E:\\"},
      {"<TempDir>", "C:\\Temp\\"},
      {"<UserDir>", "C:\\Users\\u\\"},
      {"<UserAppDataDir>", "C:\\Users\\u\\AppData\\"},
      {"<MyDocumentsDir>", "C:\\Users\\u\\Docs\\"},
      {"<UserStartMenuDir>", "C:\\Users\\u\\Start Menu\\"},
      {"<UserDesktopDir>", "C:\\Users\\u\\Desktop\\"},
      {"<DocumentsAndSettingsDir>", "C:\\Users\\"},
      {"<AllUsersDir>", "C:\\All\\"},
      {"<AllUsersAppDataDir>", "C:\\All\\AppData\\"},
      {"<AllUsersDocumentsDir>", "C:\\All\\Docs\\"},
      {"<AllUsersStartMenuDir>", "C:\\All\\Start Menu\\"},
      {"<AllUsersDesktopDir>", "C:\\All\\Desktop\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text), c.expanded) << c.text;
}

TEST_F(Macros, OrderSnapshotAndCollapse) {
  struct Case { const char* application; const char* text; const char* suffix; const char* expanded; } cases[] = {
      {"C:\\Prog", "<InstallDir>App.exe", "\\", "C:\\Prog\\App.exe"},
      {"C:\\Prog", "<installdir>App.exe", "\\", "C:\\Prog\\App.exe"},  // any case
      {"C:\\Prog\\", "<InstallDir>App.exe", "\\", "C:\\Prog\\App.exe"},  // joined, then collapsed
      {"C:\\Prog", "<InstallDir>App.exe", "", "C:\\ProgApp.exe"},
      // A group-2 macro changed the text: "<InstallDir>" is removed, not expanded.
      {"C:\\Prog", "<InstallDir><Application Folder>x", "\\", "C:\\Prog\\x"},
      {"C:\\Prog", "<Windows Directory><InstallDir>x", "\\", "C:\\WINDOWS\\x"},
      {"C:\\Prog", "<RunTimeDir_2><InstallDir>x", "\\", "\\x"},
      // An empty value still changes the text (its macro goes): the rule fires.
      {"C:\\Prog", "<RunTimeDir_2><InstallDir>x", "", "x"},
      // Group-1 changes come before the snapshot: no rule, no collapse.
      {"C:\\Prog", "<UserName><InstallDir>x", "\\", "OwnerC:\\Prog\\x"},
      {"C:\\Prog", "<UserName>\\\\x", "\\", "Owner\\\\x"},
      {"C:\\Prog", "C:\\\\a\\\\b.exe", "\\", "C:\\\\a\\\\b.exe"},  // no macro: doubled backslashes stay
      {"C:\\Prog", "\\\\srv\\<InstallDrive>", "\\", "\\\\srv\\C:\\"},  // collapse keeps a leading pair
      {"\\\\srv\\share", "<InstallDrive>x", "\\", "\\\\x"},             // a network path's "drive"
      {"", "<InstallDir>App.exe", "\\", "\\App.exe"},
      {"", "<InstallDrive>", "\\", "\\"},
      {"C:\\Prog", "<WinDir>notepad.exe", "\\", "C:\\WINDOWS\\notepad.exe"},
      {"C:\\Prog", "<Windows Directory>notepad.exe", "", "C:\\WINDOWS\\notepad.exe"},  // never a suffix
      {"C:\\Prog", "<WinDrive>", "\\", "C:\\"},
      {"C:\\Prog", "<Unknown>", "\\", "<Unknown>"},
      {"C:\\Prog", "a<b", "\\", "a<b"},
      {"C:\\Prog", "<WinDir<WinDir>>", "\\", "<WinDirC:\\WINDOWS\\>"},
      // Removing "<AbsoluteDir>" joins a macro that a later step expands.
      {"C:\\Prog", "<Win<AbsoluteDir>Dir>", "\\", "C:\\WINDOWS\\"},
      {"C:\\Prog", "", "\\", ""},
  };
  for (const auto& c : cases) {
    SetInstallFolders(c.application, "C:\\Common", "C:\\Aux");
    EXPECT_EQ(Expand(c.text, c.suffix), c.expanded) << c.text << " with " << c.application;
  }
}

TEST_F(Macros, InsertedValuesAreSeenOnlyByLaterSteps) {
  // The application folder holds a later macro (expanded) and its own (kept).
  SetInstallFolders("<WinDir>App", "<InstallCommonDir>", "C:\\Aux");
  EXPECT_EQ(Expand("<InstallDir>x"), "C:\\WINDOWS\\App\\x");
  EXPECT_EQ(Expand("<InstallCommonDir>x"), "<InstallCommonDir>\\x");
  // A value that holds its own macro is inserted once per occurrence.
  SetInstallFolders("C:\\<InstallDir>", "", "");
  EXPECT_EQ(Expand("<InstallDir><InstallDir>"), "C:\\<InstallDir>\\C:\\<InstallDir>\\");
  // Group 2 inserted it: the install-folder rule removes the copies it brought.
  EXPECT_EQ(Expand("<Application Folder>"), "C:\\");
  machine.values[V::TempDir] = "T:\\<WinDir>";  // an earlier step's macro stays
  EXPECT_EQ(Expand("<TempDir>"), "T:\\<WinDir>\\");
  machine.values[V::WindowsDir] = "W:\\<UserDir>";  // a later one is expanded
  EXPECT_EQ(Expand("<WinDir>"), "W:\\C:\\Users\\u\\");
}

TEST_F(Macros, EnteredValuesComeFromTheProvider) {
  SetEnteredValueProvider([](const std::string& name) { return name == "UserName" ? std::string("Ann") : "Acme"; });
  EXPECT_EQ(Expand("<EnteredUserName>@<EnteredCompanyName>"), "Ann@Acme");
}

TEST_F(Macros, RunTimeDirsAreLookedUpOnlyWhenNamed) {
  Expand("<InstallDir>x");
  for (V v : {V::RunTimeDir1, V::RunTimeDir2, V::RunTimeDir3})
    EXPECT_EQ(std::count(machine.asked.begin(), machine.asked.end(), v), 0);
  // Every other value is asked for, whether or not the text holds its macro.
  for (V v : {V::RegisteredOwner, V::WindowsDir, V::ProgramFilesDir, V::UserDir, V::AllUsersDesktopDir, V::TempDir})
    EXPECT_GE(std::count(machine.asked.begin(), machine.asked.end(), v), 1);
  machine.asked.clear();
  Expand("<runtimedir_3>");
  EXPECT_EQ(std::count(machine.asked.begin(), machine.asked.end(), V::RunTimeDir3), 1);
  EXPECT_EQ(std::count(machine.asked.begin(), machine.asked.end(), V::RunTimeDir1), 0);
  machine.asked.clear();
  EXPECT_EQ(Expand(""), "");
  EXPECT_TRUE(machine.asked.empty());
}

TEST_F(Macros, CustomMacrosComeFirst) {
  SetCustomMacros("|<Name>=C:\\x|<Self>=<Self>!|<Dir>=<WinDir>|<WinDir>=Z:\\W|<Stamp>=<Date=6>|<Gone>=|");
  struct Case { const char* text; const char* expanded; } cases[] = {
      {"<Name>\\a", "C:\\x\\a"},
      {"<name>", "C:\\x"},             // keys in any case
      {"<Self><Self>", "<Self>!<Self>!"},  // a value is never looked at again
      {"<Dir>", "C:\\WINDOWS\\"},      // a custom value is seen by the built-in steps
      {"<WinDir>", "Z:\\W"},           // and overrides a built-in macro
      {"<Stamp>", "2024-03-07"},
      {"a<Gone>b", "ab"},
      {"<Unknown>", "<Unknown>"},
      {"<a<Name>", "<a<Name>"},  // the token runs from the first "<" to the first ">"
      {"<Name", "<Name"},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text), c.expanded) << c.text;
  EXPECT_EQ(ExpandCustomMacros("<Self>"), "<Self>!");
  SetCustomMacros("|<x>=1|");
  EXPECT_EQ(ExpandCustomMacros("<x>x>"), "1x>");
  SetCustomMacros("||");  // under three characters: empty
  EXPECT_EQ(ExpandCustomMacros("<x>"), "<x>");
}

TEST_F(Macros, DateMacro) {
  struct Case { const char* text; const char* expanded; } cases[] = {
      {"<Date=6>", "2024-03-07"},
      {"<date=6>", "2024-03-07"},
      {"<Date=9>", "<Date=9>"},
      {"<Date=6", "<Date=6"},
      {"<Date=>", "<Date=>"},
      {"<Date=1><Date=1>", "07-03-24<Date=1>"},  // only the first
      {"<Date=1x>", "07-03-24>"},                // the character after the code goes, whatever it is
      {"<Date=9><Date=6>", "<Date=9><Date=6>"},  // the first decides
      {"log_<Date=4>.txt", "log_07-03-2024.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text), c.expanded) << c.text;
}

TEST(DateText, EveryCode) {
  const DateMoment now{2024, 3, 7, 9, 5, 3};
  DateLocale locale;
  locale.monthNames[2] = "März";
  locale.dateSeparator = ".";
  locale.timeSeparator = "h";
  struct Case { char code; const char* text; } cases[] = {
      {'#', "07.März.2024"}, {'0', "8832"},       {'1', "07-03-24"},   {'2', "03-07-24"},
      {'3', "24-03-07"},     {'4', "07-03-2024"}, {'5', "03-07-2024"}, {'6', "2024-03-07"},
      {'7', "2024-03-07 09h05h03"}, {'8', ""},    {'a', ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DateText(c.code, now, locale), c.text) << c.code;
  EXPECT_EQ(DateText('1', DateMoment{2005, 11, 30, 23, 59, 59}, locale), "30-11-05");
  EXPECT_EQ(DateText('6', DateMoment{999, 1, 2, 0, 0, 0}, locale), "0999-01-02");
}

TEST(DateText, WholeDaysSince2000) {
  const DateLocale locale;
  struct Case { DateMoment now; const char* days; } cases[] = {
      {{2000, 1, 1, 0, 0, 0}, "0"},      {{2000, 1, 1, 23, 59, 59}, "0"}, {{2000, 1, 2, 0, 0, 0}, "1"},
      {{2000, 3, 1, 0, 0, 0}, "60"},     // 2000 is a leap year
      {{2100, 3, 1, 0, 0, 0}, "36584"},  // 2100 is not
      {{1999, 12, 31, 12, 0, 0}, "0"},   // the absolute difference, truncated
      {{1999, 12, 30, 23, 0, 0}, "1"},   {{1900, 1, 1, 0, 0, 0}, "36524"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DateText('0', c.now, locale), c.days) << c.now.year << "-" << c.now.month << "-" << c.now.day;
}

TEST_F(Macros, DotExpansion) {
  struct Case { const char* text; const char* expanded; } cases[] = {
      {"C:\\A\\B\\..\\C.exe", "C:\\A\\C.exe"},
      {"|C:\\A\\..\\B|D:\\x|", "|C:\\B|D:\\x|"},
      {",C:\\A\\..\\B,,x\\..\\y,", ",C:\\B,,C:\\Work\\y,"},
      {"|C:\\A\\..\\B", "C:\\Work\\|C:\\B"},  // not a list (no closing delimiter): one path
      {"..\\x", "C:\\x"},
      {"C:\\A\\.\\B", "C:\\A\\.\\B"},  // only ".." asks for the full form
      {"<InstallDir>..\\Other\\App.exe", "C:\\Other\\App.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text, "\\", true), c.expanded) << c.text;
  EXPECT_EQ(Expand("C:\\A\\B\\..\\C.exe", "\\", false), "C:\\A\\B\\..\\C.exe");
}

TEST_F(Macros, DotExpansionOfAListResolvesEveryField) {
  // A full form holding the delimiter must not push a later field out of reach.
  machine.currentFolder = "C:\\a,b\\c";
  EXPECT_EQ(ExpandDots(",..\\x,..\\y,", machine), ",C:\\a,b\\x,C:\\a,b\\y,");
}

TEST(FolderValues, System16Dir) {
  static std::set<std::string> existing;
  const FolderExistsFunction exists = [](const std::string& p) { return existing.count(p) > 0; };
  existing = {"C:\\WINDOWS\\system", "C:\\WINDOWS\\system32"};
  EXPECT_EQ(System16DirFrom("C:\\WINDOWS\\system32", "C:\\WINDOWS", exists), "C:\\WINDOWS\\system");
  existing = {"C:\\W32\\System", "C:\\W32\\sys"};  // the last "32" goes
  EXPECT_EQ(System16DirFrom("C:\\W32\\sys32", "C:\\W32", exists), "C:\\W32\\sys");
  EXPECT_EQ(System16DirFrom("C:\\W32\\SYS", "C:\\W32", exists), "C:\\W32\\System");
  existing = {"C:\\WINNT\\SYSTEM"};  // no "32": the system folder itself
  EXPECT_EQ(System16DirFrom("C:\\WINNT\\SYSTEM", "C:\\WINNT", exists), "C:\\WINNT\\SYSTEM");
  existing = {};
  EXPECT_EQ(System16DirFrom("C:\\WINDOWS\\system32", "C:\\WINDOWS", exists), "C:\\WINDOWS\\system32");
  existing = {"C:\\System"};
  EXPECT_EQ(System16DirFrom("C:\\sys32", "C:\\", exists), "C:\\System");
}

TEST(FolderValues, FontDir) {
  static std::set<std::string> existing;
  const FolderExistsFunction exists = [](const std::string& p) { return existing.count(p) > 0; };
  existing = {"D:\\Fonts"};
  EXPECT_EQ(FontDirFrom("D:\\Fonts", "C:\\WINDOWS", exists), "D:\\Fonts");
  EXPECT_EQ(FontDirFrom("D:\\Gone", "C:\\WINDOWS", exists), "C:\\WINDOWS\\Fonts");
  EXPECT_EQ(FontDirFrom("", "C:\\WINDOWS", exists), "C:\\WINDOWS\\Fonts");
}

// --- Shell folders -------------------------------------------------------------

class FakeShell final : public ShellFolderSource {
 public:
  std::map<int, std::string> answers;  // by identifier, without the create flag
  std::set<std::string> existing;
  std::vector<int> asked;
  std::string ShellFolderPath(int id) override {
    asked.push_back(id);
    return answers[id & ~kCsidlFlagCreate];
  }
  bool FolderExists(const std::string& path) override { return existing.count(path) > 0; }
  std::string WindowsDir() override { return "C:\\WINDOWS"; }
  std::string RegisteredOwner() override { return owner; }
  std::string owner = "user1";
};

TEST(ShellFolders, ParentFolder) {
  struct Case { const char* folder; const char* parent; } cases[] = {
      {"C:\\Documents and Settings\\user1\\My Documents", "C:\\Documents and Settings\\user1"},
      {"D:\\Docs", "D:"}, {"D:\\", "D:"}, {"D:", "D:"}, {"C:\\a\\b\\", "C:\\a\\b"}, {"x", ""},
      {"\\\\srv\\share", "\\\\srv"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParentFolder(c.folder), c.parent) << c.folder;
}

TEST(ShellFolders, FromTheShellsAnswers) {
  FakeShell shell;
  const std::string docs = "C:\\Documents and Settings\\user1\\My Documents";
  shell.answers = {{kCsidlPersonal, docs},
                   {kCsidlAppData, "C:\\Documents and Settings\\user1\\Application Data"},
                   {kCsidlCommonAppData, "C:\\Documents and Settings\\All Users\\Application Data"},
                   {kCsidlCommonDocuments, "C:\\Documents and Settings\\All Users\\Documents"}};
  for (const auto& a : shell.answers) shell.existing.insert(a.second);
  shell.existing.insert({"C:\\Documents and Settings\\user1", "C:\\Documents and Settings",
                         "C:\\Documents and Settings\\All Users", "C:\\Documents and Settings\\user1\\Start Menu"});
  EXPECT_EQ(UserDir(false, shell), "C:\\Documents and Settings\\user1");
  EXPECT_EQ(UserDir(true, shell), "C:\\Documents and Settings\\user1\\");
  EXPECT_EQ(DocumentsAndSettingsDir(false, shell), "C:\\Documents and Settings");
  EXPECT_EQ(MyDocumentsDir(false, shell), docs);
  EXPECT_EQ(UserAppDataDir(false, shell), "C:\\Documents and Settings\\user1\\Application Data");
  EXPECT_EQ(AllUsersDir(false, shell), "C:\\Documents and Settings\\All Users");
  EXPECT_EQ(AllUsersAppDataDir(false, shell), "C:\\Documents and Settings\\All Users\\Application Data");
  EXPECT_EQ(AllUsersDocumentsDir(true, shell), "C:\\Documents and Settings\\All Users\\Documents\\");
  EXPECT_EQ(UserStartMenuDir(true, shell), "C:\\Documents and Settings\\user1\\Start Menu\\");
  // The all-users start menu and desktop are never tested.
  EXPECT_EQ(AllUsersStartMenuDir(false, shell), "C:\\Documents and Settings\\All Users\\Start Menu");
  EXPECT_EQ(AllUsersDesktopDir(false, shell), "C:\\Documents and Settings\\All Users\\Desktop");
  // The user's desktop is missing: the all-users one, untested.
  EXPECT_EQ(UserDesktopDir(false, shell), "C:\\Documents and Settings\\All Users\\Desktop");
  // Only these four are asked, each with the create flag.
  std::set<int> ids(shell.asked.begin(), shell.asked.end());
  EXPECT_EQ(ids, (std::set<int>{0x8005, 0x801A, 0x8023, 0x802E}));
}

TEST(ShellFolders, WithoutTheShell) {
  FakeShell shell;  // every answer empty: no library, no function or a failing call
  shell.existing = {"C:\\WINDOWS", "C:\\WINDOWS\\Profiles"};
  EXPECT_EQ(MyDocumentsDir(false, shell), "C:\\WINDOWS\\My Documents");
  EXPECT_EQ(UserDir(false, shell), "C:\\WINDOWS");
  EXPECT_EQ(DocumentsAndSettingsDir(false, shell), "C:\\WINDOWS");
  EXPECT_EQ(AllUsersDocumentsDir(false, shell), "C:\\WINDOWS\\Documents");
  EXPECT_EQ(UserAppDataDir(false, shell), "C:\\WINDOWS\\Application Data");
  EXPECT_EQ(AllUsersAppDataDir(false, shell), "C:\\WINDOWS\\Application Data");
  EXPECT_EQ(AllUsersDir(true, shell), "C:\\WINDOWS\\");
  EXPECT_EQ(UserStartMenuDir(false, shell), "C:\\WINDOWS\\Start Menu");
  EXPECT_EQ(UserDesktopDir(false, shell), "C:\\WINDOWS\\Desktop");

  // With the owner's profile folder.
  shell.existing.insert("C:\\WINDOWS\\Profiles\\user1");
  EXPECT_EQ(UserDir(false, shell), "C:\\WINDOWS\\Profiles\\user1");
  EXPECT_EQ(DocumentsAndSettingsDir(false, shell), "C:\\WINDOWS\\Profiles\\user1");  // not its parent
  EXPECT_EQ(MyDocumentsDir(false, shell), "C:\\WINDOWS\\Profiles\\user1\\My Documents");
  EXPECT_EQ(UserAppDataDir(true, shell), "C:\\WINDOWS\\Profiles\\user1\\Application Data\\");
  EXPECT_EQ(ProfileFolder(true, shell), "C:\\WINDOWS\\Profiles\\user1\\");

  // An empty owner names no profile, even though "Profiles\" exists.
  shell.owner = "";
  EXPECT_EQ(ProfileFolder(false, shell), "C:\\WINDOWS");
  EXPECT_EQ(UserDir(false, shell), "C:\\WINDOWS");
  EXPECT_EQ(MyDocumentsDir(false, shell), "C:\\WINDOWS\\My Documents");
}

TEST(ShellFolders, AnswersThatDoNotExistFallBack) {
  FakeShell shell;
  shell.answers = {{kCsidlPersonal, "X:\\gone\\Docs"}, {kCsidlCommonAppData, "X:\\gone\\Data"}};
  shell.existing = {"C:\\WINDOWS"};
  EXPECT_EQ(UserDir(false, shell), "C:\\WINDOWS");
  EXPECT_EQ(MyDocumentsDir(false, shell), "C:\\WINDOWS\\My Documents");
  EXPECT_EQ(AllUsersDir(false, shell), "C:\\WINDOWS");

  // The documents folder exists but its parent does not: the profile, not the parent.
  shell.existing.insert("X:\\gone\\Docs");
  EXPECT_EQ(UserDir(false, shell), "C:\\WINDOWS");
  EXPECT_EQ(DocumentsAndSettingsDir(false, shell), "C:\\WINDOWS");
  // Both parent steps are taken; the result is tested once more.
  shell.existing.insert("X:\\gone");
  EXPECT_EQ(DocumentsAndSettingsDir(false, shell), "C:\\WINDOWS");  // X: does not exist
  shell.existing.insert("X:");
  EXPECT_EQ(DocumentsAndSettingsDir(false, shell), "X:");

  // The documents folder at a drive's root.
  shell.answers[kCsidlPersonal] = "D:\\";
  shell.existing = {"D:\\", "D:"};
  EXPECT_EQ(UserDir(false, shell), "D:");
  EXPECT_EQ(UserDir(true, shell), "D:\\");
}

// --- Run-time directories -----------------------------------------------------------

const char kAppPaths[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

class FakeRunTime final : public RunTimeDirSource {
 public:
  std::map<std::pair<std::string, std::string>, std::string> registry;
  std::map<std::pair<std::string, unsigned>, std::string> files, folders;
  std::vector<std::string> searches;
  std::string RegistryValue(const std::string& key, const std::string& name) override {
    return registry[{key, name}];
  }
  std::string FindFileOnDrives(const std::string& name, unsigned type) override {
    searches.push_back("file " + name + " " + IntToText(type));
    return files[{name, type}];
  }
  std::string FindFolderOnDrives(const std::string& name, unsigned type) override {
    searches.push_back("folder " + name + " " + IntToText(type));
    return folders[{name, type}];
  }
};

std::vector<std::string> gNotices;
void RecordNotice(const std::string& text) { gNotices.push_back(text); }

class RunTimeDirs : public ::testing::Test {
 protected:
  void SetUp() override {
    gNotices.clear();
    previous_ = SetRunTimeDirNotice(RecordNotice);
  }
  void TearDown() override {
    SetRunTimeDirNotice(previous_);
    for (int i = 1; i <= 3; ++i) SetRunTimeDirDefinition(i, "");
    ResetRunTimeDirs();
  }
  // A definition from its fields, by number.
  static std::string Definition(std::map<int, std::string> fields) {
    std::string d = "|";
    for (int i = 0; i < 18; ++i) d += fields[i] + "|";
    return d;
  }
  FakeRunTime source;
  RunTimeDirNotice previous_ = nullptr;
};

TEST_F(RunTimeDirs, MethodsInTheirOrder) {
  source.registry[{std::string(kAppPaths) + "tool.exe", ""}] = "C:\\Tools\\tool.exe";
  source.registry[{std::string(kAppPaths) + "quoted.exe", ""}] = "\"C:\\Program Files\\Q\\quoted.exe\"";
  source.registry[{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tool", "InstallPath"}] = "E:\\Vendor\\Tool\\";
  source.files[{"tool.exe", 3}] = "D:\\Apps\\Tool\\tool.exe";
  source.files[{"net.exe", 4}] = "N:\\Share\\net.exe";
  source.folders[{"Vendor\\Tool", 4}] = "N:\\x\\Vendor\\Tool";
  const std::string vendor = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tool\\InstallPath";
  struct Case { std::map<int, std::string> fields; const char* result; } cases[] = {
      {{}, ""},
      {{{0, "1"}, {1, "tool.exe"}}, "C:\\Tools"},
      {{{0, "1"}, {1, "quoted.exe"}}, "C:\\Program Files\\Q"},
      {{{0, "1"}, {1, "other.exe"}}, ""},
      {{{0, "1"}, {1, "tool.exe"}, {2, "1"}, {3, vendor}}, "E:\\Vendor\\Tool"},  // the registry value wins...
      {{{0, "1"}, {1, "tool.exe"}, {2, "1"}, {3, "HKEY_CURRENT_USER\\None"}}, ""},  // ...even when empty
      {{{0, "1"}, {1, "tool.exe"}, {4, "1"}, {6, "1"}}, "C:\\"},  // reduced to its folder, no search
      {{{4, "1"}, {5, "tool.exe"}, {6, "1"}}, "D:\\Apps\\Tool"},
      {{{4, "1"}, {5, "tool.exe"}, {7, "1"}}, ""},  // network drives only
      {{{4, "1"}, {5, "net.exe"}, {6, "1"}, {7, "1"}}, "N:\\Share"},
      {{{8, "1"}, {9, "Vendor\\Tool"}, {10, "1"}, {11, "1"}}, "N:\\x\\Vendor\\Tool"},
      {{{8, "1"}, {9, "Vendor\\Tool"}, {10, "1"}}, ""},
      {{{0, "1"}, {1, "tool.exe"}, {8, "1"}, {9, "Vendor\\Tool"}, {11, "1"}}, "C:\\Tools"},  // found: no search
      {{{12, "1"}, {13, "C:\\Fallback\\"}}, "C:\\Fallback\\"},  // as written
      {{{0, "1"}, {1, "tool.exe"}, {12, "1"}, {13, "C:\\Fallback\\"}}, "C:\\Tools"},
      {{{12, "0"}, {13, "C:\\Fallback\\"}}, ""},
      {{{0, " 1"}, {1, "tool.exe"}}, ""},  // a flag is on only when exactly "1"
      {{{0, "true"}, {1, "tool.exe"}}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FindRunTimeDir(Definition(c.fields), source), c.result) << Definition(c.fields);
  EXPECT_TRUE(gNotices.empty());
}

TEST_F(RunTimeDirs, SearchesRunOnlyWhileNothingIsFound) {
  source.files[{"tool.exe", 3}] = "D:\\Apps\\Tool\\tool.exe";
  FindRunTimeDir(Definition({{4, "1"}, {5, "tool.exe"}, {6, "1"}, {7, "1"}, {8, "1"}, {9, "F"}, {10, "1"}}), source);
  EXPECT_EQ(source.searches, (std::vector<std::string>{"file tool.exe 3"}));
  source.searches.clear();
  FindRunTimeDir(Definition({{4, "1"}, {5, "x.exe"}, {6, "1"}, {7, "1"}, {8, "1"}, {9, "F"}, {10, "1"}, {11, "1"}}),
                 source);
  EXPECT_EQ(source.searches,
            (std::vector<std::string>{"file x.exe 3", "file x.exe 4", "folder F 3", "folder F 4"}));
}

TEST_F(RunTimeDirs, RegistryPathValue) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tool";
  source.registry[{key, "InstallPath"}] = "C:\\From\\Value";
  EXPECT_EQ(RegistryPathValue(key + "\\InstallPath", source), "C:\\From\\Value");
  source.registry[{key + "\\InstallPath", ""}] = "C:\\From\\Default";
  EXPECT_EQ(RegistryPathValue(key + "\\InstallPath", source), "C:\\From\\Default");
  EXPECT_EQ(RegistryPathValue("NoBackslash", source), "");
}

TEST_F(RunTimeDirs, NotFoundMessageAndFlag) {
  EXPECT_EQ(FindRunTimeDir("|1|tool.exe|0||0||0|0|0||0|0|0||||1|0|", source), "");
  EXPECT_EQ(gNotices, (std::vector<std::string>{"RunTimeDir(tool.exe)\\\\n\\\\nNot Found!"}));
  EXPECT_FALSE(RunTimeDirMissing());
  gNotices.clear();
  FindRunTimeDir(Definition({{16, "1"}}), source);
  EXPECT_EQ(gNotices, (std::vector<std::string>{"RunTimeDir()\\\\n\\\\nNot Found!"}));
  gNotices.clear();
  // The name shown: the registry path replaces the executable; a search
  // name only fills an empty one.
  FindRunTimeDir(Definition({{0, "1"}, {1, "a.exe"}, {2, "1"}, {3, "HKEY_CURRENT_USER\\K"}, {4, "1"}, {5, "b.exe"},
                             {16, "1"}}),
                 source);
  FindRunTimeDir(Definition({{4, "1"}, {5, "b.exe"}, {8, "1"}, {9, "F"}, {16, "1"}}), source);
  FindRunTimeDir(Definition({{8, "1"}, {9, "F"}, {16, "1"}}), source);
  EXPECT_EQ(gNotices, (std::vector<std::string>{"RunTimeDir(HKEY_CURRENT_USER\\K)\\\\n\\\\nNot Found!",
                                                "RunTimeDir(b.exe)\\\\n\\\\nNot Found!",
                                                "RunTimeDir(F)\\\\n\\\\nNot Found!"}));
  gNotices.clear();
  FindRunTimeDir(Definition({{12, "1"}, {13, "C:\\D"}, {16, "1"}, {17, "1"}}), source);  // found: no message
  EXPECT_TRUE(gNotices.empty());
  EXPECT_FALSE(RunTimeDirMissing());
  FindRunTimeDir(Definition({{17, "1"}}), source);
  EXPECT_TRUE(gNotices.empty());
  EXPECT_TRUE(RunTimeDirMissing());
}

TEST_F(RunTimeDirs, EachIndexIsLookedUpOncePerProcess) {
  SetRunTimeDirDefinition(1, "|1|tool.exe|0||1|tool.exe|1|0|0||0|0|0||||1|1|");
  EXPECT_EQ(GetRunTimeDir(1, source), "");
  EXPECT_EQ(gNotices.size(), 1u);
  EXPECT_EQ(source.searches.size(), 1u);
  // Later hits are not seen, the message is not shown again.
  source.files[{"tool.exe", 3}] = "D:\\tool.exe";
  EXPECT_EQ(GetRunTimeDir(1, source), "");
  EXPECT_EQ(gNotices.size(), 1u);
  EXPECT_EQ(source.searches.size(), 1u);
  EXPECT_TRUE(RunTimeDirMissing());

  // An empty definition: empty, nothing shown, remembered.
  EXPECT_EQ(GetRunTimeDir(2, source), "");
  EXPECT_EQ(gNotices.size(), 1u);
  // A result that reads like "not looked up yet" is remembered too.
  SetRunTimeDirDefinition(3, Definition({{4, "1"}, {5, "x"}, {6, "1"}, {12, "1"}, {13, "*"}}));
  EXPECT_EQ(GetRunTimeDir(3, source), "*");
  EXPECT_EQ(GetRunTimeDir(3, source), "*");
  EXPECT_EQ(source.searches.size(), 2u);

  // A new definition is looked up afresh.
  SetRunTimeDirDefinition(1, Definition({{4, "1"}, {5, "tool.exe"}, {6, "1"}}));
  EXPECT_EQ(RunTimeDirDefinition(1), Definition({{4, "1"}, {5, "tool.exe"}, {6, "1"}}));
  EXPECT_EQ(GetRunTimeDir(1, source), "D:\\");
  EXPECT_EQ(GetRunTimeDir(0, source), "");
  EXPECT_EQ(GetRunTimeDir(4, source), "");
}

}  // namespace
