#include "update/HttpClient.h"

#include <cmath>

#include "support/Utils.h"

const char kDownloadAborted[] = "Download Aborted";

namespace {

// Rounds to the nearest integer, a half to the even neighbour.
int64_t RoundHalfEven(double x) {
  const double down = std::floor(x);
  const double rest = x - down;
  int64_t r = int64_t(down);
  if (rest > 0.5 || (rest == 0.5 && (r & 1) != 0)) ++r;
  return r;
}

// Digits only, at least one, no sign.
bool ParseDigits(const std::string& text, size_t from, size_t to, int64_t& value) {
  if (from >= to || to - from > 18) return false;
  value = 0;
  for (size_t i = from; i < to; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::string PartFileName(const std::string& destFile, int32_t length, uint32_t stamp) {
  const int32_t sum = int32_t(uint32_t(length) + stamp);
  return destFile + "." + IntToText(sum);
}

bool IsPartFileName(const std::string& destName, const std::string& fileName) {
  if (fileName.size() <= destName.size() + 1 || fileName[destName.size()] != '.') return false;
  if (!TextEquals(fileName.substr(0, destName.size()), destName)) return false;
  const std::string suffix = fileName.substr(destName.size() + 1);
  int64_t value = 0;
  // Only the form PartFileName writes: no "+", no leading zeros.
  return TextToInt64(suffix, value) && value >= INT32_MIN && value <= INT32_MAX && IntToText(value) == suffix;
}

int32_t ChunkSize(int32_t length) {
  if (length <= 0) return 0;
  if (length < 10) return length;
  return length / 10 < kMaxChunk ? length / 10 : kMaxChunk;
}

int ProgressHigh(int32_t length, int32_t chunk) {
  return chunk > 0 ? int(RoundHalfEven(double(length) / double(chunk)) + 1) : 0;
}

int ProgressPosition(int64_t held, int32_t chunk) {
  return chunk > 0 ? int(RoundHalfEven(double(held) / double(chunk))) : 0;
}

uint32_t PackDosStamp(int year, int month, int day, int hour, int minute, int second) {
  static const uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1) return 0;
  const int days = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  if (day > days || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return 0;
  const uint32_t date = uint32_t((year - 1980) << 9 | month << 5 | day);
  const uint32_t time = uint32_t(hour << 11 | minute << 5 | second / 2);
  return date << 16 | time;
}

std::string RangeHeader(int64_t held) { return "Range: bytes=" + IntToText(held) + "-\r\n"; }

bool ParseContentRange(const std::string& text, int64_t& first, int64_t& last, int64_t& total) {
  const std::string t = Trim(text);
  const std::string unit = "bytes ";
  if (t.size() <= unit.size() || !TextEquals(t.substr(0, unit.size()), unit)) return false;
  const size_t dash = t.find('-', unit.size());
  const size_t slash = t.find('/', unit.size());
  if (dash == std::string::npos || slash == std::string::npos || dash > slash) return false;
  return ParseDigits(t, unit.size(), dash, first) && ParseDigits(t, dash + 1, slash, last) &&
         ParseDigits(t, slash + 1, t.size(), total) && first <= last && last < total;
}

int32_t ResumedLength(int status, int64_t held, int32_t contentLength, const std::string& contentRange) {
  int64_t first = 0, last = 0, total = 0;
  if (status != 206 || held <= 0 || !ParseContentRange(contentRange, first, last, total)) return -1;
  if (first != held || last != total - 1 || total > INT32_MAX) return -1;
  if (contentLength != total - held) return -1;
  return int32_t(total);
}

std::string InitializeError() { return "Unable to initialize \"WinINet.dll\""; }
std::string OpenUrlError(const std::string& url) { return "Unable to open URL: " + url; }
std::string NotFoundError(const std::string& url) { return url + "\\\\n\\\\nFile Not Found !"; }
