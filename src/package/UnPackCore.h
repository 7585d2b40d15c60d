// The decisions of extraction and launch, over given values (portable).
#pragma once

#include <string>

// Megabytes with 1 decimal above 10, 2 from 1, 3 below; negative counts as 0.
std::string FormatMegabytes(double bytes);

// A member name that can only land inside the extraction folder: not empty,
// not "." or "..", without "\", "/" or ":".
bool IsPlainMemberName(const std::string& name);

// The command that starts the marked program of a run entry such as
// "Setup.exe*/S": folder\program [extra + own arguments] /TH_ID=<token>
// [/AutoUpdateProg]. The program path is quoted when it holds a blank, so a
// folder under "C:\Documents and Settings" cannot start "C:\Documents.exe".
struct SetupCommand {
  std::string path;     // folder\program, unquoted (what the waits look for)
  std::string command;  // what is started
};
SetupCommand BuildSetupCommand(const std::string& folder, const std::string& runSpecification,
                               const std::string& extraArguments, const std::string& threadToken,
                               bool autoUpdateProg);

// The space question's text; empty when nothing needs asking.
std::string ConfirmTempSpaceText(bool confirmTempDrive, double required, double freeBytes, const std::string& folder);

// The drive to extract to when the temporary drive is short: the letter with
// strictly the most free space among C, D and E (free space 0 when a drive
// could not be probed), starting from the temporary folder's drive.
char ChooseTempDrive(char tempDrive, const double freeCDE[3]);
