#include "flows/SetupRunWin.h"

#include <windows.h>
#include <shellapi.h>

#include "environment/FilesWin.h"
#include "environment/ProcessWin.h"
#include "flows/RoadsWin.h"
#include "flows/SetupRun.h"
#include "flows/WebSetupWin.h"
#include "package/ExtractorWin.h"
#include "package/PackageReaderWin.h"
#include "support/RegistryWin.h"
#include "support/UtilsWin.h"

namespace {

// The acknowledgement contract with the started setup program.
const char kAckAtomPrefix[] = "AutoUpdateAtomTokenByKovrex";
const char kDialogClassPrefix[] = ".SDialog_Class_Name.";

// ERROR_ELEVATION_REQUIRED: the program's manifest asks for administrator rights.
const DWORD kErrorElevationRequired = 740;

int gSaveFailures = 0;  // only the first failure in the process is reported

std::string ThreadToken() { return "_" + IntToText(int64_t(GetCurrentThreadId())); }

// Removes the link file named by a setting when the new info file asks for it.
void RemoveShortcut(const std::string& infoFile, const char* removeKey, const std::string& link) {
  if (IniReadString(infoFile, "NewSetup", removeKey, "0") == "1" && !link.empty() && FileExists(link))
    DeleteFileA(link.c_str());
}

// Starts the setup as WinExec does (the whole command, shown or hidden), and
// through the shell's elevation prompt when its manifest asks for
// administrator rights. Keeps the process of an elevated start, which the
// stub may not be allowed to find by its program file.
class SystemSetupStarter : public SetupStarter {
 public:
  ~SystemSetupStarter() {
    if (elevated_) CloseHandle(elevated_);
  }
  HANDLE ElevatedProcess() const { return elevated_; }

  Result Start(const std::string& command, bool visible) override {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = WORD(visible ? SW_SHOW : SW_HIDE);
    PROCESS_INFORMATION pi{};
    std::string line = command;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
      return Result::Started;
    }
    return GetLastError() == kErrorElevationRequired ? Result::ElevationRequired : Result::Failed;
  }

  bool StartElevated(const std::string& program, const std::string& parameters, bool visible) override {
    // Bound at run time: the shell library is needed only here.
    using ShellExecuteExAFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
    auto shellExecuteEx =
        reinterpret_cast<ShellExecuteExAFn>(reinterpret_cast<void*>(LoadProc("shell32.dll", "ShellExecuteExA")));
    if (!shellExecuteEx) return false;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    // No box of the shell's own when the user declines: a failed start is
    // not reported, as with any other.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = "runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = visible ? SW_SHOW : SW_HIDE;
    if (!shellExecuteEx(&info)) return false;
    elevated_ = info.hProcess;
    return true;
  }

 private:
  HANDLE elevated_ = nullptr;
};

// Starts the marked program, waits for it and its dialog, and reads the
// acknowledgement atom; true when the setup deleted it.
bool LaunchAndWait(View& view, const std::string& folder, const std::string& runSpecification,
                   const std::string& extraArguments, bool visible) {
  const std::string token = ThreadToken();
  const SetupCommand setup =
      BuildSetupCommand(folder, runSpecification, extraArguments, token, ThisIs_AutoUpdateProg);
  const std::string here = ProgramDir(true);
  const std::string originalInfo = here + (OwnPackage ? OwnPackage->OriginalInfoFileName() : std::string());
  const std::string startUpLink = IniReadString(originalInfo, "UnInstall", "StartUpLink", "");
  const std::string updateLink = IniReadString(originalInfo, "UnInstall", "CheckforNewUpdateLink", "");

  const std::string atomName = kAckAtomPrefix + token;
  GlobalAddAtomA(atomName.c_str());
  SystemSetupStarter starter;
  StartSetup(starter, setup, visible);  // a failed start is not reported: the atom stays
  view.Hide();
  WaitPumping(1000);
  if (starter.ElevatedProcess()) WaitForProcess(starter.ElevatedProcess());
  WaitForExit(setup.path);
  WaitWhileWindow((kDialogClassPrefix + token).c_str(), nullptr);
  WaitPumping(1000);
  const ATOM atom = GlobalFindAtomA(atomName.c_str());
  const bool acknowledged = atom == 0;
  // Our own reference goes in any case (the setup deleted its own).
  if (atom) GlobalDeleteAtom(atom);

  if (acknowledged) {
    const std::string info = here + (OwnPackage ? OwnPackage->InfoFileName() : std::string());
    RemoveShortcut(info, "RemoveStartUpShortcut", startUpLink);
    RemoveShortcut(info, "RemoveCheckForNewUpdateShortcut", updateLink);
  }
  return acknowledged;
}

}  // namespace

bool SetupMayStart(const ExtractResult& extraction) {
  return !extraction.corrupt && !extraction.runSpecification.empty() && extraction.checksumOk;
}

bool ConfirmTempSpace(View& view, const std::string& folder, const std::string& packageFile) {
  TGFileInfo info;
  info.Create(packageFile);
  const std::string text =
      ConfirmTempSpaceText(info.ConfirmTempDrive(), info.RequiredSpace(folder), DiskFreeBytes(folder), folder);
  return text.empty() || view.AskYesNo(BoxOwner::Titled, text, DefaultBoxStyle("Confirm"));
}

bool ExtractAndRun(View& view, const std::string& folderIn, const std::string& packageFile,
                   const std::string& autoUpdateName, const std::string& extraArguments, bool visible) {
  std::string folder = folderIn;
  bool acknowledged = false;
  view.SetStatusText("Extracting Files...");
  if (!EnoughTempSpace(folder, packageFile)) {
    const std::string alternative = AlternativeExtractionFolder();
    if (!alternative.empty()) folder = alternative;
  }

  if (!visible || ConfirmTempSpace(view, folder, packageFile)) {
    if (visible) view.Show();
    WaitPumping(1000);
    const ExtractResult r = ExtractPackage(packageFile, folder, autoUpdateName, view);
    // Closed while extracting: the user has left; nothing more is shown or started.
    if (!r.stopped) {
      ReportExtraction(view, folder, r, gSaveFailures);
      WaitPumping(1000);

      if (SetupMayStart(r))
        acknowledged = LaunchAndWait(view, folder, r.runSpecification, extraArguments, visible);
      // A damaged package is a bad checksum too: it never starts anything.
      if (!r.checksumOk || r.corrupt) ShowDefaultError(view, "Bad CRC!");
    }
  }

  RemoveAlternativeExtractionFolder();
  return acknowledged;
}

void RunSetupStub(View& view) {
  const std::string copyName = OwnPackage && OwnPackage->InstallAutoUpdateProgram() ? OwnPackage->AutoUpdateExeName()
                                                                                     : std::string();
  if (OwnPackage && OwnPackage->IsWebSetup()) {
    if (!copyName.empty()) WriteWebSetupAutoUpdateProgram(ExtractionFolder(), FileNamePart(copyName));
    std::string location = OwnPackage->DownloadLocation();
    if (!OwnPackage->AlwaysDownload() && FileExists(ProgramDir(true) + OwnPackage->PackageFileName()))
      location = ProgramDir(false);
    WebSetupDownload(view, ExtractionFolder(), location, OwnPackage->PackageFileName());
  } else {
    const bool hidden = HasSwitch("/hide") || (OwnPackage && OwnPackage->RunSetupHidden());
    ExtractAndRun(view, ExtractionFolder(), ProgramFile(), copyName, CommandTail(), !hidden);
  }
  DeleteTree(ExtractionFolder(), false);
  PostQuitMessage(0);
}
