#include "flows/UpdateScheduleWin.h"

#include "flows/UpdateFetchWin.h"
#include "flows/RoadsWin.h"
#include "flows/UpdateRunWin.h"
#include "support/TraceChannelWin.h"
#include "support/UtilsWin.h"
#include "update/SettingsWin.h"

ScheduleState Schedule;
int32_t& TickCount = Schedule.tickCount;
int32_t& ExitCountdown = Schedule.exitCountdown;
HWND ControllerWindow = nullptr;
UINT ControllerMessage = 0;

namespace {

// The tick's world: the info files, the registry, the clock and the user.
class WorkingCopyHost final : public TickHost {
 public:
  explicit WorkingCopyHost(View& view) : view_(view) {}
  bool ReadTestMode(bool force) override { return ::ReadTestMode(force); }
  int64_t ProbeSecondsInterval() override { return ::ProbeSecondsInterval(); }
  int64_t ProbeSecondsLast() override { return ::ProbeSecondsLast(); }
  int64_t NowSeconds() override { return ::NowSeconds(); }
  bool AskBeforeCheck() override { return ::AskBeforeCheck(); }
  bool AskCheckPrompt() override { return ::AskCheckPrompt(view_); }
  void PerformUpdate() override { ::PerformUpdate(view_); }
  void PostQuit() override { PostQuitMessage(0); }
  void TraceTick(int32_t tickCount) override { Trace({" AutoUpdateTimerCount=", IntToText(tickCount)}); }

 private:
  View& view_;
};

}  // namespace

void UpdateTick(View& view) {
  WorkingCopyHost host(view);
  UpdateTickWith(Schedule, host);
}

int32_t UpdateCommand(int32_t command, int32_t value) {
  switch (command) {
    case 4: return VersionOriginal();
    case 5: return VersionNew();
    case 7: return Schedule.updateStage;
    case 8: return Low32(ProbeSecondsInterval());
    case 9: return Low32(ReAskSecondsInterval());
    case 10: return Low32(ProbeSecondsLast());
    case 11: return Low32(ReAskSecondsLast());
    case 12: SetProbeSecondsInterval(value); return 0;
    case 13: SetReAskSecondsInterval(value); return 0;
    case 14: SetProbeSecondsLast(value); return 0;
    case 15: SetReAskSecondsLast(value); return 0;
    case 20: case 21: case 22: case 23: case 24: case 25:
      SetOverride(command - 20, value);
      return 0;
    case 30:
      Schedule.exitCountdown = value;
      return 0;
    case 31:
      Schedule.checkNowRequested = true;
      if (value == 2) Schedule.checkMode = 2;
      return 0;
    default:
      return 0;
  }
}

void NotifyController(int32_t code, LPARAM value) {
  if (ControllerWindow && ControllerMessage) PostMessageA(ControllerWindow, ControllerMessage, WPARAM(code), value);
}

bool ReAskDue() { return ReAskDueFor(NowSeconds(), ReAskSecondsLast(), ReAskSecondsInterval()); }

bool VersionIsValid() { return VersionIsValidFor(VersionOriginal(), ValidVersions()); }

bool AskCheckPrompt(View& view) {
  ReadTestMode(true);
  const std::string location = TestModeOn() ? TestModeURL() : (OwnPackage ? OwnPackage->UpdateLocation() : "");
  const std::string name = OriginalProgramName();
  std::string line2;
  if (LocationNeedsInternet(location)) line2 = MessageTextOrOwn("s23");
  std::string line1 = MessageText("s22", OwnMessageText("s22", name).c_str());
  const std::string line3 = MessageTextOrOwn("s24");
  line1 = Replace(line1, kProgName, name);
  return StyledAskYesNo(view, BoxOwner::Active, line1 + line2 + line3);
}

void RelaunchAfterUpdate() {
  // A working copy started for a limited life does not restart itself.
  if (Schedule.exitCountdown > 0) return;
  const std::string path = ProgramDir(true) + AutoUpdateExeName();
  // Installed programs live under folders with blanks: an unquoted path
  // would first try "C:\Program.exe".
  const std::string quoted = path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
  const std::string command = quoted + " /_ZZ=99 /WAIT=3 /TRANSIENT=" + OverrideListText();
  WinExec(command.c_str(), SW_HIDE);
  PostQuitMessage(0);
}
