#include "support/Utils.h"

#include <ctime>

namespace {

char UpChar(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Text cut before its first NUL: the searches that stop there use it.
std::string CutAtNul(const std::string& s) {
  size_t n = s.find('\0');
  return n == std::string::npos ? s : s.substr(0, n);
}

}  // namespace

std::string UpperCase(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = UpChar(c);
  return r;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string ReverseText(const std::string& s) { return std::string(s.rbegin(), s.rend()); }

bool TextEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpChar(a[i]) != UpChar(b[i])) return false;
  return true;
}

// --- Delimited lists -------------------------------------------------------

int FieldCount(const std::string& list) {
  if (list.empty() || list.back() != list.front()) return 0;
  int n = 0;
  for (size_t i = 1; i < list.size() && list[i] != '\0'; ++i)
    if (list[i] == list[0]) ++n;
  return n;
}

std::string GetField(const std::string& list, int index, const char* def) {
  if (list.empty() || index < 0) return def;
  const char d = list[0];
  size_t at = 0;  // position of delimiter number `index`
  for (int k = 0; k < index; ++k) {
    at = list.find(d, at + 1);
    if (at == std::string::npos) return def;
  }
  size_t next = list.find(d, at + 1);
  if (next == std::string::npos || next == at + 1) return def;
  return list.substr(at + 1, next - at - 1);
}

std::string SetField(const std::string& list, int index, const std::string& value) {
  const std::string src = list.empty() ? std::string("|") : list;
  const char d = src[0];
  int count = FieldCount(src);
  if (index >= 0 && count < index + 1) count = index + 1;
  std::string r(1, d);
  for (int i = 0; i < count; ++i) {
    r += (i == index) ? value : GetField(src, i);
    r += d;
  }
  return r;
}

std::string GetListValue(const std::string& list, const std::string& key, const std::string& def) {
  if (list.size() <= 2 || list.front() != list.back()) return def;
  const std::string d(1, list[0]);
  std::string searchKey = d + key;
  if (searchKey.back() != '=') searchKey += '=';
  std::string work = ReplaceAll(list, d + " ", d, false);
  work = ReplaceAll(work, " =", "=", false);
  int p = PosCI(searchKey, work);
  if (p == 0) return def;
  std::string rest = work.substr(size_t(p) - 1 + searchKey.size());
  size_t end = rest.find(d[0]);
  return end == std::string::npos ? rest : rest.substr(0, end);
}

// --- Searching -------------------------------------------------------------

int Pos(const std::string& needle, const std::string& text) {
  if (needle.empty()) return 0;
  size_t p = text.find(needle);
  return p == std::string::npos ? 0 : int(p + 1);
}

int PosCI(const std::string& needle, const std::string& text) {
  return Pos(UpperCase(needle), UpperCase(text));
}

int PosFrom(const std::string& needle, const std::string& text, int start) {
  if (start < 1 || size_t(start) > text.size() || needle.empty()) return 0;
  const std::string t = CutAtNul(text);
  size_t p = t.find(needle, size_t(start) - 1);
  return p == std::string::npos ? 0 : int(p + 1);
}

int PosFromCI(const std::string& needle, const std::string& text, int start) {
  return PosFrom(UpperCase(needle), UpperCase(text), start);
}

int LastPos(const std::string& needle, const std::string& text) {
  int p = Pos(ReverseText(needle), ReverseText(text));
  if (p == 0) return 0;
  return int(text.size()) - int(needle.size()) - p + 2;
}

int PosFromEnd(const std::string& needle, const std::string& text) {
  return Pos(ReverseText(UpperCase(needle)), ReverseText(UpperCase(text)));
}

int32_t MinInt(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t MaxInt(int32_t a, int32_t b) { return a > b ? a : b; }

// --- Replacing and converting ----------------------------------------------

std::string ReplaceAll(const std::string& text, std::string_view oldText, std::string_view newText, bool ignoreCase) {
  if (oldText.empty()) return text;
  const std::string work = ignoreCase ? UpperCase(text) : text;
  std::string pat(oldText);
  if (ignoreCase) pat = UpperCase(pat);
  const size_t m = pat.size();

  if (!newText.empty()) {
    // Inserted text is never searched again, and nothing before a replacement
    // can match later, so one left-to-right pass gives the same result as
    // repeatedly replacing the first occurrence.
    std::string out;
    size_t from = 0, p;
    while ((p = work.find(pat, from)) != std::string::npos) {
      out.append(text, from, p - from);
      out.append(newText.data(), newText.size());
      from = p + m;
    }
    out.append(text, from, std::string::npos);
    return out;
  }

  // Deleting can join the text on both sides into a new occurrence, which the
  // next round must remove too. Removing the earliest-ending occurrence as the
  // text is read is the same as removing the first one over and over.
  std::string outText, outWork;
  outText.reserve(text.size());
  outWork.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    outText.push_back(text[i]);
    outWork.push_back(work[i]);
    if (outWork.size() >= m && HoldsAt(outWork, outWork.size() - m, pat)) {
      outWork.resize(outWork.size() - m);
      outText.resize(outText.size() - m);
    }
  }
  return outText;
}

bool HoldsAt(const std::string& text, size_t pos, std::string_view what) {
  return pos <= text.size() && text.size() - pos >= what.size() && text.compare(pos, what.size(), what) == 0;
}

std::string Replace(const std::string& text, std::string_view oldText, std::string_view newText) {
  return ReplaceAll(text, oldText, newText, false);
}

std::string ReplaceCI(const std::string& text, std::string_view oldText, std::string_view newText) {
  return ReplaceAll(text, oldText, newText, true);
}

std::string MarkupToText(const std::string& text) {
  // One pass: the marks cannot overlap one another, and what replaces them
  // holds none of their characters, so this is the same as replacing each
  // mark in turn. Three line breaks, then the tab.
  static const char kMarks[] = "\\\\n<p><P>\\\\t";
  std::string r;
  for (size_t i = 0; i < text.size(); ++i) {
    int k = 0;
    while (k < 4 && !HoldsAt(text, i, {kMarks + 3 * k, 3})) ++k;
    if (k == 4) {
      r += text[i];
      continue;
    }
    r += k < 3 ? "\r\n" : "\t";
    i += 2;
  }
  return r;
}

int64_t ParseNumber(const std::string& text, int base) {
  static const char kDigits[] = "0123456789ABCDEF";
  const std::string s = Trim(UpperCase(text));
  // Unsigned arithmetic: overflow wraps as the 64-bit sum would, without UB.
  uint64_t sum = 0, place = 1;
  for (size_t i = s.size(); i-- > 0;) {
    int64_t digit = -1;
    for (int k = 0; k < 16; ++k)
      if (s[i] == kDigits[k]) { digit = k; break; }
    sum += uint64_t(digit) * place;
    place *= uint64_t(int64_t(base));
  }
  return int64_t(sum);
}

int32_t ParseHex(const std::string& text) { return int32_t(uint32_t(uint64_t(ParseNumber(text, 16)))); }

uint64_t DivMod64Bitwise(uint64_t n, uint64_t d, uint64_t& rem) {
  uint64_t q = 0, r = 0;
  for (int i = 63; i >= 0; --i) {
    const bool carry = r >> 63;  // r < d, but 2r may not fit
    r = r << 1 | ((n >> i) & 1);
    if (carry || r >= d) {
      r -= d;
      q |= uint64_t(1) << i;
    }
  }
  rem = r;
  return q;
}

__attribute__((noinline)) uint64_t DivMod64(uint64_t n, uint64_t d, uint64_t& rem) {
#if UINTPTR_MAX == 0xFFFFFFFFu
  // Decimal text and clock arithmetic mostly fit in 32 bits: one instruction.
  if ((n >> 32) == 0 && (d >> 32) == 0) {
    rem = uint32_t(n) % uint32_t(d);
    return uint32_t(n) / uint32_t(d);
  }
  return DivMod64Bitwise(n, d, rem);
#else
  rem = n % d;
  return n / d;
#endif
}

int64_t FloorDivMod64(int64_t n, uint32_t d, uint32_t& rem) {
  uint64_t r;
  if (n >= 0) {
    const uint64_t q = DivMod64(uint64_t(n), d, r);
    rem = uint32_t(r);
    return int64_t(q);
  }
  // -|n| = -(q * d) - r = -(q + 1) * d + (d - r)
  const uint64_t q = DivMod64(0 - uint64_t(n), d, r);
  rem = r ? uint32_t(d - r) : 0;
  return -int64_t(q) - (r ? 1 : 0);
}

int64_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2);
  // Floor division by 400 without the overflow of y - 399 near the lower bound.
  int era = y / 400, yoe = y % 400;
  if (yoe < 0) {
    --era;
    yoe += 400;
  }
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return int64_t(era) * 146097 + doe;
}

std::string IntToText(int64_t value) {
  char buf[24];
  char* p = buf + sizeof buf;
  uint64_t v = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  do {
    uint64_t digit;
    v = DivMod64(v, 10, digit);
    *--p = char('0' + digit);
  } while (v);
  if (value < 0) *--p = '-';
  return std::string(p, buf + sizeof buf);
}

bool TextToInt64(const std::string& text, int64_t& value) {
  size_t i = 0;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i == text.size()) return false;
  // The limit is INT64_MAX (or its magnitude plus one): 922337203685477580
  // tens and a last digit of 7 (8).
  const uint64_t maxTens = uint64_t(INT64_MAX) / 10;
  const unsigned maxLast = neg ? 8 : 7;
  uint64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    unsigned d = unsigned(c - '0');
    if (v > maxTens || (v == maxTens && d > maxLast)) return false;
    v = v * 10 + d;
  }
  value = neg ? int64_t(0 - v) : int64_t(v);
  return true;
}

std::string RandomNumberText(int64_t low, int64_t high) {
  if (high <= low) return IntToText(low);
  // Reseeded from the clock on every call; the counter keeps two calls in the
  // same clock tick apart.
  // (C clock functions rather than <chrono>, which drags libstdc++'s
  // exception support into the stub.)
  static uint64_t calls = 0;
  uint64_t x = (uint64_t(std::time(nullptr)) << 20) ^ uint64_t(std::clock());
  x += 0x9E3779B97F4A7C15ull * ++calls;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  const uint64_t span = uint64_t(high) - uint64_t(low) + 1;  // at most 2^32 + 1 by contract
  uint64_t offset;
  DivMod64(x, span, offset);
  return IntToText(int64_t(uint64_t(low) + offset));
}

// --- Paths -----------------------------------------------------------------

std::string PathJoin(const std::string& folder, const std::string& name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  path += '\\';
  path += name;
  return path;
}

std::string SetTrailingBackslash(const std::string& path, bool add) {
  std::string r(path);
  if (r.size() >= 3 && r.back() == '\\') r.pop_back();
  if (add) r += '\\';
  return r;
}

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLE32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

namespace {
const char kPathSeparators[] = "\\/:";
}  // namespace

std::string FileNamePart(const std::string& path) {
  const size_t p = path.find_last_of(kPathSeparators);
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string FileTitle(const std::string& path) {
  const std::string name = FileNamePart(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string FolderPart(const std::string& path) {
  const size_t p = path.find_last_of(kPathSeparators);
  if (p == std::string::npos) return std::string();
  std::string folder = path.substr(0, p + 1);
  // A root ("C:\\") or the leading "\\\\" of a network path keeps its backslash.
  if (folder.back() != ':' && !(p > 0 && (folder[p - 1] == ':' || folder[p - 1] == '\\'))) folder.pop_back();
  return folder;
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const size_t p = path.find_last_of(".\\/:");
  if (p == std::string::npos || path[p] != '.') return path + ext;
  return path.substr(0, p) + ext;
}

std::string CollapseBackslashes(const std::string& path) {
  if (path.empty()) return path;
  std::string r(1, path[0]);
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '\\' && r.size() > 1 && r.back() == '\\') continue;
    r += path[i];
  }
  return r;
}

// --- Command line ----------------------------------------------------------

std::string QuoteProgramPath(const std::string& path) {
  return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

bool HasArguments(const std::string& commandLine) {
  size_t i = 0;
  const size_t n = commandLine.size();
  while (i < n && IsBlank(commandLine[i])) ++i;
  for (bool quoted = false; i < n && (quoted || !IsBlank(commandLine[i])); ++i)
    if (commandLine[i] == '"') quoted = !quoted;
  while (i < n && IsBlank(commandLine[i])) ++i;
  return i < n;
}

namespace {

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// Length of the program token at the start of a command line, by the rules
// the C runtime parses it with: a double quote toggles quoting (and is not
// part of the name), a blank or a tab outside quotes ends the token. A line
// that starts with the program's own full path, unquoted and whole, has that
// path as its token even when it holds blanks: the system found the program
// that way.
size_t ProgramTokenLength(const std::string& line, const std::string& programFile) {
  const size_t n = programFile.size();
  if (n > 0 && line.size() >= n && TextEquals(line.substr(0, n), programFile) &&
      (line.size() == n || IsBlankOrTab(line[n])))
    return n;
  bool quoted = false;
  size_t i = 0;
  for (; i < line.size(); ++i) {
    if (line[i] == '"')
      quoted = !quoted;
    else if (!quoted && IsBlankOrTab(line[i]))
      break;
  }
  return i;
}

}  // namespace

std::string CommandTailOf(const std::string& commandLine, const std::string& programFile) {
  // Blanks before the program token are not part of it.
  size_t start = 0;
  while (start < commandLine.size() && IsBlankOrTab(commandLine[start])) ++start;
  const std::string line = commandLine.substr(start);
  // Everything after the program token goes on as it stands, quotes
  // included; only the blanks around it are dropped.
  return Trim(line.substr(ProgramTokenLength(line, programFile)));
}

std::string SwitchValueIn(const std::string& tail, const std::string& switchText) {
  int p = PosCI(switchText, tail);
  if (p == 0) return std::string();
  std::string rest = tail.substr(size_t(p) - 1 + switchText.size());
  if (rest.empty()) return "TRUE";
  if (rest.front() == '"') {
    rest.erase(0, 1);
    size_t q = rest.find('"');
    if (q != std::string::npos) rest.resize(q);
  } else {
    size_t b = rest.find(' ');
    if (b != std::string::npos) rest.resize(b);
    size_t s = rest.find('/');
    if (s != std::string::npos) rest.resize(s);
  }
  return Trim(rest);
}

bool HasSwitchIn(const std::string& tail, const std::string& switchText) {
  return PosCI(switchText, tail) > 0;
}

int64_t SwitchIntIn(const std::string& tail, const std::string& switchText, int64_t def) {
  int64_t v;
  return TextToInt64(SwitchValueIn(tail, switchText), v) ? v : def;
}
