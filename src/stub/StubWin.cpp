#include "stub/StubWin.h"

// Placeholder until the wizard window is built: no window, no loop.
void RunWizardWindow() {}
