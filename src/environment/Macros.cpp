#include "environment/Macros.h"

#include <cstdint>
#include <cstring>

#include "support/Utils.h"

namespace {

std::string gApplicationFolder, gCommonFolder, gAuxiliaryFolder;
std::string gCustomMacros(1, '\xFF');
EnteredValueProvider gEnteredValue = nullptr;

// Where a macro's value comes from, and how it is shaped.
enum class From : uint8_t { Provider, Application, Common, Auxiliary, Nothing };
enum class Shape : uint8_t {
  PlusSuffix,       // the value + suffix
  Backslash,        // the value with exactly one trailing backslash, no suffix
  DrivePlusSuffix,  // the value's first two characters + suffix
  AsIs,
};
struct Step {
  From from;
  MacroValue value;
  Shape shape;
};

using V = MacroValue;

// Each table is one list, expanded twice: the macro names as one text
// ("<A>\0<B>\0...", ending in an empty name) and the steps as bytes in the
// same order. A pointer to each name would cost the 32-bit stub four bytes
// and a relocation apiece.
#define KOVREX_MACRO_NAME(name, from, value, shape) name "\0"
#define KOVREX_MACRO_STEP(name, from, value, shape) {From::from, V::value, Shape::shape},

// Group 2: absolute locations, replaced after the snapshot. The run-time
// directories come first and are handled apart (looked up on demand).
#define KOVREX_RUNTIME_STEPS(X)                           \
  X("<RunTimeDir_1>", Provider, RunTimeDir1, PlusSuffix)  \
  X("<RunTimeDir_2>", Provider, RunTimeDir2, PlusSuffix)  \
  X("<RunTimeDir_3>", Provider, RunTimeDir3, PlusSuffix)
#define KOVREX_ABSOLUTE_STEPS(X)                                  \
  X("<Application Folder>", Application, WindowsDir, PlusSuffix)  \
  X("<Common Folder>", Common, WindowsDir, PlusSuffix)            \
  X("<Auxiliary Folder>", Auxiliary, WindowsDir, PlusSuffix)      \
  X("<Windows Directory>", Provider, WindowsDir, Backslash)       \
  X("<System Directory>", Provider, SystemDir, Backslash)         \
  X("<System16 Directory>", Provider, System16Dir, PlusSuffix)
// Groups 3 and 4, after the install-folder rule.
#define KOVREX_FOLDER_STEPS(X)                                                   \
  X("<AbsoluteDir>", Nothing, WindowsDir, AsIs)                                  \
  X("<InstallDir>", Application, WindowsDir, PlusSuffix)                         \
  X("<InstallCommonDir>", Common, WindowsDir, PlusSuffix)                        \
  X("<InstallAuxDir>", Auxiliary, WindowsDir, PlusSuffix)                        \
  X("<InstallDrive>", Application, WindowsDir, DrivePlusSuffix)                  \
  X("<WinDir>", Provider, WindowsDir, PlusSuffix)                                \
  X("<WinSysDir>", Provider, SystemDir, PlusSuffix)                              \
  X("<WinSys32Dir>", Provider, SystemDir, PlusSuffix)                            \
  X("<WinSys16Dir>", Provider, System16Dir, PlusSuffix)                          \
  X("<WinDisk>", Provider, WindowsDir, DrivePlusSuffix)                          \
  X("<WinDrive>", Provider, WindowsDir, DrivePlusSuffix)                         \
  X("<WinSysDisk>", Provider, SystemDir, DrivePlusSuffix)                        \
  X("<WinSysDrive>", Provider, SystemDir, DrivePlusSuffix)                       \
  X("<ProgramFilesDir>", Provider, ProgramFilesDir, PlusSuffix)                  \
  X("<CommonFilesDir>", Provider, CommonFilesDir, PlusSuffix)                    \
  X("<StartMenuDir>", Provider, StartMenuDir, PlusSuffix)                        \
  X("<FontDir>", Provider, FontDir, PlusSuffix)                                  \
  X("<SrcDir>", Provider, SourceDir, PlusSuffix)                                 \
  X("<OriginDir>", Provider, OriginDir, PlusSuffix)                              \
  X("<OriginDrive>", Provider, OriginDir, DrivePlusSuffix)                       \
  X("<TempDir>", Provider, TempDir, PlusSuffix)                                  \
  /* The shell folders. */                                                       \
  X("<UserDir>", Provider, UserDir, PlusSuffix)                                  \
  X("<UserAppDataDir>", Provider, UserAppDataDir, PlusSuffix)                    \
  X("<MyDocumentsDir>", Provider, MyDocumentsDir, PlusSuffix)                    \
  X("<UserStartMenuDir>", Provider, UserStartMenuDir, PlusSuffix)                \
  X("<UserDesktopDir>", Provider, UserDesktopDir, PlusSuffix)                    \
  X("<DocumentsAndSettingsDir>", Provider, DocumentsAndSettingsDir, PlusSuffix)  \
  X("<AllUsersDir>", Provider, AllUsersDir, PlusSuffix)                          \
  X("<AllUsersAppDataDir>", Provider, AllUsersAppDataDir, PlusSuffix)            \
  X("<AllUsersDocumentsDir>", Provider, AllUsersDocumentsDir, PlusSuffix)        \
  X("<AllUsersStartMenuDir>", Provider, AllUsersStartMenuDir, PlusSuffix)        \
  X("<AllUsersDesktopDir>", Provider, AllUsersDesktopDir, PlusSuffix)

const char kRunTimeNames[] = KOVREX_RUNTIME_STEPS(KOVREX_MACRO_NAME);
const Step kRunTimeSteps[] = {KOVREX_RUNTIME_STEPS(KOVREX_MACRO_STEP)};
const char kAbsoluteNames[] = KOVREX_ABSOLUTE_STEPS(KOVREX_MACRO_NAME);
const Step kAbsoluteSteps[] = {KOVREX_ABSOLUTE_STEPS(KOVREX_MACRO_STEP)};
const char kFolderNames[] = KOVREX_FOLDER_STEPS(KOVREX_MACRO_NAME);
const Step kFolderSteps[] = {KOVREX_FOLDER_STEPS(KOVREX_MACRO_STEP)};

std::string StepValue(const Step& step, const std::string& suffix, MacroProvider& provider) {
  std::string value;
  switch (step.from) {
    case From::Provider: value = provider.Value(step.value); break;
    case From::Application: value = gApplicationFolder; break;
    case From::Common: value = gCommonFolder; break;
    case From::Auxiliary: value = gAuxiliaryFolder; break;
    case From::Nothing: break;
  }
  switch (step.shape) {
    case Shape::PlusSuffix: return value + suffix;
    case Shape::Backslash: return SetTrailingBackslash(value, true);
    case Shape::DrivePlusSuffix: return value.substr(0, 2) + suffix;
    case Shape::AsIs: break;
  }
  return value;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Whether the macro (which starts with "<") occurs, ignoring case, without
// copying the text: most steps find nothing to replace.
bool HoldsMacro(const std::string& text, const char* macro) {
  const size_t m = std::strlen(macro);
  for (size_t i = text.find('<'); i != std::string::npos && i + m <= text.size(); i = text.find('<', i + 1)) {
    size_t k = 1;
    while (k < m && Upper(text[i + k]) == Upper(macro[k])) ++k;
    if (k == m) return true;
  }
  return false;
}

void ReplaceMacro(std::string& work, const char* macro, const std::string& value) {
  if (HoldsMacro(work, macro)) work = ReplaceAll(work, macro, value, true);
}

// Every value is computed, whether or not the text holds its macro (the
// shell's answers may create missing folders, which callers may count on),
// unless onlyWhenHeld.
void ReplaceSteps(std::string& work, const char* names, const Step* step, const std::string& suffix,
                  MacroProvider& provider, bool onlyWhenHeld = false) {
  for (const char* macro = names; *macro; macro = NextName(macro), ++step)
    if (!onlyWhenHeld || HoldsMacro(work, macro)) ReplaceMacro(work, macro, StepValue(*step, suffix, provider));
}

std::string EnteredValue(const char* name) { return gEnteredValue ? gEnteredValue(name) : std::string(); }

std::string CustomMacroValue(const std::string& token) {
  std::string key = ReplaceAll("<" + token + ">", "<<", "<", false);
  key = ReplaceAll(key, ">>", ">", false);
  return GetListValue(gCustomMacros, key, token);
}

// Appends n in decimal with zeros in front up to width characters.
void AppendPadded(std::string& text, int n, size_t width) {
  const std::string digits = IntToText(n);
  if (digits.size() < width) text.append(width - digits.size(), '0');
  text += digits;
}

std::string DaysSince2000(const DateMoment& now) {
  const int64_t seconds = (DaysFromCivil(now.year, now.month, now.day) - DaysFromCivil(2000, 1, 1)) * 86400 +
                          int64_t(now.hour) * 3600 + int64_t(now.minute) * 60 + now.second;
  uint64_t rest;
  return IntToText(int64_t(DivMod64(seconds < 0 ? 0 - uint64_t(seconds) : uint64_t(seconds), 86400, rest)));
}

}  // namespace

void SetInstallFolders(const std::string& application, const std::string& common, const std::string& auxiliary) {
  gApplicationFolder = application;
  gCommonFolder = common;
  gAuxiliaryFolder = auxiliary;
}

void SetCustomMacros(const std::string& list) { gCustomMacros = list; }
const std::string& CustomMacros() { return gCustomMacros; }
void SetEnteredValueProvider(EnteredValueProvider provider) { gEnteredValue = provider; }

std::string ExpandMacros(const std::string& text, const std::string& suffix, bool expandDots,
                         MacroProvider& provider) {
  if (text.empty()) return text;
  std::string work = ExpandCustomMacros(text);
  if (PosCI("<Date=", work) != 0) work = ExpandDateMacro(work, provider.Now(), provider.Locale());

  ReplaceMacro(work, "<UserName>", provider.Value(MacroValue::RegisteredOwner));
  ReplaceMacro(work, "<CompanyName>", provider.Value(MacroValue::RegisteredOrganization));
  ReplaceMacro(work, "<EnteredUserName>", EnteredValue("UserName"));
  ReplaceMacro(work, "<EnteredCompanyName>", EnteredValue("CompanyName"));
  const std::string snapshot = work;

  // Only these are looked up on demand: the lookup may search whole drives.
  ReplaceSteps(work, kRunTimeNames, kRunTimeSteps, suffix, provider, true);
  ReplaceSteps(work, kAbsoluteNames, kAbsoluteSteps, suffix, provider);
  // A text that names an absolute location keeps no "<InstallDir>".
  if (work != snapshot) ReplaceMacro(work, "<InstallDir>", "");
  ReplaceSteps(work, kFolderNames, kFolderSteps, suffix, provider);

  // Only the joins the expansion made are tidied; a text that no macro
  // changed keeps its doubled backslashes.
  std::string result = work != snapshot ? CollapseBackslashes(work) : work;
  return expandDots ? ExpandDots(result, provider) : result;
}

std::string ExpandCustomMacros(const std::string& text) {
  // With the table empty every token would be replaced by itself.
  if (gCustomMacros.size() < 3) return text;
  std::string work = text;
  size_t pos = 0;
  for (;;) {
    pos = work.find('<', pos);
    if (pos == std::string::npos) break;
    const size_t close = work.find('>', pos);
    if (close == std::string::npos) break;
    const std::string token = work.substr(pos, close - pos + 1);
    const std::string value = CustomMacroValue(token);
    work.replace(pos, token.size(), value);
    // Past the inserted value: a value holding its own macro is not expanded
    // again (and cannot grow the text without end).
    pos += value.size();
  }
  return work;
}

std::string ExpandDateMacro(const std::string& text, const DateMoment& now, const DateLocale& locale) {
  const int p = PosCI("<Date=", text);
  if (p == 0 || PosFrom(">", text, p) == 0) return text;
  std::string work = text;
  const size_t at = size_t(p) - 1;
  work.erase(at, 6);
  const char code = work[at];  // a ">" follows, so there is a character here
  if (code != '#' && (code < '0' || code > '7')) return text;
  work.erase(at, 2);
  work.insert(at, DateText(code, now, locale));
  return work;
}

std::string DateText(char code, const DateMoment& now, const DateLocale& locale) {
  if (code == '0') return DaysSince2000(now);
  // Field letters: d m y (two digits), Y (four), H M S, N the month's name;
  // '/' and ':' are the locale's separators.
  static const char kPatterns[] = "d-m-y\0m-d-y\0y-m-d\0d-m-Y\0m-d-Y\0Y-m-d\0Y-m-d H:M:S";
  const char* pattern = code == '#' ? "d/N/Y" : code >= '1' && code <= '7' ? NthName(kPatterns, code - '1') : "";
  std::string text;
  for (const char* p = pattern; *p; ++p) {
    switch (*p) {
      case 'd': AppendPadded(text, now.day, 2); break;
      case 'm': AppendPadded(text, now.month, 2); break;
      case 'y': AppendPadded(text, (now.year % 100 + 100) % 100, 2); break;
      case 'Y': AppendPadded(text, now.year, 4); break;
      case 'H': AppendPadded(text, now.hour, 2); break;
      case 'M': AppendPadded(text, now.minute, 2); break;
      case 'S': AppendPadded(text, now.second, 2); break;
      case 'N':
        if (now.month >= 1 && now.month <= 12) text += locale.monthNames[now.month - 1];
        break;
      case '/': text += locale.dateSeparator; break;
      case ':': text += locale.timeSeparator; break;
      default: text += *p;
    }
  }
  return text;
}

std::string ExpandDots(const std::string& path, MacroProvider& provider) {
  if (Pos("..", path) == 0) return path;
  const bool listForm = path[0] == ',' || path[0] == '|';
  const int count = listForm ? FieldCount(path) : 0;
  if (count <= 0) return provider.FullPathName(path);
  // Last field first: a full form that holds the delimiter (a folder named
  // "a,b") then cannot shift a field that is still to be resolved.
  std::string list = path;
  for (int i = count - 1; i >= 0; --i) {
    const std::string field = GetField(list, i);
    if (Pos("..", field) != 0) list = SetField(list, i, provider.FullPathName(field));
  }
  return list;
}

std::string System16DirFrom(const std::string& systemDir, const std::string& windowsDir, FolderExistsFunction exists) {
  std::string candidate = systemDir;
  const int p = LastPos("32", candidate);
  if (p != 0) candidate.erase(size_t(p) - 1, 2);
  if (exists(candidate)) return candidate;
  const std::string system = SetTrailingBackslash(windowsDir, true) + "System";
  if (exists(system)) return system;
  return systemDir;
}

std::string FontDirFrom(const std::string& registeredFonts, const std::string& windowsDir,
                        FolderExistsFunction exists) {
  if (!registeredFonts.empty() && exists(registeredFonts)) return registeredFonts;
  return SetTrailingBackslash(windowsDir, true) + "Fonts";
}
