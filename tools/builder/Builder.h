// kpack: appends a package (header records, zlib members, trailer) to a copy
// of the stub, writes the logical end and the checksum, scrambles the token.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "Compressor.h"

namespace kpack {

struct MemberFile {
  std::string path;  // file to read
  std::string name;  // plain file name inside the package
};

// Deliberately broken packages, for tests of the stub's error paths.
// Member: a byte of the last member's stream flipped (checksum kept right);
// MemberLength: the last member's stored length runs past the end of the file.
enum class Corruption { None, Checksum, Magic, Truncate, Member, MemberLength };

struct BuildOptions {
  std::string stubPath;
  std::string outPath;
  std::vector<MemberFile> files;
  std::string run;  // "Name" or "Name*arguments"; empty: no program to run

  // Web-setup record.
  std::string webUrl, webPackage, webSize;
  bool alwaysDownload = false;
  std::string webToken;  // plain text; scrambled when written
  // Auto-update record.
  std::string updateUrl, updateInfo, updateExe;
  bool runHidden = false;
  std::string updateToken;
  // Whole records as stored, replacing the fields above when set.
  bool rawWebRecord = false, rawUpdateRecord = false;
  std::string webRecord, updateRecord;

  bool confirmTempDrive = false;
  bool webSetup = false;
  bool askBeforeDownload = false;
  bool installAutoUpdate = false;
  bool isAutoUpdateProgram = false;

  bool writeLogicalEnd = true;
  bool overrideDate = false;
  uint32_t dosDate = 0;  // used for every member when overrideDate
  int level = 6;
  Compressor compressor = DefaultCompressor();
  unsigned threads = 0;  // 0: one per core
  // The value of SOURCE_DATE_EPOCH when set: then the token filler is derived
  // from it (and the token) alone, otherwise from all the inputs.
  std::string sourceDateEpoch;
  // Called now and then with the content bytes written and their total.
  std::function<void(uint64_t done, uint64_t total)> progress;
  Corruption corruption = Corruption::None;
  // Stores member names as given ("..\x.exe", "C:\x", "a*"): for tests of
  // the stub's handling of hostile packages only.
  bool allowUnsafeNames = false;
};

// Why a build failed: a wrong input (nothing was written; exit code 2) or
// the output could not be written (exit code 1).
enum class Failure { None, Input, Output };

struct BuildReport {
  uint64_t packageSize = 0;
  uint32_t headerOffset = 0;
  uint32_t checksum = 0;  // as computed, before any corruption
  uint64_t contentBytes = 0;
  Failure failure = Failure::None;
};

// Writes the package; on failure returns false with a one-line message that
// names the option or file at fault, and leaves no output file behind (an
// existing one is kept unchanged).
bool BuildPackage(const BuildOptions& options, BuildReport& report, std::string& error);

// --- Command line --------------------------------------------------------------

enum class ParseResult { Build, Info, Verify, Help, Error };

struct CommandLine {
  BuildOptions build;
  std::string package;     // info, verify: the package to read
  std::string token;       // verify --token
  bool hasToken = false;
  bool json = false;       // info, verify --json
  bool showTokens = false; // info --show-tokens
  bool quiet = false;      // no progress line, no summary
};

// Parses kpack's arguments; "@FILE" in place of an argument reads arguments
// from FILE (one per line, "#" comments, "--option value" on one line).
ParseResult ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error);
std::string UsageText();

// The arguments an argument file holds, in order.
bool ReadArgumentFile(const std::string& path, std::vector<std::string>& args, std::string& error);

// Packed DOS date and time (date in the high 16 bits) of a local time; 0
// outside 1980..2107.
uint32_t DosDateOf(const std::tm& local);
// "YYYY-MM-DD HH:MM:SS" (or with "T"), or a decimal packed value.
bool ParseDate(const std::string& text, uint32_t& dosDate);
// "YYYY-MM-DD HH:MM:SS" of a packed date; "none" for 0.
std::string DosDateText(uint32_t dosDate);
// The member name a path gets by default: its file-name part.
std::string DefaultMemberName(const std::string& path);

// Empty when path is a regular file that can be read; otherwise what is
// wrong with it ("no such file", "is a folder, not a file", ...).
std::string InputFileProblem(const std::string& path);

// The stub installed with kpack (share/kovrex/stub.exe beside its bin
// folder, or stub.exe beside the program); empty when there is none.
std::string InstalledStub();

}  // namespace kpack
