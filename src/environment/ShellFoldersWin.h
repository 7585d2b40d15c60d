// The shell folders of this machine (see ShellFolders.h): the shell is asked
// through SHGetFolderPathA of "SHFolder.dll", bound at run time from the
// system folder on every question; nothing is remembered.
#pragma once

#include <windows.h>

#include <string>

#include "environment/ShellFolders.h"

// The shell's answer for the identifier (pass the create flag with it);
// empty when the library, the function or the answer is missing.
std::string ShellFolderPath(int id);
// The system's answers for the chains of ShellFolders.h.
ShellFolderSource& SystemShellFolders();

std::string UserDir(bool add);
std::string DocumentsAndSettingsDir(bool add);
std::string AllUsersDir(bool add);
std::string UserAppDataDir(bool add);
std::string AllUsersAppDataDir(bool add);
std::string MyDocumentsDir(bool add);
std::string AllUsersDocumentsDir(bool add);
std::string UserStartMenuDir(bool add);
std::string AllUsersStartMenuDir(bool add);
std::string UserDesktopDir(bool add);
std::string AllUsersDesktopDir(bool add);
