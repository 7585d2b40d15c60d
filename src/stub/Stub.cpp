// The program entry: start line, package, mode dispatch, end line.
#include <windows.h>

#include "support/U_DEBUG0.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InstallDebugChannel();
  const char* commandLine = GetCommandLineA();
  Trace({" ==== STUB START ====>", commandLine, "<"});
  Trace({" ==== STUB END ====>", commandLine, "<"});
  TraceEmptyLine();
  return 0;
}
