// The package reader and the checksum on arbitrary files: no crash, no
// over-read, the reader's invariants hold, and the block-wise sum agrees
// with the step-by-step one. Members are walked as extraction walks them,
// their reads feeding the sum as in extraction.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/checksum_reference.h"
#include "package/PackageReader.h"
#include "package/Inflate.h"

namespace {

struct Bounded : InflateSink {
  size_t total = 0;
  bool Write(const char*, size_t n) override {
    total += n;
    return total <= (1u << 20);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource src(data, size);
  const std::string file(reinterpret_cast<const char*>(data), size);
  const uint32_t reference = ReferenceChecksum(file, kTrailerLength);
  if (PackageChecksum(src, kTrailerLength) != reference) std::abort();

  TGFileInfo info;
  info.Create(src);
  const TrailerCopy& t = info.Trailer();
  if (t.length != 0 && (t.length < 4 || t.length > kTrailerLength)) std::abort();
  if (!info.HasPackage() && (!info.WebSetupText().empty() || !info.AutoUpdateText().empty())) std::abort();
  if (info.HasPackage() && info.FirstMemberOffset() > size) std::abort();

  // Every accessor, including the token comparisons, on every input.
  (void)info.RequiredSpaceForCluster(uint32_t(size) * 97);
  (void)(info.ConfirmTempDrive() + info.IsWebSetup() + info.AskBeforeDownload() + info.InstallAutoUpdateProgram() +
         info.IsAutoUpdateProgram() + info.AlwaysDownload() + info.RunSetupHidden());
  const std::string texts = info.DownloadLocation() + info.PackageFileName() + info.WebToken(true) +
                            info.PackageSizeText() + info.UpdateLocation() + info.AutoUpdateExeName() +
                            info.UpdateToken(true) + info.InfoFileName() + info.OriginalInfoFileName();
  (void)texts;
  // A token matches itself exactly when it descrambles.
  std::string plain;
  if (info.SameWebToken(info) != DescrambleTokenChecked(info.WebToken(false), plain)) std::abort();
  if (info.SameUpdateToken(info) != DescrambleTokenChecked(info.UpdateToken(false), plain)) std::abort();

  if (!info.HasPackage()) return 0;
  const int64_t end = LogicalEnd(src);
  int64_t at = info.FirstMemberOffset();
  // The shipped piece sizes for one input in four; small ones otherwise, so
  // piece boundaries fall inside members (and the fuzzer is not slowed by a
  // quarter-megabyte buffer per member).
  const uint8_t pick = uint8_t(size * 31 + data[size - 1]);
  const size_t readPiece = pick % 4 == 0 ? kMemberReadPiece : 1 + pick % 61;
  const size_t outputPiece = pick % 4 == 0 ? kMemberOutputPiece : 1 + pick % 509;
  ChecksummingSource passing(src, kTrailerLength);
  for (int i = 0; i < 8 && end - at > int64_t(kTrailerLength); ++i) {
    uint8_t b[4];
    if (src.ReadAt(at, b, 4) != 4) break;
    const uint32_t n = LoadLE32(b);
    Bounded sink;
    (void)InflateMemberFrom(passing, at + 4, n, sink, readPiece, outputPiece);
    at += 4 + int64_t(n);
  }
  if (passing.Finish() != reference) std::abort();
  return 0;
}
