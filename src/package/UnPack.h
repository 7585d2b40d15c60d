// Extraction of a package into a temporary folder and the launch of, and
// wait for, the setup program it marks.
#pragma once

#include <windows.h>

#include <string>

// (kind, low, high, position, step): kind 0 sets the range 0..high, the
// position and the step; kind 1 steps once.
using ProgressRoutine = void (*)(int kind, int low, int high, int position, int step);

struct ExtractResult {
  std::string runSpecification;  // the last member marked with "*", e.g. "Setup.exe*/S"
  bool checksumOk = false;
  bool corrupt = false;  // a member failed to inflate or ran past the end: extraction stopped
};

// TEMP\SETUP_<time part of the running program's file stamp>; created with
// its parents the first time it is asked for.
std::string ExtractionFolder();

// The setup-stub flow, run on the wizard window's first timer tick.
void RunSetupStub(HWND wizard);

// Extracts packageFile into folder and runs the marked program; true when a
// program was started and acknowledged its run.
bool ExtractAndRun(const std::string& folder, const std::string& packageFile, const std::string& autoUpdateName,
                   const std::string& extraArguments, bool visible);

// Writes every member of packageFile into folder (and the auto-update
// program beside them when autoUpdateName is given).
ExtractResult ExtractPackage(const std::string& packageFile, const std::string& folder,
                             const std::string& autoUpdateName, ProgressRoutine progress);

// Drives the wizard window's progress bar.
void ExtractionProgress(int kind, int low, int high, int position, int step);

// The package's required space on the folder's drive is below the free space.
bool EnoughTempSpace(const std::string& folder, const std::string& packageFile);
// Asks about the temporary drive when the package or the free space calls
// for it; true means go on.
bool ConfirmTempSpace(const std::string& folder, const std::string& packageFile);

// Fetches a web setup's package and runs it.
void WebSetupDownload(const std::string& folder, const std::string& location, const std::string& fileName);
