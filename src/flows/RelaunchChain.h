// The launcher's decisions over given texts: where its working copy lives,
// the command that starts it and the controller a "/WM_MSG=" value names.
#pragma once

#include <cstdint>
#include <string>

// The launcher's folder + "X_" + the launcher's file name as started.
std::string WorkingCopyPath(const std::string& launcherFile);
// The working copy's command line: its path (quoted when it holds a blank),
// then " /TRANSIENTx=" with the launcher's "/TRANSIENT=" value and
// " /DELAYx=" with its "/DELAY=" value, each only when given.
std::string WorkingCopyCommand(const std::string& workingCopyPath, const std::string& transient,
                               const std::string& delay);

// "window:message", both decimal; a missing or non-numeric part is 0.
struct ControllerSwitch {
  int64_t window;
  int64_t message;
};
ControllerSwitch ParseControllerSwitch(const std::string& value);
