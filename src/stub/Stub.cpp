// Mode dispatch: the single-instance test and the three roads.
#include "stub/Stub.h"

#include <windows.h>

#include "package/PackX.h"
#include "stub/StubRoads.h"
#include "stub/StubWin.h"
#include "stub/StubWinUtil.h"
#include "support/UtilsRegistry.h"
#include "support/UtilsWin.h"
#include "environment/Files.h"
#include "update/Common.h"

TGFileInfo* OwnPackage = nullptr;
bool ThisIs_AutoUpdateProg = false;
std::string StubClassName = "Stub";

namespace {

const char kDynDataKey[] = "HKEY_CURRENT_USER\\Software\\Kovrex_Dyn_Data";

std::string AutoUpdateExeName() { return OwnPackage ? OwnPackage->AutoUpdateExeName() : std::string(); }

}  // namespace

bool XCopyWindowExists() {
  return FindWindowA(XCopyClassNameFor(AutoUpdateExeName()).c_str(), kWizardTitle) != nullptr;
}

bool IsAutoUpdateLauncher() {
  return IsAutoUpdateLauncherFor(ThisIs_AutoUpdateProg, ProgramFile(), AutoUpdateExeName());
}

bool IsAutoUpdateXCopy() { return IsAutoUpdateXCopyFor(ThisIs_AutoUpdateProg, ProgramFile(), AutoUpdateExeName()); }

void DispatchMode() {
  StubClassName = StubClassNameFor(ThisIs_AutoUpdateProg, ProgramFile());
  const bool xCopyWindowExisted = XCopyWindowExists();

  // Single-instance test: a window of our own class means another instance runs.
  if (!FindWindowA(StubClassName.c_str(), kWizardTitle)) {
    switch (ChooseRoad(ThisIs_AutoUpdateProg, ProgramFile(), AutoUpdateExeName())) {
      case StubRoad::AutoUpdateLauncher:
        CreateAndRun_X_Exe();
        break;
      case StubRoad::AutoUpdateXCopy:
        ReadTestMode(true);
        RunWizardWindow();
        SelfRemove(false, false);
        break;
      case StubRoad::Ordinary:
        RegWriteString(kDynDataKey, "OriginDir", ProgramDir(false));
        RegWriteString(kDynDataKey, "OriginExe", ProgramFile());
        RunWizardWindow();
        break;
    }
  }
  if (IsAutoUpdateLauncher()) ForwardSwitchesToXCopy(xCopyWindowExisted);
}
