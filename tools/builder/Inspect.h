// kpack info and kpack verify: what a package holds and whether it is sound,
// read with the stub's own reader (TGFileInfo, ReadTrailer, PackageChecksum,
// the member inflater), so they see what the stub will see.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/ByteSource.h"
#include "package/PackageReader.h"

namespace kpack {

struct MemberFacts {
  int64_t offset = 0;      // of its length word
  uint32_t packed = 0;     // stored (compressed) length
  uint64_t size = 0;       // content bytes after inflating
  MemberHeader header;     // name, run marker and arguments, date
  bool hasHeader = false;  // a NUL ended the header
  std::string damage;      // zlib's message, or why it could not be read
};

struct PackageFacts {
  int64_t fileSize = 0;
  int64_t logicalEnd = 0;
  bool logicalEndStored = false;  // a PE file with the end at offset 252
  std::string stubKind;           // "PE32 i386 GUI", ...
  int64_t stubSize = 0;           // bytes before the header records
  bool trailerRead = false;
  TrailerCopy trailer;            // as stored (header offset not moved)
  TGFileInfo info;
  uint32_t computedChecksum = 0;
  std::vector<MemberFacts> members;
  int64_t membersEnd = 0;         // where the last member read ends
  int64_t trailerAt = 0;
  // The PE certificate table (a signature), when it lies after the logical end.
  int64_t signatureAt = 0, signatureSize = 0;
};

// Reads everything info and verify show, inflating every member without
// writing it. False only when the file cannot be opened.
bool ReadPackageFacts(ByteSource& source, PackageFacts& facts);

// One line per problem; none for a sound package. token: verify --token.
std::vector<std::string> PackageProblems(const PackageFacts& facts, const std::string* token);

std::string InfoText(const std::string& path, const PackageFacts& facts, bool showTokens);
std::string InfoJson(const std::string& path, const PackageFacts& facts, bool showTokens);
std::string VerifyText(const std::string& path, const PackageFacts& facts, const std::vector<std::string>& problems);
std::string VerifyJson(const std::string& path, const PackageFacts& facts, const std::vector<std::string>& problems);

// A JSON string literal of 8-bit text (bytes above 127 taken as Latin-1).
std::string JsonString(const std::string& text);

}  // namespace kpack
