// The Win32 side of Utils: the running program, system folders, run-time
// binding, message pumping and the process's own command line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/Utils.h"

std::string ProgramFile();
std::string ProgramDir(bool add);
std::string WindowsDir(bool add);
std::string SystemDir(bool add);
std::string TempDir(bool add);
bool IsWinNT();

// Limits the library search of the whole process to the system folder
// (SetDefaultDllDirectories, where it exists), so that the loads by name that
// system libraries make themselves (version, uxtheme, dwmapi, cryptbase and
// others) cannot pick up a planted file beside the program. Where it does not
// exist, the current folder at least leaves the search. Called first thing in
// the entry; true when the search is limited to the system folder.
bool RestrictLibrarySearch();

// Loads a library from the system folder only, never from the program's own
// folder or the current one, so a planted DLL beside a downloaded stub is not
// picked up. Returns null (a handle below 33 counts as failure) when missing.
HMODULE LoadSystemLibrary(const char* library);
FARPROC LoadProc(const char* library, const char* name);

// A file's size (-1 on failure) and moving its pointer (method FILE_BEGIN,
// FILE_CURRENT or FILE_END), 64-bit, through the calls of every Windows
// version: the *Ex forms came with Windows 2000, and one missing import
// keeps the whole program from loading.
int64_t FileSizeOfHandle(HANDLE file);
bool SeekFile(HANDLE file, int64_t offset, DWORD method);

// Handles one waiting message; false when none was waiting or it was the
// quit message (which stays for the message loop).
bool PumpMessage();
// Handles the messages waiting now (a bounded number).
void PumpWaitingMessages();
// True once a pump has met the quit message: the program is ending (its
// window was closed), so long work should stop rather than go on unseen.
bool QuitRequested();
// Waits ms milliseconds while keeping the thread's windows responsive.
void WaitPumping(uint32_t ms);

std::string CommandTail();
std::string SwitchValue(const char* switchText);
bool HasSwitch(const char* switchText);
int64_t SwitchInt(const char* switchText, int64_t def);
