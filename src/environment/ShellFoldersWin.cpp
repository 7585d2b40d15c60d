#include "environment/ShellFoldersWin.h"

#include <cstring>

#include "environment/FilesWin.h"
#include "support/RegistryWin.h"
#include "support/UtilsWin.h"

namespace {

using GetFolderPathA = HRESULT(WINAPI*)(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path);

class SystemSource final : public ShellFolderSource {
 public:
  std::string ShellFolderPath(int id) override { return ::ShellFolderPath(id); }
  bool FolderExists(const std::string& path) override { return ::FolderExists(path); }
  std::string WindowsDir() override { return ::WindowsDir(false); }
  std::string RegisteredOwner() override { return GetRegisteredOwner(); }
};

}  // namespace

std::string ShellFolderPath(int id) {
  const auto get = reinterpret_cast<GetFolderPathA>(reinterpret_cast<void*>(LoadProc("SHFolder.dll", "SHGetFolderPathA")));
  if (!get) return std::string();
  // The function writes at most MAX_PATH characters; the rest stays zero.
  char buffer[1025] = {};
  // Flags 0: the folder as it is now, not its default.
  if (get(nullptr, id, nullptr, 0, buffer) != S_OK) return std::string();
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

ShellFolderSource& SystemShellFolders() {
  static SystemSource source;
  return source;
}

std::string UserDir(bool add) { return UserDir(add, SystemShellFolders()); }
std::string DocumentsAndSettingsDir(bool add) { return DocumentsAndSettingsDir(add, SystemShellFolders()); }
std::string AllUsersDir(bool add) { return AllUsersDir(add, SystemShellFolders()); }
std::string UserAppDataDir(bool add) { return UserAppDataDir(add, SystemShellFolders()); }
std::string AllUsersAppDataDir(bool add) { return AllUsersAppDataDir(add, SystemShellFolders()); }
std::string MyDocumentsDir(bool add) { return MyDocumentsDir(add, SystemShellFolders()); }
std::string AllUsersDocumentsDir(bool add) { return AllUsersDocumentsDir(add, SystemShellFolders()); }
std::string UserStartMenuDir(bool add) { return UserStartMenuDir(add, SystemShellFolders()); }
std::string AllUsersStartMenuDir(bool add) { return AllUsersStartMenuDir(add, SystemShellFolders()); }
std::string UserDesktopDir(bool add) { return UserDesktopDir(add, SystemShellFolders()); }
std::string AllUsersDesktopDir(bool add) { return AllUsersDesktopDir(add, SystemShellFolders()); }
