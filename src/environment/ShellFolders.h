// The per-user and all-users shell folders: asked of the shell first, built
// from the Windows folder when the shell-folder library, its function or its
// answer is missing. The chains here run over a ShellFolderSource, so they
// are tested natively; ShellFoldersWin.h asks the system.
#pragma once

#include <string>

// Shell folder identifiers, and the flag that makes the shell create a
// missing folder (every question here carries it).
enum : int {
  kCsidlPersonal = 5,
  kCsidlAppData = 26,
  kCsidlCommonAppData = 35,
  kCsidlCommonDocuments = 46,
  kCsidlFlagCreate = 0x8000,
};

class ShellFolderSource {
 public:
  // The shell's folder for the identifier (create flag included); empty when
  // the library, the function or the answer is missing.
  virtual std::string ShellFolderPath(int id) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  // As the system reports it, without a trailing backslash.
  virtual std::string WindowsDir() = 0;
  // The registered owner, or the logon name when none is registered.
  virtual std::string RegisteredOwner() = 0;

 protected:
  ~ShellFolderSource() = default;
};

// Everything up to the last backslash or drive colon, without a trailing
// backslash: "C:\a\b" gives "C:\a", "D:\" and "D:\Docs" give "D:".
std::string ParentFolder(const std::string& folder);

// The Windows folder's "Profiles\" + owner when it exists, else the Windows
// folder (also when the owner is empty).
std::string ProfileFolder(bool add, ShellFolderSource& source);

// Each with a trailing backslash when add, without one otherwise.
std::string UserDir(bool add, ShellFolderSource& source);
std::string DocumentsAndSettingsDir(bool add, ShellFolderSource& source);
std::string AllUsersDir(bool add, ShellFolderSource& source);
std::string UserAppDataDir(bool add, ShellFolderSource& source);
std::string AllUsersAppDataDir(bool add, ShellFolderSource& source);
std::string MyDocumentsDir(bool add, ShellFolderSource& source);
std::string AllUsersDocumentsDir(bool add, ShellFolderSource& source);
std::string UserStartMenuDir(bool add, ShellFolderSource& source);
std::string AllUsersStartMenuDir(bool add, ShellFolderSource& source);
std::string UserDesktopDir(bool add, ShellFolderSource& source);
std::string AllUsersDesktopDir(bool add, ShellFolderSource& source);
