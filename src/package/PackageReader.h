// The package reader TGFileInfo, the logical end and the checksum.
// Portable: every operation works on a ByteSource, so the host build can test
// and fuzz it; the file-name forms live in PackageReaderWin.
#pragma once

#include <cstdint>
#include <string>

#include "package/ByteSource.h"
#include "package/PackageFormat.h"

// True when the file starts with "MZ" and has "PE" at offset 256.
bool IsPEFile(ByteSource& source);
// The logical end: the positive signed u32 at 252 of a PE file, else the size.
int64_t LogicalEnd(ByteSource& source);
// Reads the trailer at the logical end. A length word below 4, or one that
// places the trailer outside the file, leaves the copy all zero (no package)
// and returns false.
bool ReadTrailer(ByteSource& source, TrailerCopy& trailer);

// The 32-bit package sum (not a CRC) over the file up to the tail before the
// logical end; callers pass the trailer length.
uint32_t PackageChecksum(ByteSource& source, uint32_t tail);
// The package sum taken from reads that are made anyway. Every ReadAt
// passes through to inner; the bytes that continue the sum are added as they
// go by (a gap before them is read first, so the order holds), and Finish
// reads whatever no one read and gives PackageChecksum's value. An
// extraction reading its members through it reads the package once, not
// twice.
class ChecksummingSource : public ByteSource {
 public:
  ChecksummingSource(ByteSource& inner, uint32_t tail);
  int64_t Size() override { return inner_.Size(); }
  size_t ReadAt(int64_t offset, void* buf, size_t n) override;
  uint32_t Finish();

 private:
  bool Done() const { return ended_ || remaining_ <= 4; }  // nothing more can count
  void Feed(const uint8_t* p, size_t n);                   // the bytes at position_
  void CatchUp(int64_t upTo);                              // reads [position_, upTo)
  void EndBlockIfFull();

  ByteSource& inner_;
  int64_t position_ = 0;   // the next byte of the sum
  int64_t remaining_ = 0;  // counts down by 4 a word; a word counts while above 4
  uint32_t sum_ = 0;
  uint32_t blockFill_ = 0;  // bytes seen of the current 4096-byte block
  uint8_t partial_[4] = {};
  uint32_t partialSize_ = 0;
  bool ended_ = false;  // the file ended: the last block was short
};

// The checksum verdict of extraction: the package sum equals the trailer's.
// A source that cannot be read, or has no trailer to compare with, is a bad
// package (its zeroed trailer copy would agree with a sum of nothing).
bool ChecksumVerdict(ByteSource& source);

// --- Reader ------------------------------------------------------------------

class TGFileInfo {
 public:
  // Reads the trailer and the two header records. A source that cannot be
  // read, or one without package, gives an empty reader: flags false, fields
  // empty, table zero. Never fails.
  void Create(ByteSource& source);
  // Win32 only (PackageReaderWin.cpp): opens the file with deny-none sharing;
  // the required space on the drive of path.
  void Create(const std::string& fileName);
  double RequiredSpace(const std::string& path) const;
  void Destroy() { *this = TGFileInfo(); }

  // The trailer copy; after Create on a package its header-offset field holds
  // the offset of the first member.
  const TrailerCopy& Trailer() const { return trailer_; }
  const std::string& WebSetupText() const { return webSetupText_; }
  const std::string& AutoUpdateText() const { return autoUpdateText_; }
  // True when the magic matched and both records were read whole.
  bool HasPackage() const { return hasPackage_; }

  double RequiredSpaceForCluster(uint32_t clusterSize) const { return ::RequiredSpaceForCluster(trailer_, clusterSize); }
  uint32_t MemberCount() const { return trailer_.Word(kTrailerMemberCount); }
  uint32_t FirstMemberOffset() const { return trailer_.Word(kTrailerHeaderOffset); }
  uint32_t Checksum() const { return trailer_.Word(kTrailerChecksum); }

  bool ConfirmTempDrive() const { return trailer_.Flag(kFlagConfirmTempDrive); }
  bool IsWebSetup() const { return trailer_.Flag(kFlagWebSetup); }
  bool AskBeforeDownload() const { return trailer_.Flag(kFlagAskBeforeDownload); }
  bool InstallAutoUpdateProgram() const { return trailer_.Flag(kFlagInstallAutoUpdate); }
  bool IsAutoUpdateProgram() const { return trailer_.Flag(kFlagIsAutoUpdateProgram); }

  std::string DownloadLocation() const;
  std::string PackageFileName() const;
  bool AlwaysDownload() const;
  std::string WebToken(bool descramble) const;
  std::string PackageSizeText() const;

  std::string UpdateLocation() const;
  std::string AutoUpdateExeName() const;
  std::string UpdateToken(bool descramble) const;
  std::string InfoFileName() const;
  std::string OriginalInfoFileName() const;
  bool RunSetupHidden() const;

  // Equal plain tokens, case-sensitive. A token that fails descrambling on
  // either side never matches: two packages without a valid token are not
  // the same product.
  bool SameWebToken(const TGFileInfo& other) const;
  bool SameUpdateToken(const TGFileInfo& other) const;

 private:
  TrailerCopy trailer_;
  std::string webSetupText_;
  std::string autoUpdateText_;
  bool hasPackage_ = false;
};
