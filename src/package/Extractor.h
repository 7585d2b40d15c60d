// What extraction did, and its decisions over given values (portable).
#pragma once

#include <cstdint>
#include <string>

// What extraction did; the flow that asked decides what the user sees.
struct ExtractResult {
  std::string runSpecification;  // the last member marked with "*", e.g. "Setup.exe*/S"
  bool checksumOk = false;
  bool corrupt = false;       // a member failed to inflate or ran past the end: extraction stopped
  bool folderFailed = false;  // the folder could not be created (the writes then fail too)
  int saveFailures = 0;       // members that could not be written
  std::string firstFailedPath;  // folder\name of the first of them
};


// The drive to extract to when the temporary drive is short: the letter with
// strictly the most free space among C, D and E (free space 0 when a drive
// could not be probed), starting from the temporary folder's drive.
char ChooseTempDrive(char tempDrive, const double freeCDE[3]);
