#include "package/PackX.h"

#include <cstring>
#include <ctime>
#include <memory>

#include "support/Utils.h"

// --- Byte sources ------------------------------------------------------------

ByteSource::~ByteSource() = default;

size_t MemorySource::ReadAt(int64_t offset, void* buf, size_t n) {
  if (offset < 0 || uint64_t(offset) >= size_) return 0;
  size_t k = size_ - size_t(offset);
  if (k > n) k = n;
  std::memcpy(buf, data_ + offset, k);
  return k;
}

int SeekFile(FILE* f, int64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, offset, SEEK_SET);
#else
  return fseeko(f, off_t(offset), SEEK_SET);
#endif
}

namespace {

int64_t FileLength(FILE* f) {
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  return _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  return int64_t(ftello(f));
#endif
}

}  // namespace

StdioFileSource::StdioFileSource(const std::string& fileName) : file_(std::fopen(fileName.c_str(), "rb")) {}

StdioFileSource::~StdioFileSource() {
  if (file_) std::fclose(file_);
}

int64_t StdioFileSource::Size() { return file_ ? FileLength(file_) : -1; }

size_t StdioFileSource::ReadAt(int64_t offset, void* buf, size_t n) {
  if (!file_ || offset < 0 || SeekFile(file_, offset) != 0) return 0;
  return std::fread(buf, 1, n, file_);
}

// --- Layout ------------------------------------------------------------------

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLE32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

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

namespace {

bool ReadExact(ByteSource& source, int64_t offset, void* buf, size_t n) {
  return source.ReadAt(offset, buf, n) == n;
}

// Reads a u32 at offset; false when the four bytes are not all there.
bool ReadWord(ByteSource& source, int64_t offset, uint32_t& value) {
  uint8_t b[4];
  if (!ReadExact(source, offset, b, 4)) return false;
  value = LoadLE32(b);
  return true;
}

// Sum of n little-endian words, modulo 2^32. A plain loop of loads the
// compiler can vectorise; the byte-wise form only where the host differs.
uint32_t SumWords(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (size_t j = 0; j < n; ++j) {
    uint32_t w;
    std::memcpy(&w, p + 4 * j, 4);
    sum += w;
  }
#else
  for (size_t j = 0; j < n; ++j) sum += LoadLE32(p + 4 * j);
#endif
  return sum;
}

// The signed value at 252 of a PE file, else 0.
int64_t LeadValue(ByteSource& source) {
  uint32_t v = 0;
  if (!IsPEFile(source) || !ReadWord(source, kLogicalEndOffset, v)) return 0;
  return int64_t(int32_t(v));
}

}  // namespace

bool IsPEFile(ByteSource& source) {
  uint8_t mz[2], pe[2];
  return ReadExact(source, 0, mz, 2) && ReadExact(source, kPEOffset, pe, 2) && mz[0] == 'M' && mz[1] == 'Z' &&
         pe[0] == 'P' && pe[1] == 'E';
}

int64_t LogicalEnd(ByteSource& source) {
  int64_t lead = LeadValue(source);
  return lead > 0 ? lead : source.Size();
}

bool ReadTrailer(ByteSource& source, TrailerCopy& trailer) {
  trailer = TrailerCopy();
  const int64_t size = source.Size();
  const int64_t end = LogicalEnd(source);
  uint32_t n = 0;
  if (size < 0 || end > size || end < 4 || !ReadWord(source, end - 4, n)) return false;
  // A word below 4 would make the read length negative; a trailer starting
  // before the file is no trailer at all.
  if (n < 4 || int64_t(n) > end) return false;
  const uint32_t m = n < kTrailerLength ? n : kTrailerLength;
  if (!ReadExact(source, end - int64_t(n), trailer.bytes, m - 4)) {
    trailer = TrailerCopy();
    return false;
  }
  trailer.length = m;
  return true;
}

uint32_t PackageChecksum(ByteSource& source, uint32_t tail) {
  int64_t size = source.Size();
  if (size < 0) return 0;
  const int64_t lead = LeadValue(source);
  if (lead > 0) size = lead;
  int64_t remaining = size - int64_t(tail);
  int64_t position = 0;
  if (lead > 0) {
    remaining -= 512;
    position = 512;
  }

  // The sum runs over 4096-byte blocks; reading several at once only saves
  // calls. A short block (even an empty one) is the last.
  constexpr size_t kBlock = 4096;
  constexpr size_t kChunk = 16 * kBlock;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
  uint8_t* const chunk = buffer.get();
  uint32_t sum = 0;
  for (;;) {
    // Nothing more can count once remaining is down to 4: it only falls.
    if (remaining <= 4) return sum;
    const size_t got = source.ReadAt(position, chunk, kChunk);
    position += int64_t(got);
    for (size_t at = 0;; at += kBlock) {
      const size_t k = got - at < kBlock ? got - at : kBlock;
      const int64_t words = int64_t(k / 4);
      // Word j of the block (0-based) counts while remaining - 4(j+1) > 4.
      int64_t counted = remaining > 8 ? (remaining - 8 + 3) / 4 : 0;
      if (counted > words) counted = words;
      const uint8_t* p = chunk + at;
      sum += SumWords(p, size_t(counted));
      remaining -= 4 * words;
      if (remaining > 4) sum += 1234;
      if (k < kBlock) return sum;
      if (at + kBlock == got) break;
    }
  }
}

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

// Filler bytes only: no secret depends on them. Seeded through the C clock
// functions: <chrono> would pull libstdc++'s exception support into the stub.
uint64_t fillerState = 0;

uint8_t RandomByte() {
  uint64_t& state = fillerState;
  if (state == 0) state = ((uint64_t(std::time(nullptr)) << 20) ^ uint64_t(std::clock())) | 1;
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return uint8_t(state >> 24);
}

}  // namespace

std::string ScrambleToken(const std::string& plain) {
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
  h.name = GetField(headerText, 0, std::string());
  int64_t date = 0;
  if (TextToInt64(GetField(headerText, 1, std::string()), date) && date >= 0 && date <= int64_t(UINT32_MAX))
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

// --- Reader ------------------------------------------------------------------

namespace {

// Reads one length-prefixed record at offset; false when it runs past the end.
bool ReadRecord(ByteSource& source, int64_t size, int64_t& offset, std::string& text) {
  uint32_t n = 0;
  if (!ReadWord(source, offset, n) || int64_t(n) > size - offset - 4) return false;
  text.assign(n, '\0');
  if (n && !ReadExact(source, offset + 4, &text[0], n)) return false;
  offset += 4 + int64_t(n);
  return true;
}

// The file-name part: after the last backslash, slash or drive colon.
std::string FileNamePart(const std::string& path) {
  const size_t p = path.find_last_of("\\/:");
  return p == std::string::npos ? path : path.substr(p + 1);
}

// The extension starts at the last "." of the file-name part.
std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const size_t p = path.find_last_of(".\\/:");
  if (p == std::string::npos || path[p] != '.') return path + ext;
  return path.substr(0, p) + ext;
}

bool SameToken(const std::string& a, const std::string& b) {
  std::string pa, pb;
  return DescrambleTokenChecked(a, pa) && DescrambleTokenChecked(b, pb) && pa == pb;
}

}  // namespace

void TGFileInfo::Create(ByteSource& source) {
  *this = TGFileInfo();
  if (!ReadTrailer(source, trailer_) || !trailer_.HasMagic()) return;
  const int64_t size = source.Size();
  int64_t offset = trailer_.Word(kTrailerHeaderOffset);
  std::string web, update;
  if (!ReadRecord(source, size, offset, web) || !ReadRecord(source, size, offset, update)) return;
  webSetupText_ = web;
  autoUpdateText_ = update;
  trailer_.SetWord(kTrailerHeaderOffset, uint32_t(offset));
  hasPackage_ = true;
}

std::string TGFileInfo::DownloadLocation() const { return GetField(webSetupText_, 0, std::string()); }
std::string TGFileInfo::PackageFileName() const { return GetField(webSetupText_, 1, std::string()); }
bool TGFileInfo::AlwaysDownload() const { return GetField(webSetupText_, 2, std::string()) == "1"; }
std::string TGFileInfo::PackageSizeText() const { return GetField(webSetupText_, 4, std::string()); }

std::string TGFileInfo::WebToken(bool descramble) const {
  const std::string t = GetField(webSetupText_, 3, std::string());
  return descramble ? DescrambleToken(t) : t;
}

std::string TGFileInfo::UpdateLocation() const { return GetField(autoUpdateText_, 0, std::string()); }
std::string TGFileInfo::AutoUpdateExeName() const { return GetField(autoUpdateText_, 2, std::string()); }
bool TGFileInfo::RunSetupHidden() const { return GetField(autoUpdateText_, 4, std::string()) == "1"; }

std::string TGFileInfo::UpdateToken(bool descramble) const {
  const std::string t = GetField(autoUpdateText_, 3, std::string());
  return descramble ? DescrambleToken(t) : t;
}

std::string TGFileInfo::InfoFileName() const {
  return FileNamePart(ChangeFileExt(GetField(autoUpdateText_, 1, std::string()), ".info"));
}

std::string TGFileInfo::OriginalInfoFileName() const {
  return FileNamePart(ChangeFileExt(GetField(autoUpdateText_, 1, std::string()), ".original"));
}

bool TGFileInfo::SameWebToken(const TGFileInfo& other) const {
  return SameToken(GetField(webSetupText_, 3, std::string()), GetField(other.webSetupText_, 3, std::string()));
}

bool TGFileInfo::SameUpdateToken(const TGFileInfo& other) const {
  return SameToken(GetField(autoUpdateText_, 3, std::string()), GetField(other.autoUpdateText_, 3, std::string()));
}
