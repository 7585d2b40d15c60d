// Process-wide state of the entry, read by the other modules while the
// mode dispatch runs.
#pragma once

#include <string>

class TGFileInfo;

// The package appended to the running executable; lives while dispatch runs.
extern TGFileInfo* OwnPackage;
// The package's is-auto-update-program flag.
extern bool ThisIs_AutoUpdateProg;
// The wizard window's class; set by dispatch before the window exists.
extern std::string StubClassName;

bool XCopyWindowExists();
bool IsAutoUpdateLauncher();
bool IsAutoUpdateXCopy();
void DispatchMode();
