#include "update/Settings.h"
#include "support/Utils.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using std::string;

// The overrides are process-wide: every test starts with all of them unset.
class Overrides : public ::testing::Test {
 protected:
  void SetUp() override { ApplyOverrideList("|255|255|255|255|255|255|"); }
  void TearDown() override { ApplyOverrideList("|255|255|255|255|255|255|"); }
};

TEST(SettingTexts, IntegersReadWholeDecimalTextElseZero) {
  struct Case { const char* text; int64_t value; } cases[] = {
      {"0", 0}, {"86400", 86400}, {"-1", -1}, {"+7", 7},
      {"123456789012", 123456789012},  // twelve digits read whole
      {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", 0},  // out of range
      {"abc", 0}, {"12abc", 0}, {"", 0}, {"-", 0}, {" 5", 0}, {"0x10", 0}, {"1e3", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(SettingInt(c.text), c.value) << c.text;
}

TEST(SettingTexts, Low32KeepsTheLowBitsSigned) {
  EXPECT_EQ(Low32(123456789012), int32_t(0xBE991A14));
  EXPECT_EQ(Low32(4294967296 + 5), 5);
  EXPECT_EQ(Low32(2147483648), INT32_MIN);
  EXPECT_EQ(Low32(-1), -1);
}

TEST(SettingTexts, FlagIsExactlyOne) {
  EXPECT_TRUE(SettingFlag("1"));
  for (const char* off : {"0", "", "true", "TRUE", "01", "yes", "1 ", " 1", "2", "-1"})
    EXPECT_FALSE(SettingFlag(off)) << '"' << off << '"';
}

TEST(SettingTexts, OwnMessageTexts) {
  EXPECT_EQ(OwnMessageText("s3"), "File Download Aborted!");
  EXPECT_EQ(OwnMessageText("s2"), "No valid Internet Connection.<p>Can not Download File!");
  EXPECT_EQ(OwnMessageText("s22", "My App"),
            "<b>NEW UPDATE</b>\\\\n\\\\nKovrex will check if a new update is available for: <b>My App</b>\\\\n");
  // Stored breaks are two backslashes and n, which the markup reader turns into lines.
  EXPECT_EQ(MarkupToText(OwnMessageText("s23")), "Please make sure your Internet connection is properly set.\r\n");
  EXPECT_EQ(MarkupToText(OwnMessageText("s24")), "\r\nDo you want to check and install the new Update?");
  for (const char* none : {"s11", "s12", "s13", "s14", "s15", "s16", "s17", "s21", "S3", "s6", ""})
    EXPECT_EQ(OwnMessageText(none, "x"), "") << none;
}

TEST_F(Overrides, AllUnsetAtFirst) { EXPECT_EQ(OverrideListText(), "|255|255|255|255|255|255|"); }

TEST_F(Overrides, EffectiveValueIsTheFileFlagOnlyWhileUnset) {
  EXPECT_TRUE(EffectiveFlag(kOverrideConfirmInstall, true));
  EXPECT_FALSE(EffectiveFlag(kOverrideConfirmInstall, false));
  SetOverride(kOverrideConfirmInstall, 0);
  EXPECT_FALSE(EffectiveFlag(kOverrideConfirmInstall, true));
  SetOverride(kOverrideConfirmInstall, 1);
  EXPECT_TRUE(EffectiveFlag(kOverrideConfirmInstall, false));
  SetOverride(kOverrideConfirmInstall, 7);  // set, but not 1
  EXPECT_FALSE(EffectiveFlag(kOverrideConfirmInstall, true));
  // The others are untouched.
  EXPECT_TRUE(EffectiveFlag(kOverrideConfirmDownload, true));
}

TEST_F(Overrides, SetOverrideStoresTheLowByteAndIgnoresOtherIndexes) {
  SetOverride(0, 257);
  SetOverride(1, -1);  // 255 again: unset
  SetOverride(5, 0x1FE);
  SetOverride(-1, 1);
  SetOverride(6, 1);
  EXPECT_EQ(OverrideListText(), "|1|255|255|255|255|254|");
}

TEST_F(Overrides, AskBeforeCheckOnlyWhenOverrideZeroIsOne) {
  EXPECT_FALSE(AskBeforeCheck());
  SetOverride(kOverrideAskBeforeCheck, 2);
  EXPECT_FALSE(AskBeforeCheck());
  SetOverride(kOverrideAskBeforeCheck, 1);
  EXPECT_TRUE(AskBeforeCheck());
}

TEST_F(Overrides, ApplyListKeepsEmptyMissingAndNonNumericFields) {
  ApplyOverrideList("|1||0|x|");
  EXPECT_EQ(OverrideListText(), "|1|255|0|255|255|255|");
  struct Case { const char* list; const char* after; } cases[] = {
      {"|9|8|7|6|5|4|", "|9|8|7|6|5|4|"},
      {"|256|-2|300|||", "|0|254|44|6|5|4|"},  // low 8 bits; empty fields keep
      {"", "|0|254|44|6|5|4|"},                 // no list: nothing changes
      {"|1 |+1|", "|0|1|44|6|5|4|"},            // a blank spoils a number
      {"|1|2|3|4|5|6|7|8|", "|1|2|3|4|5|6|"},   // extra fields ignored
      {"|255|255|255|255|255|255|", "|255|255|255|255|255|255|"},
  };
  for (const auto& c : cases) {
    ApplyOverrideList(c.list);
    EXPECT_EQ(OverrideListText(), c.after) << c.list;
  }
}

TEST_F(Overrides, ListTextRoundTrips) {
  SetOverride(0, 1);
  SetOverride(3, 0);
  const string text = OverrideListText();
  ApplyOverrideList("|255|255|255|255|255|255|");
  ApplyOverrideList(text);
  EXPECT_EQ(OverrideListText(), text);
  EXPECT_EQ(text, "|1|255|255|0|255|255|");
}

TEST(TestModeThrottle, ReadsWhenForcedOrThirtySecondsPassed) {
  struct Case { bool force; int32_t now, last; bool due; } cases[] = {
      {true, 5, 5, true},
      {false, 30000, 0, false}, {false, 30001, 0, true},
      {false, 100000, 99000, false},
      {false, -5, 0, false},                      // tick count past 2^31 reads as negative
      {false, INT32_MAX, INT32_MAX - 10000, true},  // the sum wraps to a negative number
  };
  for (const auto& c : cases)
    EXPECT_EQ(TestModeReadDue(c.force, c.now, c.last), c.due) << c.force << " " << c.now << " " << c.last;
}

TEST(TimeUnit, SecondsSince30December1899) {
  struct Case { LocalDateTime t; int64_t seconds; } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0},
      {{1899, 12, 31, 0, 0, 1, 0}, 86401},
      {{1900, 1, 1, 0, 0, 0, 0}, 172800},
      {{1900, 3, 1, 0, 0, 0, 0}, 5270400},  // 1900 had no 29 February
      {{2000, 1, 1, 0, 0, 0, 0}, 3155846400},
      {{2024, 2, 29, 12, 34, 56, 0}, 3918371696},
      {{2038, 1, 19, 3, 14, 8, 0}, 4356645248},  // past the 32-bit range
      {{1899, 12, 29, 0, 0, 0, 0}, -86400},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SecondsSince1899(c.t), c.seconds) << c.t.year << "-" << c.t.month << "-" << c.t.day;
}

TEST(TimeUnit, MillisecondsRoundToNearestAndHalvesToEven) {
  struct Case { int second, ms; int64_t offset; } cases[] = {
      {0, 499, 0}, {0, 500, 0}, {0, 501, 1},  // 0.5 goes to the even 0
      {1, 500, 2}, {2, 500, 2}, {3, 500, 4},  // 1.5 and 2.5 to 2, 3.5 to 4
      {59, 999, 60},
  };
  const int64_t base = 3918371640;  // 2024-02-29 12:34:00
  for (const auto& c : cases)
    EXPECT_EQ(SecondsSince1899({2024, 2, 29, 12, 34, c.second, c.ms}), base + c.offset) << c.second << "." << c.ms;
  // Before the epoch the half lies between -1 and 0: the even one is 0.
  EXPECT_EQ(SecondsSince1899({1899, 12, 29, 23, 59, 59, 500}), 0);
  EXPECT_EQ(SecondsSince1899({1899, 12, 29, 23, 59, 58, 500}), -2);
}

}  // namespace
