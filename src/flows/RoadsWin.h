// The process-wide facts every road reads: the package appended to the
// running executable, whether it is an auto-update program, and which of the
// program's roads this process is on.
#pragma once

#include <string>

#include "flows/Roads.h"
#include "package/PackageReader.h"

// The package appended to the running executable; lives while dispatch runs.
extern TGFileInfo* OwnPackage;
// The package's is-auto-update-program flag.
extern bool ThisIs_AutoUpdateProg;
// The wizard window's class; set by dispatch before the window exists.
extern std::string StubClassName;

// The auto-update program's installed file name from the package header.
std::string AutoUpdateExeName();
// A ".AutoUpdate.X_<name>" wizard window exists: a working copy runs.
bool XCopyWindowExists();
bool IsAutoUpdateLauncher();
bool IsAutoUpdateXCopy();
