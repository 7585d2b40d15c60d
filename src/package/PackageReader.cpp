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

// The sum runs over 4096-byte blocks from offset 0 (512 past a PE file's
// lead value): each whole word counts while the remaining length, less 4 for
// every word, stays above 4, and each block adds 1234 on the same condition.
// A short block (even an empty one) is the last.
constexpr uint32_t kSumBlock = 4096;

ChecksummingSource::ChecksummingSource(ByteSource& inner, uint32_t tail) : inner_(inner) {
  int64_t size = inner.Size();
  if (size < 0) {
    ended_ = true;  // unreadable: the sum of nothing
    return;
  }
  const int64_t lead = LeadValue(inner);
  if (lead > 0) size = lead;
  remaining_ = size - int64_t(tail);
  if (lead > 0) {
    remaining_ -= 512;
    position_ = 512;
  }
}

void ChecksummingSource::EndBlockIfFull() {
  if (blockFill_ < kSumBlock) return;
  blockFill_ = 0;
  if (remaining_ > 4) sum_ += 1234;
}

void ChecksummingSource::Feed(const uint8_t* p, size_t n) {
  while (n && !Done()) {
    if (partialSize_ || n < 4) {
      // A word split between two reads.
      partial_[partialSize_++] = *p++;
      --n;
      ++position_;
      if (partialSize_ < 4) continue;
      partialSize_ = 0;
      remaining_ -= 4;
      if (remaining_ > 4) sum_ += LoadLE32(partial_);
      blockFill_ += 4;
      EndBlockIfFull();
      continue;
    }
    size_t take = n & ~size_t(3);
    if (take > kSumBlock - blockFill_) take = kSumBlock - blockFill_;
    const int64_t words = int64_t(take / 4);
    int64_t counted = remaining_ > 8 ? (remaining_ - 8 + 3) / 4 : 0;
    if (counted > words) counted = words;
    sum_ += SumWords(p, size_t(counted));
    remaining_ -= 4 * words;
    blockFill_ += uint32_t(take);
    position_ += int64_t(take);
    p += take;
    n -= take;
    EndBlockIfFull();
  }
}

void ChecksummingSource::CatchUp(int64_t upTo) {
  constexpr size_t kChunk = 16 * kSumBlock;
  std::unique_ptr<uint8_t[]> buffer;
  while (position_ < upTo && !Done()) {
    if (!buffer) buffer.reset(new uint8_t[kChunk]);
    const size_t want = upTo - position_ < int64_t(kChunk) ? size_t(upTo - position_) : kChunk;
    const int64_t at = position_;
    const size_t got = inner_.ReadAt(at, buffer.get(), want);
    Feed(buffer.get(), got);
    if (got < want) {
      // The last, short block (perhaps empty) still adds its 1234.
      if (!Done()) sum_ += 1234;
      ended_ = true;
    }
  }
}

size_t ChecksummingSource::ReadAt(int64_t offset, void* buf, size_t n) {
  const size_t got = inner_.ReadAt(offset, buf, n);
  if (offset < 0 || Done() || offset + int64_t(got) <= position_) return got;
  if (offset > position_) CatchUp(offset);
  if (!Done() && offset <= position_ && position_ < offset + int64_t(got)) {
    const size_t skip = size_t(position_ - offset);
    Feed(static_cast<const uint8_t*>(buf) + skip, got - skip);
  }
  return got;
}

uint32_t ChecksummingSource::Finish() {
  CatchUp(INT64_MAX);
  return sum_;
}

uint32_t PackageChecksum(ByteSource& source, uint32_t tail) {
  ChecksummingSource sum(source, tail);
  return sum.Finish();
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

// Compares the secret tokens in field 3 of two web-setup or update texts.
bool SameToken(const std::string& textA, const std::string& textB) {
  std::string pa, pb;
  return DescrambleTokenChecked(GetField(textA, 3), pa) &&
         DescrambleTokenChecked(GetField(textB, 3), pb) && pa == pb;
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

std::string TGFileInfo::DownloadLocation() const { return GetField(webSetupText_, 0); }
std::string TGFileInfo::PackageFileName() const { return GetField(webSetupText_, 1); }
bool TGFileInfo::AlwaysDownload() const { return GetField(webSetupText_, 2) == "1"; }
std::string TGFileInfo::PackageSizeText() const { return GetField(webSetupText_, 4); }

std::string TGFileInfo::WebToken(bool descramble) const {
  const std::string t = GetField(webSetupText_, 3);
  return descramble ? DescrambleToken(t) : t;
}

std::string TGFileInfo::UpdateLocation() const { return GetField(autoUpdateText_, 0); }
std::string TGFileInfo::AutoUpdateExeName() const { return GetField(autoUpdateText_, 2); }
bool TGFileInfo::RunSetupHidden() const { return GetField(autoUpdateText_, 4) == "1"; }

std::string TGFileInfo::UpdateToken(bool descramble) const {
  const std::string t = GetField(autoUpdateText_, 3);
  return descramble ? DescrambleToken(t) : t;
}

std::string TGFileInfo::InfoFileName() const {
  return FileNamePart(ChangeFileExt(GetField(autoUpdateText_, 1), ".info"));
}

std::string TGFileInfo::OriginalInfoFileName() const {
  return FileNamePart(ChangeFileExt(GetField(autoUpdateText_, 1), ".original"));
}

bool TGFileInfo::SameWebToken(const TGFileInfo& other) const {
  return SameToken(webSetupText_, other.webSetupText_);
}

bool TGFileInfo::SameUpdateToken(const TGFileInfo& other) const {
  return SameToken(autoUpdateText_, other.autoUpdateText_);
}
