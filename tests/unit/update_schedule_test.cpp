#include "flows/UpdateSchedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int64_t kDay = 86400;

// The working copy's world, scripted: a clock that moves one second a tick,
// the stored probe times, and what the tick asked for.
class FakeHost final : public TickHost {
 public:
  int64_t now = 1000 * kDay;
  int64_t interval = 0, last = 0;
  bool testMode = false, askBeforeCheck = false, answer = true;
  std::vector<int32_t> checks;  // tick counts at which a check ran
  int prompts = 0, quits = 0;
  int32_t lastTick = 0;
  ScheduleState* state = nullptr;

  bool ReadTestMode(bool) override { return testMode; }
  int64_t ProbeSecondsInterval() override { return interval; }
  int64_t ProbeSecondsLast() override { return last; }
  int64_t NowSeconds() override { return now; }
  bool AskBeforeCheck() override { return askBeforeCheck; }
  bool AskCheckPrompt() override {
    ++prompts;
    return answer;
  }
  void PerformUpdate() override {
    checks.push_back(lastTick);
    last = now;  // the check records its probe time
  }
  void PostQuit() override { ++quits; }
  void TraceTick(int32_t tickCount) override { lastTick = tickCount; }
};

void Ticks(ScheduleState& s, FakeHost& h, int n) {
  for (int i = 0; i < n; ++i) {
    UpdateTickWith(s, h);
    h.now += 1;
  }
}

TEST(UpdateSchedule, ProbeDueTable) {
  struct Case {
    int64_t interval, last, now;
    bool testMode, autoChecks, requested;
    int due;
  } cases[] = {
      {86400, 0, 86400, false, true, false, 1},      // due at the time, not only after it
      {86400, 1, 86400, false, true, false, 0},
      {0, 50, 10, false, true, false, 0},            // zero interval: due once the clock passed the last probe
      {0, 0, 10, false, true, false, 2},             // ... and it is the single check
      {-1, 0, 1 << 30, false, true, false, 0},       // never on its own
      {-1, 0, 0, false, true, true, 1},              // but on request
      {86400, 100, 104, true, true, false, 0},       // test mode: every 5 seconds
      {86400, 100, 105, true, true, false, 1},
      {0, 0, 10, true, true, false, 2},              // test mode keeps the meaning of 0
      {86400, 0, 1 << 30, false, false, false, 0},   // automatic checks switched off
      {86400, 0, 0, false, false, true, 1},
      {0x100000000LL + 10, 0, 10, false, true, false, 1},  // the interval counts by its low 32 bits
  };
  for (const auto& c : cases) {
    ScheduleState s;
    s.autoChecksEnabled = c.autoChecks;
    s.checkNowRequested = c.requested;
    EXPECT_EQ(ProbeDueFor(s, c.interval, c.last, c.now, c.testMode), c.due)
        << c.interval << " " << c.last << " " << c.now;
    EXPECT_FALSE(s.checkNowRequested);  // consumed in every case
  }
}

TEST(UpdateSchedule, ReAskAndValidVersions) {
  EXPECT_FALSE(ReAskDueFor(200, 100, 100));  // strictly after
  EXPECT_TRUE(ReAskDueFor(201, 100, 100));
  EXPECT_FALSE(ReAskDueFor(1 << 30, 100, 0));  // 0 never re-asks
  EXPECT_FALSE(ReAskDueFor(1 << 30, 100, -5));
  EXPECT_TRUE(VersionIsValidFor(4, ""));
  EXPECT_TRUE(VersionIsValidFor(4, "3,4,5"));
  EXPECT_FALSE(VersionIsValidFor(4, "3, 4"));  // a blank after the comma never matches
  EXPECT_TRUE(VersionIsValidFor(3, "3, 4"));
  EXPECT_FALSE(VersionIsValidFor(1, "13,21"));
  EXPECT_TRUE(LocationNeedsInternet("http://x"));
  EXPECT_TRUE(LocationNeedsInternet("\\\\srv\\share"));
  EXPECT_FALSE(LocationNeedsInternet("C:\\Updates"));
  EXPECT_FALSE(LocationNeedsInternet("ab"));
}

TEST(UpdateSchedule, DailyCheckOnTheFourthTickAndThenADayLater) {
  ScheduleState s;
  FakeHost h;
  h.interval = kDay;
  h.last = h.now - kDay - 1;
  Ticks(s, h, 10);
  EXPECT_EQ(h.checks, std::vector<int32_t>{1});  // tick 4 after start: count 1
  h.now = h.last + kDay;
  Ticks(s, h, 1);
  EXPECT_EQ(h.checks.size(), 2u);
}

TEST(UpdateSchedule, ZeroIntervalChecksOnceUntilRequested) {
  ScheduleState s;
  FakeHost h;
  Ticks(s, h, 10);
  EXPECT_EQ(h.checks.size(), 1u);
  EXPECT_FALSE(s.autoChecksEnabled);
  s.checkNowRequested = true;  // command 31 with value 1
  Ticks(s, h, 3);
  EXPECT_EQ(h.checks.size(), 2u);
  EXPECT_EQ(h.prompts, 0);  // no prompt unless asked for
}

TEST(UpdateSchedule, RequestDuringTheStartDelayWaitsForItsEnd) {
  ScheduleState s;
  FakeHost h;
  h.interval = -1;
  s.checkNowRequested = true;  // command 31 with 1 before the first tick
  Ticks(s, h, 3);
  EXPECT_TRUE(h.checks.empty());
  Ticks(s, h, 1);
  EXPECT_EQ(h.checks, std::vector<int32_t>{1});
}

TEST(UpdateSchedule, InteractiveCheckSkipsTheDelayAndPrompts) {
  ScheduleState s;
  FakeHost h;
  h.interval = -1;
  s.checkNowRequested = true;  // command 31 with 2
  s.checkMode = 2;
  Ticks(s, h, 1);
  EXPECT_EQ(h.prompts, 1);
  EXPECT_EQ(h.checks.size(), 1u);
  EXPECT_EQ(s.checkMode, 0);
  // Declined: no check.
  s.checkNowRequested = true;
  s.checkMode = 2;
  h.answer = false;
  Ticks(s, h, 1);
  EXPECT_EQ(h.prompts, 2);
  EXPECT_EQ(h.checks.size(), 1u);
}

TEST(UpdateSchedule, AskBeforeCheckPromptsEveryCheck) {
  ScheduleState s;
  FakeHost h;
  h.askBeforeCheck = true;
  h.answer = false;
  Ticks(s, h, 4);
  EXPECT_EQ(h.prompts, 1);
  EXPECT_TRUE(h.checks.empty());
}

TEST(UpdateSchedule, CountdownEndsOnTheThirdTickAfterTheCommand) {
  ScheduleState s;
  FakeHost h;
  h.interval = -1;
  s.exitCountdown = 2;  // command 30 with value 2
  Ticks(s, h, 2);
  EXPECT_EQ(h.quits, 0);
  Ticks(s, h, 1);
  EXPECT_GE(h.quits, 1);
  EXPECT_EQ(s.exitCountdown, -1);
  const int quits = h.quits;
  Ticks(s, h, 3);
  EXPECT_EQ(h.quits, quits);  // -1: never again
}

TEST(UpdateSchedule, DelaySwitchMovesTheFirstCheck) {
  ScheduleState s;
  s.tickCount = -60;  // /DELAYx=60
  FakeHost h;
  Ticks(s, h, 60);
  EXPECT_TRUE(h.checks.empty());
  Ticks(s, h, 1);
  EXPECT_EQ(h.checks.size(), 1u);
}

// A tick that arrives while a check pumps messages does nothing at all.
class ReentrantHost final : public TickHost {
 public:
  ScheduleState* s = nullptr;
  int checks = 0;
  bool ReadTestMode(bool) override { return false; }
  int64_t ProbeSecondsInterval() override { return 0; }
  int64_t ProbeSecondsLast() override { return 0; }
  int64_t NowSeconds() override { return 10; }
  bool AskBeforeCheck() override { return false; }
  bool AskCheckPrompt() override { return true; }
  void PerformUpdate() override {
    ++checks;
    const ScheduleState before = *s;
    UpdateTickWith(*s, *this);
    EXPECT_EQ(s->tickCount, before.tickCount);
    EXPECT_EQ(s->exitCountdown, before.exitCountdown);
  }
  void PostQuit() override {}
  void TraceTick(int32_t) override {}
};

TEST(UpdateSchedule, TicksDuringACheckAreSkipped) {
  ScheduleState s;
  s.tickCount = 0;
  s.exitCountdown = 5;
  ReentrantHost h;
  h.s = &s;
  UpdateTickWith(s, h);
  EXPECT_EQ(h.checks, 1);
  EXPECT_EQ(s.exitCountdown, 4);
  EXPECT_FALSE(s.tickBusy);
}

}  // namespace
