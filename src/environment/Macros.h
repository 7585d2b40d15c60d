// Path macros: names in angle brackets ("<InstallDir>", "<WinSysDir>", ...)
// in a settings path, turned into folders of this machine. The expansion here
// runs over the values a MacroProvider supplies, so it needs no operating
// system; MacrosWin.h has the provider that asks the system and the calls the
// update run makes.
#pragma once

#include <cstdint>
#include <string>

// The machine's values the macro table needs. Folders come without a
// trailing backslash unless the system reports one (a drive's root).
enum class MacroValue : uint8_t {
  RegisteredOwner,         // "<UserName>"
  RegisteredOrganization,  // "<CompanyName>"
  WindowsDir,
  SystemDir,
  System16Dir,
  ProgramFilesDir,
  CommonFilesDir,
  StartMenuDir,
  FontDir,
  SourceDir,  // the running program's folder ("<SrcDir>")
  OriginDir,
  TempDir,
  // The shell folders.
  UserDir,
  UserAppDataDir,
  MyDocumentsDir,
  UserStartMenuDir,
  UserDesktopDir,
  DocumentsAndSettingsDir,
  AllUsersDir,
  AllUsersAppDataDir,
  AllUsersDocumentsDir,
  AllUsersStartMenuDir,
  AllUsersDesktopDir,
  // The run-time directories; asked for only when the text holds their macro.
  RunTimeDir1,
  RunTimeDir2,
  RunTimeDir3,
};

// A local date and time.
struct DateMoment {
  int year, month, day, hour, minute, second;
};

// What the user's locale contributes to the date macro.
struct DateLocale {
  std::string monthNames[12];  // full names, January first
  std::string dateSeparator;   // written for "/" of a pattern
  std::string timeSeparator;   // written for ":"
};

class MacroProvider {
 public:
  virtual std::string Value(MacroValue which) = 0;
  virtual DateMoment Now() = 0;
  virtual DateLocale Locale() = 0;
  // The full form of a path: "." and ".." resolved, a relative path made
  // absolute against the current folder.
  virtual std::string FullPathName(const std::string& path) = 0;

 protected:
  ~MacroProvider() = default;
};

// --- Process-wide state ----------------------------------------------------
// The application (target), common (shared) and auxiliary folders, used
// exactly as given (no trailing backslash added or removed).
void SetInstallFolders(const std::string& application, const std::string& common, const std::string& auxiliary);
// A delimited key=value list whose keys are macro names with their brackets
// ("|<Name>=value|"). Shorter than three characters it counts as empty; it
// starts as the single byte 255.
void SetCustomMacros(const std::string& list);
const std::string& CustomMacros();
// Gives the value the user entered during an installation for "UserName" or
// "CompanyName". Unset (null) at start: those values are then empty.
using EnteredValueProvider = std::string (*)(const std::string& name);
void SetEnteredValueProvider(EnteredValueProvider provider);

// --- Expansion -------------------------------------------------------------
// Replaces every macro of the table, in table order, appending suffix to the
// value of most folder macros, and resolves "." and ".." when expandDots.
// A text without macros and without ".." comes back unchanged.
std::string ExpandMacros(const std::string& text, const std::string& suffix, bool expandDots,
                         MacroProvider& provider);
// Replaces each "<...>" that the custom table names by its value, left to
// right; an inserted value is never looked at again.
std::string ExpandCustomMacros(const std::string& text);
// The first "<Date=c>" of the text replaced by DateText(c); a later one, or
// one with an unknown code, stays as written.
std::string ExpandDateMacro(const std::string& text, const DateMoment& now, const DateLocale& locale);
// "#": dd/mmmm/yyyy; "0": whole days between 1 January 2000 and now;
// "1".."7": dd-mm-yy, mm-dd-yy, yy-mm-dd, dd-mm-yyyy, mm-dd-yyyy,
// yyyy-mm-dd, yyyy-mm-dd hh:nn:ss. Any other code gives the empty text.
std::string DateText(char code, const DateMoment& now, const DateLocale& locale);
// The full form of the path when ".." occurs in it; a list starting with ","
// or "|" has each field holding ".." resolved on its own.
std::string ExpandDots(const std::string& path, MacroProvider& provider);

// --- Folder-value decisions (the system facts are given) ------------------
using FolderExistsFunction = bool (*)(const std::string& path);
// The 16-bit system folder: the system folder without its last "32" when that
// exists, else the Windows folder's "System", else the system folder.
std::string System16DirFrom(const std::string& systemDir, const std::string& windowsDir, FolderExistsFunction exists);
// The registered fonts folder when it exists, else the Windows folder's "Fonts".
std::string FontDirFrom(const std::string& registeredFonts, const std::string& windowsDir,
                        FolderExistsFunction exists);
