#include "environment/ShellFolders.h"

#include "support/Utils.h"

namespace {

// The empty answer never exists, so it always leads to the fall-back.
bool Exists(const std::string& path, ShellFolderSource& source) {
  return !path.empty() && source.FolderExists(path);
}

std::string Shell(int id, ShellFolderSource& source) { return source.ShellFolderPath(id | kCsidlFlagCreate); }

std::string Windows(bool add, ShellFolderSource& source) { return SetTrailingBackslash(source.WindowsDir(), add); }

// The shell's folder, or the fall-back folder's subfolder `name` (which is
// not tested).
using FallbackBase = std::string (*)(bool add, ShellFolderSource& source);
std::string ShellOr(int id, FallbackBase base, const char* name, bool add, ShellFolderSource& source) {
  std::string folder = Shell(id, source);
  if (!Exists(folder, source)) folder = base(true, source) + name;
  return SetTrailingBackslash(folder, add);
}

// The shell's folder `levels` (1 or 2) up, each step taken only while the
// folder exists, or the fall-back folder when that is no folder.
std::string AncestorOr(int id, int levels, FallbackBase fallback, bool add, ShellFolderSource& source) {
  std::string folder = Shell(id, source);
  for (int i = 0; i < levels && Exists(folder, source); ++i) folder = ParentFolder(folder);
  if (!Exists(folder, source)) folder = fallback(false, source);
  return SetTrailingBackslash(folder, add);
}

}  // namespace

std::string ParentFolder(const std::string& folder) {
  const size_t cut = folder.find_last_of("\\:");
  return SetTrailingBackslash(cut == std::string::npos ? std::string() : folder.substr(0, cut + 1), false);
}

std::string ProfileFolder(bool add, ShellFolderSource& source) {
  // An empty owner would name the folder of all profiles, not one user's.
  const std::string owner = source.RegisteredOwner();
  std::string folder = owner.empty() ? std::string() : Windows(true, source) + "Profiles\\" + owner;
  if (!Exists(folder, source)) folder = Windows(false, source);
  return SetTrailingBackslash(folder, add);
}

std::string UserDir(bool add, ShellFolderSource& source) {
  return AncestorOr(kCsidlPersonal, 1, ProfileFolder, add, source);
}

std::string DocumentsAndSettingsDir(bool add, ShellFolderSource& source) {
  return AncestorOr(kCsidlPersonal, 2, ProfileFolder, add, source);
}

std::string AllUsersDir(bool add, ShellFolderSource& source) {
  return AncestorOr(kCsidlCommonAppData, 1, Windows, add, source);
}

std::string UserAppDataDir(bool add, ShellFolderSource& source) {
  return ShellOr(kCsidlAppData, ProfileFolder, "Application Data", add, source);
}

std::string AllUsersAppDataDir(bool add, ShellFolderSource& source) {
  return ShellOr(kCsidlCommonAppData, Windows, "Application Data", add, source);
}

std::string MyDocumentsDir(bool add, ShellFolderSource& source) {
  return ShellOr(kCsidlPersonal, ProfileFolder, "My Documents", add, source);
}

std::string AllUsersDocumentsDir(bool add, ShellFolderSource& source) {
  return ShellOr(kCsidlCommonDocuments, Windows, "Documents", add, source);
}

// The start menu and desktop are never asked of the shell: they are built
// from the profile folders.
std::string UserStartMenuDir(bool add, ShellFolderSource& source) {
  std::string folder = UserDir(true, source) + "Start Menu";
  if (!Exists(folder, source)) folder = AllUsersStartMenuDir(false, source);
  return SetTrailingBackslash(folder, add);
}

std::string AllUsersStartMenuDir(bool add, ShellFolderSource& source) {
  return SetTrailingBackslash(AllUsersDir(true, source) + "Start Menu", add);
}

std::string UserDesktopDir(bool add, ShellFolderSource& source) {
  std::string folder = UserDir(true, source) + "Desktop";
  if (!Exists(folder, source)) folder = AllUsersDesktopDir(false, source);
  return SetTrailingBackslash(folder, add);
}

std::string AllUsersDesktopDir(bool add, ShellFolderSource& source) {
  return SetTrailingBackslash(AllUsersDir(true, source) + "Desktop", add);
}
