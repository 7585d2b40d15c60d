#include "flows/RelaunchChain.h"

#include "support/Utils.h"

std::string WorkingCopyPath(const std::string& launcherFile) {
  return SetTrailingBackslash(FolderPart(launcherFile), true) + "X_" + FileNamePart(launcherFile);
}

std::string WorkingCopyCommand(const std::string& workingCopyPath, const std::string& transient,
                               const std::string& delay) {
  std::string command = QuoteProgramPath(workingCopyPath);
  // Both travel: the overrides must survive a restart that also sets a delay.
  if (!transient.empty()) command += " /TRANSIENTx=" + transient;
  if (!delay.empty()) command += " /DELAYx=" + delay;
  return command;
}

ControllerSwitch ParseControllerSwitch(const std::string& value) {
  const std::string list = ":" + value + ":";
  ControllerSwitch c{0, 0};
  if (!TextToInt64(GetField(list, 0), c.window)) c.window = 0;
  if (!TextToInt64(GetField(list, 1), c.message)) c.message = 0;
  return c;
}
