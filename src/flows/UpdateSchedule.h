// The update schedule's decisions over given values: when a check is due,
// whether an offer may be made again, which installed versions an update
// applies to, the NEW UPDATE prompt's text, and the timer tick as a sequence
// of steps over a host that supplies settings and actions (the working copy's
// real one, or a test's fake).
#pragma once

#include <cstdint>
#include <string>

// The schedule's state in the working copy.
struct ScheduleState {
  bool tickBusy = false;          // a tick is being handled; ticks meanwhile return at once
  int32_t tickCount = -3;         // checks only once it reaches 1: the fourth tick by default
  int32_t exitCountdown = -1;     // ticks left before the working copy ends; -1: never
  int checkMode = 0;              // 0 scheduled; 2 interactive check requested; 1 being handled
  bool checkNowRequested = false; // check on the next tick that reaches the schedule
  bool autoChecksEnabled = true;  // cleared after the single check of a zero probe interval
  int updateStage = 0;            // 0 idle, 1 checking, 2 downloading, 3 running the setup
};

// 0 no check, 1 check, 2 check and it is the single check of a zero interval.
// Consumes checkNowRequested.
int ProbeDueFor(ScheduleState& s, int64_t probeSecondsInterval, int64_t probeSecondsLast, int64_t now,
                bool testModeOn);
// The re-ask time of an offer already made has passed (strictly).
bool ReAskDueFor(int64_t now, int64_t reAskSecondsLast, int64_t reAskSecondsInterval);
// The installed version is in the comma-separated list (or the list is empty).
bool VersionIsValidFor(int32_t versionOriginal, const std::string& validVersions);
// The prompt's Internet line is shown unless the location is a drive path.
bool LocationNeedsInternet(const std::string& location);

// What a tick needs from the world.
class TickHost {
 public:
  virtual bool ReadTestMode(bool force) = 0;
  virtual int64_t ProbeSecondsInterval() = 0;
  virtual int64_t ProbeSecondsLast() = 0;
  virtual int64_t NowSeconds() = 0;
  virtual bool AskBeforeCheck() = 0;
  // The NEW UPDATE question; false when the user declined.
  virtual bool AskCheckPrompt() = 0;
  virtual void PerformUpdate() = 0;
  virtual void PostQuit() = 0;
  virtual void TraceTick(int32_t tickCount) = 0;

 protected:
  ~TickHost() = default;
};

// One timer tick of the working copy.
void UpdateTickWith(ScheduleState& s, TickHost& host);
