#include "stub/DispatchWin.h"

#include <windows.h>

#include "environment/FilesWin.h"
#include "environment/MacrosWin.h"
#include "flows/RelaunchChainWin.h"
#include "flows/RoadsWin.h"
#include "stub/WizardWindowWin.h"
#include "support/RegistryWin.h"
#include "support/UtilsWin.h"
#include "update/SettingsWin.h"

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
        ApplyReceivedOverrides();
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
