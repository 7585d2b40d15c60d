// The "Setup Installation Wizard" window and the program's message loop.
#pragma once

// Registers the class StubClassName, creates the window hidden and runs the
// message loop until the quit message.
void RunWizardWindow();
