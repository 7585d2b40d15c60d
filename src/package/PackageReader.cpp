#include "package/PackageReader.h"

#include <cstring>
#include <memory>
#if defined(__i386__) && !defined(__SSE2__)
#include <cpuid.h>
#endif

#include "support/Utils.h"

namespace {

// Sum of n little-endian words, modulo 2^32: the one loop of the checksum
// pass, so it runs on 128-bit vectors where the processor has them (two
// accumulators of four lanes; the lanes are folded together at the end) and
// word by word elsewhere.
uint32_t SumWordsPlain(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
  for (size_t j = 0; j < n; ++j) sum += LoadLE32(p + 4 * j);
  return sum;
}

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
typedef uint32_t Lanes __attribute__((vector_size(16)));

inline __attribute__((always_inline)) uint32_t SumWordsLanes(const uint8_t* p, size_t n) {
  Lanes a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
  size_t j = 0;
  for (; j + 8 <= n; j += 8) {
    Lanes x, y;
    std::memcpy(&x, p + 4 * j, 16);
    std::memcpy(&y, p + 4 * j + 16, 16);
    a += x;
    b += y;
  }
  a += b;
  return a[0] + a[1] + a[2] + a[3] + SumWordsPlain(p + 4 * j, n - j);
}

#if defined(__i386__) && !defined(__SSE2__)
// The 32-bit build targets processors without SSE2 as well: the vector loop
// is chosen once the processor says it has it.
__attribute__((target("sse2"))) uint32_t SumWordsSse2(const uint8_t* p, size_t n) { return SumWordsLanes(p, n); }

bool HasSse2() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2);
}

uint32_t SumWords(const uint8_t* p, size_t n) {
  static const bool sse2 = HasSse2();
  return sse2 ? SumWordsSse2(p, n) : SumWordsPlain(p, n);
}
#else
uint32_t SumWords(const uint8_t* p, size_t n) { return SumWordsLanes(p, n); }
#endif
#else
uint32_t SumWords(const uint8_t* p, size_t n) { return SumWordsPlain(p, n); }
#endif

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

bool ChecksumVerdict(ByteSource& source) {
  TrailerCopy trailer;
  return ReadTrailer(source, trailer) && PackageChecksum(source, trailer.length) == trailer.Word(kTrailerChecksum);
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
