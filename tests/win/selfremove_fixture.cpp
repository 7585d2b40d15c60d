// A program that removes its own file: starts the removal batch, keeps a
// copy of the batch, and stays alive (its file in use) until the batch
// interpreter it started is running, so the batch meets a locked file.
//   X_App.exe plain|folder|short|locked COPY_OF_BATCH
// (locked: the batch gives up after 3 tries, for a file the test holds open)
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "environment/FilesWin.h"
#include "support/UtilsWin.h"

namespace {

bool ChildRuns() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 e{};
  e.dwSize = sizeof e;
  bool found = false;
  for (BOOL ok = Process32First(snap, &e); ok && !found; ok = Process32Next(snap, &e))
    found = e.th32ParentProcessID == GetCurrentProcessId();
  CloseHandle(snap);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  // Only a copy may delete itself, never the fixture in the build tree.
  if (argc != 3 || FileNamePart(ProgramFile()) != "X_App.exe") return 2;
  const std::string mode = argv[1];
  if (mode == "locked")
    SelfRemoveWithin(false, false, 3);
  else
    SelfRemove(mode == "folder", mode == "short");
  WriteFileText(argv[2], ReadFilePart(TempDir(true) + "_DEL_ME_.BAT", 0, 0), 0);
  for (int i = 0; i < 200; ++i) {
    if (ChildRuns()) {
      Sleep(700);  // long enough for a DEL to meet the file in use
      return 0;
    }
    Sleep(50);
  }
  return 3;
}
