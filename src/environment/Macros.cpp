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
  const char* macro;
  From from;
  MacroValue value;
  Shape shape;
};

using V = MacroValue;

// Group 2: absolute locations, replaced after the snapshot. The run-time
// directories come first and are handled apart (looked up on demand).
const Step kRunTimeSteps[] = {
    {"<RunTimeDir_1>", From::Provider, V::RunTimeDir1, Shape::PlusSuffix},
    {"<RunTimeDir_2>", From::Provider, V::RunTimeDir2, Shape::PlusSuffix},
    {"<RunTimeDir_3>", From::Provider, V::RunTimeDir3, Shape::PlusSuffix},
};
const Step kAbsoluteSteps[] = {
    {"<Application Folder>", From::Application, V::WindowsDir, Shape::PlusSuffix},
    {"<Common Folder>", From::Common, V::WindowsDir, Shape::PlusSuffix},
    {"<Auxiliary Folder>", From::Auxiliary, V::WindowsDir, Shape::PlusSuffix},
    {"<Windows Directory>", From::Provider, V::WindowsDir, Shape::Backslash},
    {"<System Directory>", From::Provider, V::SystemDir, Shape::Backslash},
    {"<System16 Directory>", From::Provider, V::System16Dir, Shape::PlusSuffix},
};
// Groups 3 and 4, after the install-folder rule.
const Step kFolderSteps[] = {
    {"<AbsoluteDir>", From::Nothing, V::WindowsDir, Shape::AsIs},
    {"<InstallDir>", From::Application, V::WindowsDir, Shape::PlusSuffix},
    {"<InstallCommonDir>", From::Common, V::WindowsDir, Shape::PlusSuffix},
    {"<InstallAuxDir>", From::Auxiliary, V::WindowsDir, Shape::PlusSuffix},
    {"<InstallDrive>", From::Application, V::WindowsDir, Shape::DrivePlusSuffix},
    {"<WinDir>", From::Provider, V::WindowsDir, Shape::PlusSuffix},
    {"<WinSysDir>", From::Provider, V::SystemDir, Shape::PlusSuffix},
    {"<WinSys32Dir>", From::Provider, V::SystemDir, Shape::PlusSuffix},
    {"<WinSys16Dir>", From::Provider, V::System16Dir, Shape::PlusSuffix},
    {"<WinDisk>", From::Provider, V::WindowsDir, Shape::DrivePlusSuffix},
    {"<WinDrive>", From::Provider, V::WindowsDir, Shape::DrivePlusSuffix},
    {"<WinSysDisk>", From::Provider, V::SystemDir, Shape::DrivePlusSuffix},
    {"<WinSysDrive>", From::Provider, V::SystemDir, Shape::DrivePlusSuffix},
    {"<ProgramFilesDir>", From::Provider, V::ProgramFilesDir, Shape::PlusSuffix},
    {"<CommonFilesDir>", From::Provider, V::CommonFilesDir, Shape::PlusSuffix},
    {"<StartMenuDir>", From::Provider, V::StartMenuDir, Shape::PlusSuffix},
    {"<FontDir>", From::Provider, V::FontDir, Shape::PlusSuffix},
    {"<SrcDir>", From::Provider, V::SourceDir, Shape::PlusSuffix},
    {"<OriginDir>", From::Provider, V::OriginDir, Shape::PlusSuffix},
    {"<OriginDrive>", From::Provider, V::OriginDir, Shape::DrivePlusSuffix},
    {"<TempDir>", From::Provider, V::TempDir, Shape::PlusSuffix},
    // The shell folders.
    {"<UserDir>", From::Provider, V::UserDir, Shape::PlusSuffix},
    {"<UserAppDataDir>", From::Provider, V::UserAppDataDir, Shape::PlusSuffix},
    {"<MyDocumentsDir>", From::Provider, V::MyDocumentsDir, Shape::PlusSuffix},
    {"<UserStartMenuDir>", From::Provider, V::UserStartMenuDir, Shape::PlusSuffix},
    {"<UserDesktopDir>", From::Provider, V::UserDesktopDir, Shape::PlusSuffix},
    {"<DocumentsAndSettingsDir>", From::Provider, V::DocumentsAndSettingsDir, Shape::PlusSuffix},
    {"<AllUsersDir>", From::Provider, V::AllUsersDir, Shape::PlusSuffix},
    {"<AllUsersAppDataDir>", From::Provider, V::AllUsersAppDataDir, Shape::PlusSuffix},
    {"<AllUsersDocumentsDir>", From::Provider, V::AllUsersDocumentsDir, Shape::PlusSuffix},
    {"<AllUsersStartMenuDir>", From::Provider, V::AllUsersStartMenuDir, Shape::PlusSuffix},
    {"<AllUsersDesktopDir>", From::Provider, V::AllUsersDesktopDir, Shape::PlusSuffix},
};

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

// Every value is computed, whether or not the text holds its macro: the
// shell's answers may create missing folders, which callers may count on.
template <size_t N>
void ReplaceSteps(std::string& work, const Step (&steps)[N], const std::string& suffix, MacroProvider& provider) {
  for (const Step& step : steps) ReplaceMacro(work, step.macro, StepValue(step, suffix, provider));
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
  for (const Step& step : kRunTimeSteps)
    if (HoldsMacro(work, step.macro)) work = ReplaceAll(work, step.macro, StepValue(step, suffix, provider), true);
  ReplaceSteps(work, kAbsoluteSteps, suffix, provider);
  // A text that names an absolute location keeps no "<InstallDir>".
  if (work != snapshot) ReplaceMacro(work, "<InstallDir>", "");
  ReplaceSteps(work, kFolderSteps, suffix, provider);

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
  static const char* const kPatterns[] = {"d-m-y", "m-d-y", "y-m-d", "d-m-Y", "m-d-Y", "Y-m-d", "Y-m-d H:M:S"};
  const char* pattern = code == '#' ? "d/N/Y" : code >= '1' && code <= '7' ? kPatterns[code - '1'] : "";
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
