#include "flows/RoadsWin.h"

#include <windows.h>

#include "support/UtilsWin.h"

TGFileInfo* OwnPackage = nullptr;
bool ThisIs_AutoUpdateProg = false;
std::string StubClassName = "Stub";

std::string AutoUpdateExeName() { return OwnPackage ? OwnPackage->AutoUpdateExeName() : std::string(); }

bool XCopyWindowExists() {
  return FindWindowA(XCopyClassNameFor(AutoUpdateExeName()).c_str(), kWizardTitle) != nullptr;
}

bool IsAutoUpdateLauncher() {
  return IsAutoUpdateLauncherFor(ThisIs_AutoUpdateProg, ProgramFile(), AutoUpdateExeName());
}

bool IsAutoUpdateXCopy() { return IsAutoUpdateXCopyFor(ThisIs_AutoUpdateProg, ProgramFile(), AutoUpdateExeName()); }
