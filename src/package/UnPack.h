// Extraction of a package into a temporary folder and the launch of the
// setup program it marks.
#pragma once

#include <windows.h>

#include <string>

// TEMP\SETUP_<n>, where the setup stub extracts its members; empty when no
// folder has been chosen.
std::string ExtractionFolder();

// The setup stub's flow, run by the wizard window's first timer tick: stops
// the timer, extracts and starts the setup, removes the extraction folder and
// ends the message loop.
void RunSetupStub(HWND wizard);
