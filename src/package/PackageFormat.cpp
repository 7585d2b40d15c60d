#include "package/PackageFormat.h"

#include <cstring>

#include "support/Utils.h"

uint32_t TrailerCopy::Word(uint32_t offset) const {
  if (offset == kTrailerLengthField) return length;
  if (offset > kTrailerLengthField - 4) return 0;
  return LoadLE32(bytes + offset);
}

void TrailerCopy::SetWord(uint32_t offset, uint32_t value) {
  if (offset == kTrailerLengthField)
    length = value;
  else if (offset <= kTrailerLengthField - 4)
    StoreLE32(bytes + offset, value);
}

std::string TrailerCopy::Serialize() const {
  uint8_t all[kTrailerLength];
  std::memcpy(all, bytes, sizeof bytes);
  StoreLE32(all + kTrailerLengthField, length);
  return std::string(reinterpret_cast<const char*>(all), sizeof all);
}

std::string LengthPrefixed(const std::string& bytes) {
  uint8_t n[4];
  StoreLE32(n, uint32_t(bytes.size()));
  return std::string(reinterpret_cast<const char*>(n), 4) + bytes;
}

std::string EncodeRecord(const std::vector<std::string>& fields) {
  std::string r = "|";
  for (const auto& f : fields) r += f + "|";
  return r;
}

const TrailerFlagName kTrailerFlagNames[5] = {
    {kFlagConfirmTempDrive, "confirm-temp-drive"},   {kFlagWebSetup, "web-setup"},
    {kFlagAskBeforeDownload, "ask-before-download"}, {kFlagInstallAutoUpdate, "install-auto-update"},
    {kFlagIsAutoUpdateProgram, "auto-update-program"},
};

double RequiredSpaceForCluster(const TrailerCopy& trailer, uint32_t clusterSize) {
  uint32_t entry = trailer.Word(kTrailerSpaceTable);
  for (uint32_t i = 1; i <= 8; ++i)
    if ((256u << i) <= clusterSize) entry = trailer.Word(kTrailerSpaceTable + 4 * i);
  return double(entry);
}

// --- Secret token ------------------------------------------------------------
//
// Stored form: every byte as two upper-case hex digits, each character code
// raised by 50 (so "0".."9" become "b".."k" and "A".."F" "s".."x"). The bytes:
//   B1 | B2 = p | B3 = q | p filler | plain | q-1 filler | check | Bk
// where B2..B(k-1) are stored xor (B1 xor Bk), and the check byte is the sum
// of all the other stored bytes modulo 256.

bool DescrambleTokenChecked(const std::string& text, std::string& plain) {
  plain.clear();
  std::string shifted(text);
  for (char& c : shifted) c = char(uint8_t(c) - 50);
  // A lone last character makes a byte of its own.
  std::string b;
  for (size_t i = 0; i < shifted.size(); i += 2) b += char(uint8_t(ParseHex(shifted.substr(i, 2))));
  const size_t k = b.size();
  if (k <= 4) return false;
  uint8_t sum = 0;
  for (size_t i = 0; i < k; ++i)
    if (i != k - 2) sum = uint8_t(sum + uint8_t(b[i]));
  if (sum != uint8_t(b[k - 2])) return false;
  const uint8_t key = uint8_t(b[0]) ^ uint8_t(b[k - 1]);
  for (size_t i = 1; i + 1 < k; ++i) b[i] = char(uint8_t(b[i]) ^ key);
  // 1-based start B2 + 4 and count k - B2 - B3 - 4, clipped to the bytes.
  const int64_t start = int64_t(uint8_t(b[1])) + 4;
  const int64_t count = int64_t(k) - uint8_t(b[1]) - uint8_t(b[2]) - 4;
  if (count > 0 && start <= int64_t(k)) plain = b.substr(size_t(start - 1), size_t(count));
  return true;
}

std::string DescrambleToken(const std::string& text) {
  std::string plain;
  return DescrambleTokenChecked(text, plain) ? plain : RandomNumberText(0, 99998);
}

namespace {

// Filler bytes only: no secret depends on them. A small xorshift generator,
// its state never zero.
uint8_t FillerByte(uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return uint8_t(state >> 24);
}

}  // namespace

std::string ScrambleToken(const std::string& plain, uint64_t seed) {
  uint64_t state = seed ? seed : 0x9E3779B97F4A7C15ull;
  auto RandomByte = [&state] { return FillerByte(state); };
  const uint8_t lead = uint8_t(RandomByte() % 8);        // filler before the token
  const uint8_t trail = uint8_t(1 + RandomByte() % 8);   // filler after it, plus the check byte
  const uint8_t first = RandomByte();
  const uint8_t last = RandomByte();
  const uint8_t key = first ^ last;

  std::string b;
  b += char(first);
  b += char(lead ^ key);
  b += char(trail ^ key);
  for (int i = 0; i < lead; ++i) b += char(RandomByte());
  for (char c : plain) b += char(uint8_t(c) ^ key);
  for (int i = 1; i < trail; ++i) b += char(RandomByte());
  uint8_t check = 0;
  for (char c : b) check = uint8_t(check + uint8_t(c));
  check = uint8_t(check + last);
  b += char(check);
  b += char(last);

  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * b.size());
  for (char c : b) {
    text += char(kDigits[uint8_t(c) >> 4] + 50);
    text += char(kDigits[uint8_t(c) & 15] + 50);
  }
  return text;
}

// --- Members -----------------------------------------------------------------

MemberHeader ParseMemberHeader(const std::string& headerText) {
  MemberHeader h;
  h.name = GetField(headerText, 0);
  int64_t date = 0;
  if (TextToInt64(GetField(headerText, 1), date) && date >= 0 && date <= int64_t(UINT32_MAX))
    h.dosDate = uint32_t(date);
  const size_t star = h.name.find('*');
  h.isRunTarget = star != std::string::npos;
  h.fileName = h.isRunTarget ? h.name.substr(0, star) : h.name;
  if (h.isRunTarget) h.arguments = h.name.substr(star + 1);
  return h;
}

bool SplitMember(const std::string& inflated, MemberHeader& header, size_t& contentOffset) {
  const size_t nul = inflated.find('\0');
  if (nul == std::string::npos) return false;
  header = ParseMemberHeader(inflated.substr(0, nul));
  contentOffset = nul + 1;
  return true;
}

std::string MemberHeaderText(const std::string& storedName, uint32_t dosDate) {
  return EncodeRecord({storedName, IntToText(dosDate)});
}

namespace {

// Characters Windows refuses in a file name, and the separators.
const char kNotInFileNames[] = "\\/:*?\"<>|";

bool AllowedInFileName(char c) { return uint8_t(c) >= 32 && !std::strchr(kNotInFileNames, c); }

// Windows opens these as devices whatever the extension and letter case, so
// "nul.bin" is discarded and "COM1.txt" goes to a port. Blanks before the
// extension are dropped before the test ("nul .txt"). The digits include the
// superscripts 1, 2 and 3 of the ANSI code page.
bool IsDeviceName(const std::string& name) {
  std::string base = UpperCase(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* device = "CON\0PRN\0AUX\0NUL\0CONIN$\0CONOUT$\0"; *device; device = NextName(device))
    if (base == device) return true;
  if (base.size() != 4 || (!HoldsAt(base, 0, "COM") && !HoldsAt(base, 0, "LPT"))) return false;
  const uint8_t digit = uint8_t(base[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// Windows drops a trailing dot or blank when it opens the name, so the file
// written would not be the one named.
bool EndsTrimmed(const std::string& name) { return !name.empty() && (name.back() == '.' || name.back() == ' '); }

}  // namespace

bool IsPlainMemberName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (!AllowedInFileName(c)) return false;
  return !EndsTrimmed(name) && !IsDeviceName(name);
}

std::string MemberNameProblem(const std::string& name) {
  if (IsPlainMemberName(name)) return std::string();
  if (name.empty()) return "the name is empty";
  for (char c : name) {
    if (uint8_t(c) < 32) return "control characters are not allowed";
    if (!AllowedInFileName(c)) return std::string("'") + c + "' is not allowed in a plain file name";
  }
  if (name == "." || name == "..") return "not a file name";
  if (EndsTrimmed(name)) return "Windows trims a trailing dot or blank from a file name";
  return "a reserved device name on Windows (CON, PRN, AUX, NUL, COM0-9, LPT0-9), with any extension";
}

void AddToSpaceTable(uint64_t table[9], uint64_t contentBytes) {
  table[0] += contentBytes;
  for (int i = 1; i <= 8; ++i) {
    const uint64_t cluster = uint64_t(256) << i;
    table[i] += (contentBytes + cluster - 1) / cluster * cluster;
  }
}
