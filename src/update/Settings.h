// The portable rules of the settings: how stored texts read as integers and
// flags, the override values and their list form, the test-mode throttle and
// the time unit.
#pragma once

#include <cstdint>
#include <string>

// --- Stored texts ----------------------------------------------------------------
// A whole signed 64-bit decimal number, else 0 (the default of every integer key).
int64_t SettingInt(const std::string& text);
// The low 32 bits, signed: how every integer key but the Seconds keys is used.
int32_t Low32(int64_t value);
// True only for exactly "1" ("true", "01", "1 " are all false).
bool SettingFlag(const std::string& text);

// --- Message texts ----------------------------------------------------------------
// The program's own text for an [AutoUpdate] key, what MessageText falls back
// to (the line break stored as backslash, backslash, n); empty for the keys
// that have none. s22 names the program being checked: programName.
std::string OwnMessageText(const char* key, const std::string& programName = std::string());

// --- Overrides -------------------------------------------------------------------
// Six bytes a controller sets (commands 20 to 25); 255 means not set. They
// travel across a restart as the override list "|a|b|c|d|e|f|".
enum : int { kOverrideCount = 6 };
enum : uint8_t { kOverrideUnset = 255 };
enum OverrideIndex : int {
  kOverrideAskBeforeCheck = 0,
  kOverrideConfirmDownload = 1,
  kOverrideConfirmInstall = 2,
  kOverrideBackgroundUpdate = 3,
  kOverrideInformFinish = 4,
  kOverrideRestartProcess = 5,
};
extern uint8_t UpdateOverrides[kOverrideCount];

// Stores the low 8 bits of value; an index outside 0..5 changes nothing.
void SetOverride(int index, int64_t value);
// The effective value of a setting: the file's flag while its override is
// unset, else whether the override is 1.
bool EffectiveFlag(int index, bool fileFlag);
// Override 0 equals 1: the NEW UPDATE prompt before every check.
bool AskBeforeCheck();
// "|" and each value in decimal followed by "|".
std::string OverrideListText();
// Field i of text becomes override i; an empty, missing or non-numeric field
// keeps the current value.
void ApplyOverrideList(const std::string& text);

// --- Test mode ---------------------------------------------------------------------
// Whether the registry is read again: when forced, or when now (the tick
// count as a signed 32-bit number) is past the last read plus 30 s.
bool TestModeReadDue(bool force, int32_t now, int32_t lastRead);

// --- Time unit ---------------------------------------------------------------------
struct LocalDateTime {
  int year, month, day;
  int hour, minute, second, milliseconds;
};
// Whole seconds since 30 December 1899 00:00: the day count with its
// fraction times 86400, an exact half rounded to the even neighbour.
int64_t SecondsSince1899(const LocalDateTime& t);
