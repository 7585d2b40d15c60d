#include "flows/UpdateSchedule.h"

#include "support/Utils.h"

int ProbeDueFor(ScheduleState& s, int64_t probeSecondsInterval, int64_t probeSecondsLast, int64_t now,
                bool testModeOn) {
  int result = 0;
  if (s.autoChecksEnabled || s.checkNowRequested) {
    // The stored interval counts by its low 32 bits; 0 and -1 keep their meaning in test mode.
    int64_t interval = int64_t(int32_t(uint32_t(uint64_t(probeSecondsInterval))));
    if (testModeOn) interval = 5;
    if (now >= probeSecondsLast + interval) result = 1;
    if (probeSecondsInterval == 0 && result == 1) result = 2;
    if (probeSecondsInterval == -1) result = 0;
    if (s.checkNowRequested) result = 1;
  }
  s.checkNowRequested = false;
  return result;
}

bool ReAskDueFor(int64_t now, int64_t reAskSecondsLast, int64_t reAskSecondsInterval) {
  if (now <= reAskSecondsLast + reAskSecondsInterval) return false;
  return reAskSecondsInterval > 0;
}

bool VersionIsValidFor(int32_t versionOriginal, const std::string& validVersions) {
  if (validVersions.empty()) return true;
  return Pos("," + IntToText(versionOriginal) + ",", "," + validVersions + ",") > 0;
}

bool LocationNeedsInternet(const std::string& location) { return location.size() > 2 && location[1] != ':'; }

void UpdateTickWith(ScheduleState& s, TickHost& host) {
  if (s.tickBusy) return;
  s.tickBusy = true;
  s.updateStage = 0;
  if (s.checkMode == 2) s.checkMode = 1;
  if (s.checkMode == 1) s.tickCount = 0;  // an interactive check ignores the start delay
  bool quitPosted = false;
  if (s.exitCountdown == 0) {
    host.PostQuit();
    quitPosted = true;
  }
  if (s.exitCountdown >= 0) --s.exitCountdown;
  ++s.tickCount;
  host.TraceTick(s.tickCount);

  if (s.tickCount >= 1) {
    const bool testModeOn = host.ReadTestMode(false);
    int due = ProbeDueFor(s, host.ProbeSecondsInterval(), host.ProbeSecondsLast(), host.NowSeconds(), testModeOn);
    if (due == 2) s.autoChecksEnabled = false;
    if (due >= 1 && (s.checkMode == 1 || host.AskBeforeCheck()) && !host.AskCheckPrompt()) due = 0;
    if (due >= 1) host.PerformUpdate();
    if (s.checkMode == 1) s.checkMode = 0;
  }
  s.updateStage = 0;
  s.tickBusy = false;
  // The check may have pumped the quit request away (a nested loop that does
  // not hand it back): ask again, so the working copy ends after this tick.
  if (quitPosted) host.PostQuit();
}
