#include "flows/RelaunchChainWin.h"

#include <windows.h>

#include "environment/FilesWin.h"
#include "environment/ProcessWin.h"
#include "flows/RelaunchChain.h"
#include "flows/RoadsWin.h"
#include "flows/UpdateScheduleWin.h"
#include "support/TraceChannelWin.h"
#include "support/UtilsWin.h"
#include "update/SettingsWin.h"

namespace {

// How long a launcher with arguments gives its working copy to come up
// before it forwards them, and how often it looks.
const DWORD kStartWaitMs = 3000;
const uint32_t kStartPollMs = 200;

// The check command of the control message: check now, the value says how.
const WPARAM kCommandCheckNow = 31;

std::string WorkingCopy() { return WorkingCopyPath(ProgramFile()); }

// A working copy that is already running keeps its window; only a restart
// (ZZ 99, from the working copy itself) makes a new one.
bool MayStartWorkingCopy(const std::string& zz) {
  if (!ThisIs_AutoUpdateProg) return false;
  if (XCopyWindowExists() && zz != "99") return false;
  return TextEquals(FileNamePart(ProgramFile()), AutoUpdateExeName());
}

void WaitUntilRunning(const std::string& workingCopy) {
  const DWORD start = GetTickCount();
  for (;;) {
    WaitPumping(kStartPollMs);
    if (IsRunning(workingCopy)) return;
    if (GetTickCount() - start > kStartWaitMs) return;
  }
}

bool PostToWorkingCopy(const std::string& target, UINT msg, WPARAM wParam, LPARAM lParam) {
  return FileExists(target) && PostToMainWindow(target, true, msg, wParam, lParam);
}

// The forwarding's numbered trace marks: an odd one with the command line
// before a message goes out (" ==1== <line>"), the even one after it (" ==2==").
void ForwardMark(char digit, const char* commandLine = nullptr) {
  char mark[] = " ==?== ";
  mark[3] = digit;
  if (commandLine)
    Trace({mark, commandLine});
  else
    Trace({std::string_view(mark, 6)});
}

}  // namespace

void CreateAndRun_X_Exe() {
  const std::string zz = SwitchValue("/_ZZ=");
  Trace({" CreateAndRun_X_Exe-1 ", zz});
  if (!MayStartWorkingCopy(zz)) return;
  Trace({" CreateAndRun_X_Exe-2"});

  const int64_t waitMs = int64_t(Low32(SwitchInt("/WAIT=", 0))) * 1000;
  if (waitMs > 0) WaitPumping(uint32_t(waitMs < 0x7FFFFFFF ? waitMs : 0x7FFFFFFF));
  const std::string workingCopy = WorkingCopy();
  // Fails while an older working copy still runs from that file; the older
  // file is then started, which is as good.
  // Writable, so that its self-removal can delete it even when the installed
  // program is read-only.
  CopyFileWritable(ProgramFile(), workingCopy);
  const std::string command = WorkingCopyCommand(workingCopy, SwitchValue("/TRANSIENT="), SwitchValue("/DELAY="));
  WinExec(command.c_str(), SW_HIDE);

  // Switches to forward need a window to receive them.
  if (HasArguments(GetCommandLineA())) WaitUntilRunning(workingCopy);
}

bool ForwardSwitchesToXCopy(bool workingCopyWindowExisted) {
  const std::string target = WorkingCopy();
  const char* commandLine = GetCommandLineA();
  bool posted = false;

  const int32_t stop = Low32(SwitchInt("/STOP=", -1));
  if (stop >= 0) {
    ForwardMark('1', commandLine);
    posted |= PostToWorkingCopy(target, kMsgSetExitCountdown, WPARAM(stop), 0);
    ForwardMark('2');
  }

  const std::string controller = SwitchValue("/WM_MSG=");
  if (!controller.empty()) {
    ForwardMark('3', commandLine);
    const ControllerSwitch c = ParseControllerSwitch(controller);
    posted |= PostToWorkingCopy(target, kMsgRegisterController, WPARAM(c.window), LPARAM(c.message));
    ForwardMark('4');
  }

  const int32_t test = Low32(SwitchInt("/TEST=", -1));
  if (test >= 0) {
    ForwardMark('5', commandLine);
    if (FileExists(target)) {
      posted |= PostToMainWindow(target, true, kMsgCommand, kCommandCheckNow, LPARAM(test));
      // A working copy started only for this check ends soon after it.
      if (!workingCopyWindowExisted) posted |= PostToMainWindow(target, true, kMsgSetExitCountdown, 2, 0);
    }
    ForwardMark('6');
  }

  const std::string overrides = SwitchValue("/TRANSIENTx=");
  if (!overrides.empty()) ApplyOverrideList(overrides);
  return posted;
}

void ApplyReceivedOverrides() {
  const std::string overrides = SwitchValue("/TRANSIENTx=");
  if (overrides.empty()) return;
  ApplyOverrideList(overrides);
  Trace({" UpdateOverrides=", OverrideListText()});
}
