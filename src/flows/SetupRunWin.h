// The setup run: extraction of a package, the launch of and the wait for the
// setup program it marks, and the setup stub's first-tick flow around it.
#pragma once

#include <string>

#include "flows/View.h"
#include "package/ExtractorWin.h"

// The setup-stub flow, run once on the wizard window's first timer tick.
void RunSetupStub(View& view);

// Extracts packageFile into folder and runs the marked program; true when a
// program was started and acknowledged its run.
bool ExtractAndRun(View& view, const std::string& folder, const std::string& packageFile,
                   const std::string& autoUpdateName, const std::string& extraArguments, bool visible);

// Whether an extraction lets the marked program start: a program was marked,
// every member came out whole, and the checksum verdict is good.
bool SetupMayStart(const ExtractResult& extraction);

// Asks about the temporary drive when the package or the free space calls
// for it; true means go on.
bool ConfirmTempSpace(View& view, const std::string& folder, const std::string& packageFile);
