// Whole-file and whole-folder operations, and self-removal of the program.
#pragma once

#include <string>

// --- Portable path rules -----------------------------------------------------
// The file name without its folder and without its last extension.
std::string FileTitle(const std::string& path);
// The file name: the part after the last backslash or drive colon.
std::string FileNamePart(const std::string& path);

// --- Win32 ---------------------------------------------------------------------
// Writes and starts the "_DEL_ME_.BAT" batch that deletes the running program's
// file once its process has ended, then itself.
void SelfRemove(bool removeFolder, bool shortNames);
