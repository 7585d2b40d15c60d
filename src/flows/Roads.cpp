#include "flows/Roads.h"

#include "support/Utils.h"

const char kWizardTitle[] = "Setup Installation Wizard";

std::string StubClassNameFor(bool isAutoUpdateProg, const std::string& programFile) {
  return isAutoUpdateProg ? ".AutoUpdate." + FileTitle(programFile) : programFile;
}

std::string XCopyClassNameFor(const std::string& autoUpdateExeName) {
  return ".AutoUpdate.X_" + FileTitle(autoUpdateExeName);
}

bool IsAutoUpdateLauncherFor(bool isAutoUpdateProg, const std::string& programFile,
                             const std::string& autoUpdateExeName) {
  return isAutoUpdateProg && TextEquals(FileNamePart(programFile), autoUpdateExeName);
}

bool IsAutoUpdateXCopyFor(bool isAutoUpdateProg, const std::string& programFile,
                          const std::string& autoUpdateExeName) {
  return isAutoUpdateProg && TextEquals(FileNamePart(programFile), "X_" + autoUpdateExeName);
}

StubRoad ChooseRoad(bool isAutoUpdateProg, const std::string& programFile, const std::string& autoUpdateExeName) {
  if (IsAutoUpdateLauncherFor(isAutoUpdateProg, programFile, autoUpdateExeName)) return StubRoad::AutoUpdateLauncher;
  if (IsAutoUpdateXCopyFor(isAutoUpdateProg, programFile, autoUpdateExeName)) return StubRoad::AutoUpdateXCopy;
  return StubRoad::Ordinary;
}
