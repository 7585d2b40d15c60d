#include "package/UnPack.h"

// Placeholders until extraction is built: no folder, and the flow ends the
// program on its first tick as the real one does when it has nothing to run.
std::string ExtractionFolder() { return std::string(); }

void RunSetupStub(HWND wizard) {
  KillTimer(wizard, 1);
  PostQuitMessage(0);
}
