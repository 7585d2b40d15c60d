// Run-time directories: the folders behind "<RunTimeDir_1>" to
// "<RunTimeDir_3>", located from a definition through App Paths, a registry
// value, drive searches for a file or a folder, and a default. The decisions
// run over a RunTimeDirSource, so they are tested natively; RunTimeDirWin.h
// asks the registry and searches the drives.
//
// A definition is a delimited list; a flag field is on only when it is "1":
//   0 App Paths flag       1 executable name     2 registry flag   3 registry path
//   4 file-search flag     5 file name           6 fixed drives    7 network drives
//   8 folder-search flag   9 folder name        10 fixed drives   11 network drives
//  12 default flag        13 default folder     14, 15 unused
//  16 notify when not found                     17 set RunTimeDirMissing when not found
#pragma once

#include <string>

class RunTimeDirSource {
 public:
  // The value as registry text (a number as its decimal); empty when missing.
  virtual std::string RegistryValue(const std::string& keyPath, const std::string& name) = 0;
  // Drive type 3 (fixed) or 4 (network); the full path of the first hit, or empty.
  virtual std::string FindFileOnDrives(const std::string& fileName, unsigned driveType) = 0;
  virtual std::string FindFolderOnDrives(const std::string& folderName, unsigned driveType) = 0;

 protected:
  ~RunTimeDirSource() = default;
};

// The folder part of the executable's App Paths registration; empty when absent.
std::string AppPathsDir(const std::string& exeName, RunTimeDirSource& source);
// The default value of the key path; when that is empty, the text after the
// last backslash read as a value name of the key before it.
std::string RegistryPathValue(const std::string& path, RunTimeDirSource& source);
// The folder the definition leads to, or empty (after the notice and the
// missing flag, when the definition asks for them).
std::string FindRunTimeDir(const std::string& definition, RunTimeDirSource& source);
// Index 1 to 3: the lookup of that definition, run at most once per process
// (an empty result is remembered too). Other indexes give the empty text.
std::string GetRunTimeDir(int index, RunTimeDirSource& source);

// The definitions start empty. Setting one forgets the result remembered for it.
void SetRunTimeDirDefinition(int index, const std::string& definition);
std::string RunTimeDirDefinition(int index);
// Set when a definition that asks for it found nothing.
bool RunTimeDirMissing();
// Forgets every remembered result and clears the missing flag.
void ResetRunTimeDirs();

// How the not-found message reaches the user: the caller installs a function
// that shows the text (markup line breaks included). Unset, nothing is shown.
// Returns the previous function.
using RunTimeDirNotice = void (*)(const std::string& text);
RunTimeDirNotice SetRunTimeDirNotice(RunTimeDirNotice notice);
