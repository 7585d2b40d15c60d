#include "environment/MacrosWin.h"

#include "environment/FilesWin.h"
#include "environment/RunTimeDirWin.h"
#include "environment/ShellFoldersWin.h"
#include "support/Registry.h"
#include "support/RegistryWin.h"
#include "support/UtilsWin.h"

namespace {

// Of the fonts and the start menu (registry keys are named in any case).
const char kShellFoldersKey[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool FolderExistsAt(const std::string& path) { return FolderExists(path); }

std::string LocaleText(LCTYPE type) {
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, nullptr, 0);
  if (n <= 0) return std::string();
  std::string text(size_t(n), '\0');
  const int got = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, &text[0], n);
  if (got <= 0) return std::string();
  text.resize(size_t(got - 1));  // without its NUL
  return text;
}

class SystemProvider final : public MacroProvider {
 public:
  std::string Value(MacroValue which) override {
    switch (which) {
      case MacroValue::RegisteredOwner: return GetRegisteredOwner();
      case MacroValue::RegisteredOrganization: return GetRegisteredOrganization();
      case MacroValue::WindowsDir: return WindowsDir(false);
      case MacroValue::SystemDir: return SystemDir(false);
      case MacroValue::System16Dir: return System16Dir();
      case MacroValue::ProgramFilesDir: return ProgramFilesDir();
      case MacroValue::CommonFilesDir: return CommonFilesDir();
      case MacroValue::StartMenuDir: return StartMenuDir();
      case MacroValue::FontDir: return FontDir();
      case MacroValue::SourceDir: return ProgramDir(false);
      case MacroValue::OriginDir: return OriginDir();
      case MacroValue::TempDir: return TempDir(false);
      case MacroValue::UserDir: return UserDir(false);
      case MacroValue::UserAppDataDir: return UserAppDataDir(false);
      case MacroValue::MyDocumentsDir: return MyDocumentsDir(false);
      case MacroValue::UserStartMenuDir: return UserStartMenuDir(false);
      case MacroValue::UserDesktopDir: return UserDesktopDir(false);
      case MacroValue::DocumentsAndSettingsDir: return DocumentsAndSettingsDir(false);
      case MacroValue::AllUsersDir: return AllUsersDir(false);
      case MacroValue::AllUsersAppDataDir: return AllUsersAppDataDir(false);
      case MacroValue::AllUsersDocumentsDir: return AllUsersDocumentsDir(false);
      case MacroValue::AllUsersStartMenuDir: return AllUsersStartMenuDir(false);
      case MacroValue::AllUsersDesktopDir: return AllUsersDesktopDir(false);
      case MacroValue::RunTimeDir1: return GetRunTimeDir(1);
      case MacroValue::RunTimeDir2: return GetRunTimeDir(2);
      case MacroValue::RunTimeDir3: return GetRunTimeDir(3);
    }
    return std::string();
  }
  DateMoment Now() override { return LocalMoment(); }
  DateLocale Locale() override { return UserDateLocale(); }
  std::string FullPathName(const std::string& path) override { return ::FullPathName(path); }
};

}  // namespace

const char kDynDataKey[] = "HKEY_CURRENT_USER\\Software\\Kovrex_Dyn_Data";

std::string ExpandMacros(const std::string& text, const std::string& suffix, bool expandDots) {
  return ExpandMacros(text, suffix, expandDots, SystemMacroProvider());
}

std::string DateText(char code) { return DateText(code, LocalMoment(), UserDateLocale()); }

std::string ExpandDots(const std::string& path) { return ExpandDots(path, SystemMacroProvider()); }

std::string System16Dir() { return System16DirFrom(SystemDir(false), WindowsDir(false), FolderExistsAt); }

std::string FontDir() {
  return FontDirFrom(RegReadString(kShellFoldersKey, "Fonts"), WindowsDir(false), FolderExistsAt);
}

std::string OriginDir() {
  const std::string origin = RegReadString(kDynDataKey, "OriginDir");
  return origin.empty() ? ProgramDir(false) : origin;
}

std::string ProgramFilesDir() { return RegReadString(kCurrentVersionKey, "ProgramFilesDir"); }
std::string CommonFilesDir() { return RegReadString(kCurrentVersionKey, "CommonFilesDir"); }
std::string StartMenuDir() { return RegReadString(kShellFoldersKey, "Start Menu"); }

DateMoment LocalMoment() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return DateMoment{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

DateLocale UserDateLocale() {
  DateLocale locale;
  for (int i = 0; i < 12; ++i) locale.monthNames[i] = LocaleText(LCTYPE(LOCALE_SMONTHNAME1 + i));
  locale.dateSeparator = LocaleText(LOCALE_SDATE);
  locale.timeSeparator = LocaleText(LOCALE_STIME);
  return locale;
}

std::string FullPathName(const std::string& path) {
  // Asked for its size first: a path may be longer than any fixed buffer.
  // Twice, in case the current folder changes in between.
  DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  for (int attempt = 0; attempt < 2 && size != 0; ++attempt) {
    std::string full(size, '\0');
    const DWORD n = GetFullPathNameA(path.c_str(), size, &full[0], nullptr);
    if (n == 0) break;
    if (n < size) {
      full.resize(n);
      return full;
    }
    size = n;
  }
  return path;
}

MacroProvider& SystemMacroProvider() {
  static SystemProvider provider;
  return provider;
}
