// The "Setup Installation Wizard" window and the program's message loop.
#pragma once

#include <windows.h>

#include <string>

// Control messages another program sends to the wizard window.
enum : UINT {
  kMsgSetExitCountdown = WM_USER + 99,  // wParam: the new ExitCountdown
  kMsgRegisterController = WM_USER + 100,  // wParam: window, lParam: message number
  kMsgCommand = WM_USER + 101,  // wParam: command, lParam: value; the result is the answer
};

// Notification codes the window posts to a registered controller.
enum : int { kNotifyLoopEnded = 43, kNotifyWindow = 50, kNotifyCommandMessage = 51 };

extern HWND WizardWindow;  // null when creation failed
extern HWND StatusText;
extern HWND ProgressBar;
// Where NotifyController posts; both 0 until a controller registers.
extern HWND ControllerWindow;
extern UINT ControllerMessage;

LRESULT CALLBACK WizardWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Registers the class StubClassName, creates the window hidden and runs the
// message loop until the quit message.
void RunWizardWindow();
// The one-line status above the progress bar.
void SetStatusText(const std::string& text);
