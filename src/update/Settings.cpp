#include "update/Settings.h"

#include "support/Utils.h"

int64_t SettingInt(const std::string& text) {
  int64_t v;
  return TextToInt64(text, v) ? v : 0;
}

int32_t Low32(int64_t value) { return int32_t(uint32_t(uint64_t(value))); }

bool SettingFlag(const std::string& text) { return text == "1"; }

// --- Message texts ----------------------------------------------------------------

std::string OwnMessageText(const char* keyText, const std::string& programName) {
  const std::string key = keyText;
  if (key == "s1")
    return "<b>INTERNET DOWNLOAD</b><p><p>Kovrex will download the Setup File from the Internet...<p>"
           "Please make sure your Internet connection is properly set.<p><p>Continue with Setup?<p>";
  if (key == "s2") return "No valid Internet Connection.<p>Can not Download File!";
  if (key == "s3") return "File Download Aborted!";
  if (key == "s4") return "File not Found!";
  if (key == "s5") return "Unable to Download File!";
  if (key == "s22")
    return "<b>NEW UPDATE</b>\\\\n\\\\nKovrex will check if a new update is available for: <b>" + programName +
           "</b>\\\\n";
  if (key == "s23") return "Please make sure your Internet connection is properly set.\\\\n";
  if (key == "s24") return "\\\\nDo you want to check and install the new Update?";
  return std::string();
}

// --- Overrides -------------------------------------------------------------------

uint8_t UpdateOverrides[kOverrideCount] = {kOverrideUnset, kOverrideUnset, kOverrideUnset,
                                           kOverrideUnset, kOverrideUnset, kOverrideUnset};

void SetOverride(int index, int64_t value) {
  if (index >= 0 && index < kOverrideCount) UpdateOverrides[index] = uint8_t(uint64_t(value));
}

bool EffectiveFlag(int index, bool fileFlag) {
  if (index < 0 || index >= kOverrideCount || UpdateOverrides[index] == kOverrideUnset) return fileFlag;
  return UpdateOverrides[index] == 1;
}

bool AskBeforeCheck() { return UpdateOverrides[kOverrideAskBeforeCheck] == 1; }

std::string OverrideListText() {
  std::string list = "|";
  for (uint8_t v : UpdateOverrides) list += IntToText(v) + "|";
  return list;
}

void ApplyOverrideList(const std::string& text) {
  for (int i = 0; i < kOverrideCount; ++i) {
    int64_t v;
    if (TextToInt64(GetField(text, i), v)) SetOverride(i, v);
  }
}

// --- Test mode ---------------------------------------------------------------------

bool TestModeReadDue(bool force, int32_t now, int32_t lastRead) {
  // The sum wraps as a 32-bit tick count does.
  return force || now > int32_t(uint32_t(lastRead) + 30000u);
}

// --- Time unit ---------------------------------------------------------------------

int64_t SecondsSince1899(const LocalDateTime& t) {
  const int64_t days = DaysFromCivil(t.year, t.month, t.day) - DaysFromCivil(1899, 12, 30);
  const int64_t ms = days * 86400000 + ((int64_t(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.milliseconds;
  // Whole milliseconds make the only inexact case a half second exactly.
  uint32_t rest;
  int64_t seconds = FloorDivMod64(ms, 1000, rest);
  if (rest > 500 || (rest == 500 && (seconds & 1))) ++seconds;
  return seconds;
}
