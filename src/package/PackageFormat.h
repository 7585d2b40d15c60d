// The package format, shared by the stub's reader and the builder: layout
// constants, the trailer, the two header records, the member header, the
// member-name rule and the secret token. Portable.
//
// Layout (all integers little-endian, offsets absolute):
//   stub image | u32 len + WebSetupRecord | u32 len + AutoUpdateRecord |
//   members (u32 len + one zlib stream each) | 74-byte trailer | [anything]
// The trailer ends at the logical end: the signed u32 at offset 252 of a PE
// file when it is above 0, else the physical end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/Utils.h"

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


// A length-prefixed record as stored: u32 length, then the bytes.
std::string LengthPrefixed(const std::string& bytes);

// --- Header records ----------------------------------------------------------
// Both records are delimited lists ("|a|b|c|"); these are their fields.
enum WebSetupField : int {
  kWebDownloadLocation = 0,
  kWebPackageFileName = 1,
  kWebAlwaysDownload = 2,  // "1": ignore a copy beside the stub
  kWebToken = 3,           // scrambled
  kWebPackageSize = 4,     // decimal text, shown in the download question
};
enum AutoUpdateField : int {
  kUpdateLocation = 0,
  kUpdateInfoFile = 1,   // base name of the two info files
  kUpdateExeName = 2,    // installed file name of the auto-update program
  kUpdateToken = 3,      // scrambled
  kUpdateRunHidden = 4,  // "1": the setup runs without window
};
// A record from its fields in order.
std::string EncodeRecord(const std::vector<std::string>& fields);

// The trailer's flag bytes and the names the builder's options give them.
struct TrailerFlagName {
  uint32_t offset;
  const char* name;
};
extern const TrailerFlagName kTrailerFlagNames[5];

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
// turns back into plain. The filler bytes come from a generator started at
// seed, so the same plain text and seed give the same stored text (the
// builder derives the seed from its inputs, for reproducible packages).
std::string ScrambleToken(const std::string& plain, uint64_t seed);

// --- Members -----------------------------------------------------------------

// The header of a decompressed member: "|name|date|" NUL content.
struct MemberHeader {
  std::string name;       // as stored, run marker included
  std::string fileName;   // name before "*"
  std::string arguments;  // text after "*"
  bool isRunTarget = false;
  uint32_t dosDate = 0;   // 0 = no stamp
};

// The header text of a member as stored before its NUL: "|name|date|".
std::string MemberHeaderText(const std::string& storedName, uint32_t dosDate);
// Parses the header text (the bytes before the first NUL).
MemberHeader ParseMemberHeader(const std::string& headerText);
// Splits a decompressed member at its first NUL; false when there is none.
bool SplitMember(const std::string& inflated, MemberHeader& header, size_t& contentOffset);

// A plain Windows file name, one that can only land inside the extraction
// folder. The builder refuses other names and extraction never writes them.
bool IsPlainMemberName(const std::string& name);
// Empty for a plain name; otherwise what is wrong with it, for the builder.
std::string MemberNameProblem(const std::string& name);

// Adds a member of contentBytes to the required-space table: entry 0 counts
// the bytes, entry i (1..8) the bytes rounded up to clusters of 256 << i.
void AddToSpaceTable(uint64_t table[9], uint64_t contentBytes);
