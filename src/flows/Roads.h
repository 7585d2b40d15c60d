// Which road the entry takes and the window class names it uses: decisions
// over given names, kept free of Win32 so they can be tested natively.
#pragma once

#include <string>

enum class StubRoad {
  AutoUpdateLauncher,  // the auto-update program under its installed name
  AutoUpdateXCopy,     // its "X_" working copy
  Ordinary,            // a setup stub, or an auto-update program under another name
};

// The title every instance gives its wizard window.
extern const char kWizardTitle[];

// ".AutoUpdate." + the program's file title for an auto-update program,
// otherwise the program's full path (stubs started from different paths do
// not see each other).
std::string StubClassNameFor(bool isAutoUpdateProg, const std::string& programFile);
// The class of the working copy's window: ".AutoUpdate.X_" + the installed
// name's file title.
std::string XCopyClassNameFor(const std::string& autoUpdateExeName);
bool IsAutoUpdateLauncherFor(bool isAutoUpdateProg, const std::string& programFile,
                             const std::string& autoUpdateExeName);
bool IsAutoUpdateXCopyFor(bool isAutoUpdateProg, const std::string& programFile,
                          const std::string& autoUpdateExeName);
StubRoad ChooseRoad(bool isAutoUpdateProg, const std::string& programFile, const std::string& autoUpdateExeName);
