// The run-time directories of this machine (see RunTimeDir.h): App Paths and
// other registry values, and searches of the fixed and network drives.
#pragma once

#include <windows.h>

#include <string>

#include "environment/RunTimeDir.h"

// The registry and the drive searches of FilesWin.h.
RunTimeDirSource& SystemRunTimeDirSource();

std::string AppPathsDir(const std::string& exeName);
std::string RegistryPathValue(const std::string& path);
std::string FindRunTimeDir(const std::string& definition);
// Looked up once per index and process; see RunTimeDir.h.
std::string GetRunTimeDir(int index);
