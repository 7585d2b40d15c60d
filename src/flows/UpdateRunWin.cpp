#include "flows/UpdateRunWin.h"

#include <windows.h>

#include "environment/FilesWin.h"
#include "environment/Macros.h"
#include "environment/MacrosWin.h"
#include "environment/RunTimeDir.h"
#include "environment/ProcessWin.h"
#include "flows/UpdateFetchWin.h"
#include "flows/RoadsWin.h"
#include "flows/SetupRunWin.h"
#include "flows/UpdateFetchWin.h"
#include "flows/UpdateScheduleWin.h"
#include "package/ExtractorWin.h"
#include "support/TraceChannel.h"
#include "support/TraceChannelWin.h"
#include "support/UtilsWin.h"
#include "update/HttpClientWin.h"
#include "update/SettingsWin.h"
#include "update/UpdateFetchWin.h"

namespace {

// "DD-MM-YYYY  HH:MM:SS" of the local time.
std::string FireTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[32];
  wsprintfA(text, "%02u-%02u-%u  %02u:%02u:%02u", t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
  return text;
}

void Step(const char* text) { Trace({text}); }
// The update run's numbered trace marks, " ==== DoPerform-1 ====" to "-9":
// one text with the digit set per mark.
void PerformStep(char digit) {
  char text[] = " ==== DoPerform-? ====";
  text[16] = digit;
  Step(text);
}

bool Interactive() { return Schedule.checkMode == 1; }

// Where a run-time directory that cannot be found is reported during the
// expansion of the application's path.
View* gNoticeView = nullptr;
void ShowRunTimeDirNotice(const std::string& text) {
  if (gNoticeView) ShowDefaultError(*gNoticeView, text);
}

std::string WithNewProgramName(const std::string& text) { return Replace(text, kProgName, NewProgramName()); }

// Applies the configured shut-down method to the application and waits for
// its end (unless told not to shut it down).
void ShutDownApplication(View& view, const std::string& appPath) {
  const std::string method = ShutDownMethod();
  if (method == "Issue a Message Box") {
    const std::string notice = Replace(MessageText("s15"), kProgName, FileNamePart(appPath));
    // The user closes the application; the box comes back until it is gone.
    while (IsRunning(appPath)) StyledWarningBox(view, BoxOwner::Titled, notice);
  }
  PerformStep('5');
  if (method == "Using WM_CLOSE") CloseMainWindow(appPath, true);
  if (method == "Using WM_QUIT") QuitMainWindow(appPath, true);
  if (method == "Using Terminate Process") TerminateProgram(appPath, true);
  if (method != "Don't Shut Down") WaitForExit(appPath);
}

// Asks, downloads, shuts the application down, runs the update setup,
// records the version, informs the user and restarts the application; true
// when the setup acknowledged a completed run.
bool DoPerform(View& view) {
  PerformStep('1');
  bool ok = false;
  const std::string url = DownloadURL_UPDATE(), updateName = NameOfUpdateFile();
  if (!url.empty() && !updateName.empty()) ok = [&] {
    PerformStep('2');
    const std::string downloadQuestion = WithNewProgramName(
        MessageText("s11") + (RequestConfirmationBeforeInstall() ? MessageText("s13") : MessageText("s12")));
    // An interactive check asked its own question already.
    if (RequestConfirmationBeforeDownload() && !Interactive() &&
        !StyledAskYesNo(view, BoxOwner::Titled, downloadQuestion))
      return false;

    PerformStep('3');
    Schedule.updateStage = 2;
    NotifyController(kNotifyUpdateDownload, 1);
    bool fetched = FetchUpdateFile(view, url, updateName, 2, Interactive());
    NotifyController(kNotifyUpdateDownload, 2);
    const std::string installQuestion = WithNewProgramName(MessageText("s14"));
    if (fetched && RequestConfirmationBeforeInstall() && !Interactive())
      fetched = StyledAskYesNo(view, BoxOwner::Titled, installQuestion);
    if (!fetched) return false;

    PerformStep('4');
    SetInstallFolders(TargetDir(), SharedDir(), AuxiliaryDir());
    gNoticeView = &view;
    SetRunTimeDirNotice(ShowRunTimeDirNotice);
    const std::string appPath = ExpandMacros(RunningProcess(), "\\", true);
    const bool wasRunning = IsRunning(appPath);
    ShutDownApplication(view, appPath);

    PerformStep('6');
    const bool shutDown = wasRunning && !IsRunning(appPath);
    const bool restart = RestartProcess() && shutDown;
    const std::string updateFile = ProgramDir(true) + updateName;
    const std::string extraArgs = "/OriginalInfoFile=\"" + NewInfoFile() + "\"";

    Schedule.updateStage = 3;
    NotifyController(kNotifyUpdateSetup, 1);
    PerformStep('7');
    const bool acknowledged =
        ExtractAndRun(view, ExtractionFolder(), updateFile, AutoUpdateExeName(), extraArgs, !BackgroundUpdate());
    DeleteTree(ExtractionFolder(), false);
    PerformStep('8');
    NotifyController(kNotifyUpdateSetup, 2);

    if (acknowledged) SetVersionOriginal(VersionNew());
    DeleteFileA(updateFile.c_str());

    const std::string finish = WithNewProgramName(MessageText("s16"));
    bool go = true;
    if (acknowledged && (InformFinish() || Interactive())) {
      if (restart)
        go = StyledAskYesNo(view, BoxOwner::Active, finish + MessageText("s17"));
      else
        StyledWarningBox(view, BoxOwner::Active, finish);
    }
    // Also after a failed update: an application that was shut down comes back.
    if (restart && go) WinExec(QuoteProgramPath(appPath).c_str(), SW_SHOW);
    return acknowledged;
  }();
  PerformStep('9');
  return ok;
}

// An interactive check that installed nothing says why.
void ReportNothingInstalled(View& view) {
  const bool testMode = TestModeOn();
  const bool online = IsOnline();
  // This line carries no process id.
  DebugSink& trace = TraceStream();
  trace.Write(testMode ? "TRUE " : "FALSE ", testMode ? 5 : 6);
  trace.Write(online ? "TRUE" : "FALSE", online ? 4 : 5);
  trace.EndLine();
  if (!testMode && !online)
    StyledErrorBox(view, BoxOwner::Titled, MessageText("s2", "No valid Internet Connection.<p>Can not Download File!"));
  else
    StyledWarningBox(view, BoxOwner::Active, MessageText("s21"));
}

}  // namespace

void PerformUpdate(View& view) {
  Trace({" Fire  ", FireTime()});
  ReadTestMode(true);
  bool performed = false;
  const std::string infoFile = NewInfoFile();
  Schedule.updateStage = 1;
  NotifyController(kNotifyInfoDownload, 1);
  const bool infoOk = FetchUpdateFile(view, OwnPackage ? OwnPackage->UpdateLocation() : "", infoFile, 1, Interactive());
  NotifyController(kNotifyInfoDownload, 2);
  if (infoOk) SetFileAttributesA(infoFile.c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetProbeSecondsLast(NowSeconds());

  if (infoOk && VersionOriginal() >= 1) {
    // The same offer was made and its re-ask time has not come; an
    // interactive check always offers again.
    const bool sameOffer = NewStamp() == OriginalStamp() && !ReAskDue() && !Interactive();
    if (!sameOffer && VersionNew() > VersionOriginal() && VersionIsValid() &&
        UpdateFileAvailable(DownloadURL_UPDATE(), NameOfUpdateFile())) {
      Step(" ==== Perform Update-1 ====");
      performed = true;
      // From now on the offer counts as made, whatever the user answers.
      SetReAskSecondsLast(NowSeconds());
      SetOriginalStamp(NewStamp());
      if (DoPerform(view)) RelaunchAfterUpdate();
      Step(" ==== Perform Update-2 ====");
    }
  }

  if (Interactive()) {
    WaitPumping(1000);
    view.Hide();
    if (!performed) ReportNothingInstalled(view);
  }
  DeleteFileA(infoFile.c_str());
}
