// The "Setup Installation Wizard" window and the program's message loop. The
// window is the flows' view: status text, progress bar, show and hide, and
// the message boxes.
#pragma once

#include <windows.h>

#include <string>

#include "flows/View.h"

// The window and its two controls; all null when creation failed and again
// once the window has been destroyed.
extern HWND WizardWindow;
extern HWND StatusText;
extern HWND ProgressBar;

LRESULT CALLBACK WizardWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Registers the class StubClassName, creates the window hidden and runs the
// message loop until the quit message.
void RunWizardWindow();
// The one-line status above the progress bar.
void SetStatusText(const std::string& text);
// The window as the flows see it.
View& WizardView();
