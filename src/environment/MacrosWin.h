// The path macros with this machine's values (see Macros.h): registry values,
// the system, Windows and temporary folders, the shell folders, the run-time
// directories, the local time and the user's locale.
#pragma once

#include <windows.h>

#include <string>

#include "environment/Macros.h"

// The expansion the update run calls, after SetInstallFolders.
std::string ExpandMacros(const std::string& text, const std::string& suffix, bool expandDots);
std::string DateText(char code);
std::string ExpandDots(const std::string& path);

// Folder values without a trailing backslash, read afresh at every call.
std::string System16Dir();
// The registered "Fonts" shell folder when it exists, else the Windows folder's "Fonts".
std::string FontDir();
// The stub's own registry key: "OriginDir" and "OriginExe" of its last ordinary start.
extern const char kDynDataKey[];
// Where the stub was last started from (written at every ordinary start);
// the running program's folder when that is not recorded.
std::string OriginDir();
// Registry values with no fall-back: empty when missing.
std::string ProgramFilesDir();
std::string CommonFilesDir();
std::string StartMenuDir();

// What the provider is made of.
DateMoment LocalMoment();
DateLocale UserDateLocale();
// GetFullPathNameA's answer, of any length; the path unchanged when there is none.
std::string FullPathName(const std::string& path);
MacroProvider& SystemMacroProvider();
