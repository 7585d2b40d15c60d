// The package appended to the stub: byte layout, checksum, token and the
// reader TGFileInfo. Portable: every operation works on a ByteSource, so the
// host build can test and fuzz it; the file-name forms live in PackXWin.cpp.
//
// Layout (all integers little-endian, offsets absolute):
//   stub image | u32 len + WebSetupRecord | u32 len + AutoUpdateRecord |
//   members (u32 len + one zlib stream each) | 74-byte trailer | [anything]
// The trailer ends at the logical end: the signed u32 at offset 252 of a PE
// file when it is above 0, else the physical end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// --- Byte sources ------------------------------------------------------------

// A read-only random-access view of a file or a buffer.
class ByteSource {
 public:
  virtual ~ByteSource();
  // Size in bytes; -1 when the source could not be opened.
  virtual int64_t Size() = 0;
  // Reads up to n bytes at offset; returns the count read (0 at or past the
  // end, on a negative offset and on failure).
  virtual size_t ReadAt(int64_t offset, void* buf, size_t n) = 0;
};

// A buffer in memory; the caller keeps it alive.
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  explicit MemorySource(const std::string& bytes) : MemorySource(bytes.data(), bytes.size()) {}
  int64_t Size() override { return int64_t(size_); }
  size_t ReadAt(int64_t offset, void* buf, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Seeks a C stream to a 64-bit offset; 0 on success.
int SeekFile(FILE* f, int64_t offset);

// A file read through the C library (the builder and host tools).
class StdioFileSource : public ByteSource {
 public:
  explicit StdioFileSource(const std::string& fileName);
  ~StdioFileSource() override;
  StdioFileSource(const StdioFileSource&) = delete;
  StdioFileSource& operator=(const StdioFileSource&) = delete;
  bool IsOpen() const { return file_ != nullptr; }
  int64_t Size() override;
  size_t ReadAt(int64_t offset, void* buf, size_t n) override;

 private:
  FILE* file_ = nullptr;
};

// --- Layout ------------------------------------------------------------------

constexpr uint32_t kPackageMagic = 0x4A3B2C1D;
constexpr uint32_t kTrailerLength = 74;
constexpr int64_t kLogicalEndOffset = 252;
constexpr int64_t kPEOffset = 256;

// Offsets inside the trailer.
enum TrailerField : uint32_t {
  kTrailerOne = 0,
  kTrailerHeaderOffset = 4,
  kTrailerMemberCount = 8,
  kTrailerMagic = 12,
  kTrailerChecksum = 16,
  kTrailerReserved = 20,
  kTrailerSpaceTable = 28,  // 9 x u32
  kTrailerReservedByte = 64,
  kFlagConfirmTempDrive = 65,
  kFlagWebSetup = 66,
  kFlagAskBeforeDownload = 67,
  kFlagInstallAutoUpdate = 68,
  kFlagIsAutoUpdateProgram = 69,
  kTrailerLengthField = 70,
};

// The trailer's first 70 bytes as read, and the trailer length actually used.
// All zero means "no package".
struct TrailerCopy {
  uint8_t bytes[kTrailerLengthField] = {};
  uint32_t length = 0;

  uint32_t Word(uint32_t offset) const;
  void SetWord(uint32_t offset, uint32_t value);
  bool Flag(uint32_t offset) const { return offset < kTrailerLengthField && bytes[offset] != 0; }
  bool HasMagic() const { return Word(kTrailerMagic) == kPackageMagic; }
  // The 74 bytes as stored in a file.
  std::string Serialize() const;
};

uint32_t LoadLE32(const uint8_t* p);
void StoreLE32(uint8_t* p, uint32_t value);

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

// Required bytes on a drive with the given cluster size (0 = unknown): table
// entry i for the largest i in 1..8 with 256*2^i not above the cluster size,
// entry 0 below 512.
double RequiredSpaceForCluster(const TrailerCopy& trailer, uint32_t clusterSize);

// --- Secret token ------------------------------------------------------------

// The plain token, or false when the text fails the length or check-byte test.
bool DescrambleTokenChecked(const std::string& text, std::string& plain);
// As above, but a failing text yields the decimal text of a random number
// from 0 to 99998.
std::string DescrambleToken(const std::string& text);
// The stored form of a plain token: lower-case letters that DescrambleToken
// turns back into plain. The random bytes come from a clock-seeded generator.
std::string ScrambleToken(const std::string& plain);

// --- Members -----------------------------------------------------------------

// The header of a decompressed member: "|name|date|" NUL content.
struct MemberHeader {
  std::string name;       // as stored, run marker included
  std::string fileName;   // name before "*"
  std::string arguments;  // text after "*"
  bool isRunTarget = false;
  uint32_t dosDate = 0;   // 0 = no stamp
};

// Parses the header text (the bytes before the first NUL).
MemberHeader ParseMemberHeader(const std::string& headerText);
// Splits a decompressed member at its first NUL; false when there is none.
bool SplitMember(const std::string& inflated, MemberHeader& header, size_t& contentOffset);

// --- Reader ------------------------------------------------------------------

class TGFileInfo {
 public:
  // Reads the trailer and the two header records. A source that cannot be
  // read, or one without package, gives an empty reader: flags false, fields
  // empty, table zero. Never fails.
  void Create(ByteSource& source);
#ifdef _WIN32
  // Opens the file with deny-none sharing (PackXWin.cpp).
  void Create(const std::string& fileName);
  double RequiredSpace(const std::string& path) const;
#endif
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

#ifdef _WIN32
// The file-name forms (PackXWin.cpp); each opens and closes the file itself.
bool IsPEFile(const std::string& fileName);
bool ReadTrailer(const std::string& fileName, TrailerCopy& trailer);
uint32_t PackageChecksum(const std::string& fileName, uint32_t tail);
// Bytes per cluster of the drive named by the path's first three characters;
// 0 when unknown.
uint32_t ClusterSize(const std::string& path);
#endif
