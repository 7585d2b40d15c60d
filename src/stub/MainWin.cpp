// The program entry: start line, package, mode dispatch, end line.
#include <windows.h>

#include "flows/RoadsWin.h"
#include "stub/DispatchWin.h"
#include "support/TraceChannelWin.h"
#include "support/UtilsWin.h"
#include "update/SettingsWin.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a library: a stub is usually started from a
  // downloads folder full of other people's files.
  RestrictLibrarySearch();
  InstallDebugChannel();
  const char* commandLine = GetCommandLineA();
  Trace({" ==== STUB START ====>", commandLine, "<"});

  OwnPackage = new TGFileInfo;
  OwnPackage->Create(ProgramFile());
  SetInfoFileNames(OwnPackage->OriginalInfoFileName(), OwnPackage->InfoFileName());
  ThisIs_AutoUpdateProg = OwnPackage->IsAutoUpdateProgram();
  Trace({" ThisIs_AutoUpdateProg=", ThisIs_AutoUpdateProg ? "TRUE" : "FALSE"});

  DispatchMode();

  OwnPackage->Destroy();
  delete OwnPackage;
  OwnPackage = nullptr;

  Trace({" ==== STUB END ====>", commandLine, "<"});
  TraceEmptyLine();
  return 0;
}
