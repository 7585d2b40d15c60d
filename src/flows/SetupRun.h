// The decisions of the setup run over given values: the command that starts
// the setup, the space question and its figures.
#pragma once

#include <string>

#include "flows/View.h"
#include "package/Extractor.h"

// Megabytes with 1 decimal above 10, 2 from 1, 3 below; negative counts as 0.
std::string FormatMegabytes(double bytes);

// The command that starts the marked program of a run entry such as
// "Setup.exe*/S": folder\program [extra + own arguments] /TH_ID=<token>
// [/AutoUpdateProg]. The program path is quoted when it holds a blank, so a
// folder under "C:\Documents and Settings" cannot start "C:\Documents.exe".
struct SetupCommand {
  std::string path;        // folder\program, unquoted (what the waits look for)
  std::string parameters;  // everything after the program: arguments, /TH_ID=, /AutoUpdateProg
  std::string command;     // what is started: the path (quoted when it holds a blank) and the parameters
};
SetupCommand BuildSetupCommand(const std::string& folder, const std::string& runSpecification,
                               const std::string& extraArguments, const std::string& threadToken,
                               bool autoUpdateProg);

// How the setup program is started; the Win32 edge starts processes, tests
// use a fake.
class SetupStarter {
 public:
  enum class Result { Started, ElevationRequired, Failed };
  // Starts the whole command as the system starts programs, shown or hidden.
  virtual Result Start(const std::string& command, bool visible) = 0;
  // Starts the program through the shell, which asks the user for
  // administrator rights; true when it started.
  virtual bool StartElevated(const std::string& program, const std::string& parameters, bool visible) = 0;

 protected:
  ~SetupStarter() = default;
};
// Starts the setup with its command line. A program whose own manifest asks
// for administrator rights cannot be started from the stub (which runs with
// the caller's rights); it is started again through the shell so that the
// user gets the elevation prompt. True when the setup started.
bool StartSetup(SetupStarter& starter, const SetupCommand& setup, bool visible);

// The space question's text; empty when nothing needs asking.
std::string ConfirmTempSpaceText(bool confirmTempDrive, double required, double freeBytes, const std::string& folder);

// Tells the user what extraction into folder could not do: the folder, and
// the first member that could not be saved in this process (saveFailures
// counts them across extractions).
void ReportExtraction(View& view, const std::string& folder, const ExtractResult& result, int& saveFailures);
