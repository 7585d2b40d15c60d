#include "Builder.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "package/PackageReader.h"
#include "support/Utils.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kpack {

namespace {

constexpr size_t kIoChunk = 256 * 1024;

// --- Small file helpers --------------------------------------------------------

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

int64_t TellOf(FILE* f) {
#ifdef _WIN32
  return _ftelli64(f);
#else
  return int64_t(ftello(f));
#endif
}

struct FileFacts {
  bool regular = false;
  int64_t size = 0;
  time_t modified = 0;
};

bool StatFile(const std::string& path, FileFacts& facts) {
#ifdef _WIN32
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return false;
  facts.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  facts.regular = S_ISREG(st.st_mode);
#endif
  facts.size = int64_t(st.st_size);
  facts.modified = time_t(st.st_mtime);
  return true;
}

bool LocalTime(time_t t, std::tm& out) {
#ifdef _WIN32
  return localtime_s(&out, &t) == 0;
#else
  return localtime_r(&t, &out) != nullptr;
#endif
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

std::string TempNameFor(const std::string& out) {
#ifdef _WIN32
  const int pid = _getpid();
#else
  const int pid = int(getpid());
#endif
  return out + ".kpack-" + IntToText(pid) + ".tmp";
}

bool TruncateFile(const std::string& path, int64_t size) {
#ifdef _WIN32
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = size;
  const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  return ok;
#else
  return truncate(path.c_str(), off_t(size)) == 0;
#endif
}

bool WriteAll(FILE* f, const void* data, size_t n) { return n == 0 || std::fwrite(data, 1, n, f) == n; }

bool WriteWordAt(FILE* f, int64_t offset, uint32_t value) {
  uint8_t b[4];
  StoreLE32(b, value);
  return SeekFile(f, offset) == 0 && WriteAll(f, b, 4);
}

// --- Package pieces ---------------------------------------------------------

std::string WebRecord(const BuildOptions& o) {
  if (o.rawWebRecord) return o.webRecord;
  return EncodeRecord({o.webUrl, o.webPackage, o.alwaysDownload ? "1" : "0",
                 o.webToken.empty() ? std::string() : ScrambleToken(o.webToken), o.webSize});
}

std::string UpdateRecord(const BuildOptions& o) {
  if (o.rawUpdateRecord) return o.updateRecord;
  return EncodeRecord({o.updateUrl, o.updateInfo, o.updateExe,
                 o.updateToken.empty() ? std::string() : ScrambleToken(o.updateToken), o.runHidden ? "1" : "0"});
}

// One member: u32 stored length, then one zlib stream of "|name|date|" NUL
// content. The content is streamed from its file; the length is patched in.
class MemberWriter {
 public:
  MemberWriter(FILE* out, int level) : out_(out), level_(level) {}

  bool Write(const std::string& header, const std::string& path, uint64_t& contentBytes, std::string& error) {
    File in(std::fopen(path.c_str(), "rb"));
    if (!in) return Fail(error, "cannot open " + path);
    const int64_t lengthAt = TellOf(out_);
    uint8_t zero[4] = {};
    if (lengthAt < 0 || !WriteAll(out_, zero, 4)) return Fail(error, "cannot write the package");

    z_stream z{};
    if (deflateInit(&z, level_) != Z_OK) return Fail(error, "zlib cannot start");
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, deflateEnd);
    stored_ = 0;
    if (!Deflate(z, header.data(), header.size(), Z_NO_FLUSH)) return Fail(error, "cannot write the package");
    std::unique_ptr<char[]> buf(new char[kIoChunk]);
    contentBytes = 0;
    for (;;) {
      const size_t got = std::fread(buf.get(), 1, kIoChunk, in.get());
      if (got == 0) break;
      contentBytes += got;
      if (!Deflate(z, buf.get(), got, Z_NO_FLUSH)) return Fail(error, "cannot write the package");
    }
    if (std::ferror(in.get())) return Fail(error, "cannot read " + path);
    if (!Deflate(z, nullptr, 0, Z_FINISH)) return Fail(error, "cannot write the package");
    if (stored_ > UINT32_MAX) return Fail(error, path + " is too large for a package");
    const int64_t end = TellOf(out_);
    if (!WriteWordAt(out_, lengthAt, uint32_t(stored_)) || SeekFile(out_, end) != 0)
      return Fail(error, "cannot write the package");
    return true;
  }

 private:
  static bool Fail(std::string& error, const std::string& text) {
    error = text;
    return false;
  }

  bool Deflate(z_stream& z, const char* data, size_t n, int flush) {
    unsigned char* out = buffer_.get();
    const uInt room = uInt(kIoChunk);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = uInt(n);
    for (;;) {
      z.next_out = out;
      z.avail_out = room;
      const int ret = deflate(&z, flush);
      if (ret == Z_STREAM_ERROR) return false;
      const size_t produced = room - z.avail_out;
      stored_ += produced;
      if (!WriteAll(out_, out, produced)) return false;
      if (flush == Z_FINISH ? ret == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) return true;
    }
  }

  FILE* out_;
  int level_;
  uint64_t stored_ = 0;
  std::unique_ptr<unsigned char[]> buffer_{new unsigned char[kIoChunk]};
};

struct PlannedMember {
  MemberFile file;
  std::string storedName;  // with the run marker when it is the program to run
  uint32_t dosDate = 0;
};

bool PlanMembers(const BuildOptions& o, std::vector<PlannedMember>& plan, std::string& error) {
  std::string runName, runArgs;
  bool wantRun = !o.run.empty();
  if (wantRun) {
    const size_t star = o.run.find('*');
    runName = o.run.substr(0, star);
    if (star != std::string::npos) runArgs = o.run.substr(star + 1);
    if (runArgs.find('|') != std::string::npos || runArgs.find('\0') != std::string::npos) {
      error = "--run: the arguments may not contain '|'";
      return false;
    }
  }
  bool runFound = false;
  for (const auto& f : o.files) {
    const std::string why = o.allowUnsafeNames ? std::string() : MemberNameProblem(f.name);
    if (!why.empty()) {
      error = "member name \"" + f.name + "\" (from " + f.path + "): " + why;
      return false;
    }
    for (const auto& p : plan)
      if (TextEquals(p.file.name, f.name)) {
        error = "two members are named \"" + f.name + "\" (" + p.file.path + " and " + f.path + ")";
        return false;
      }
    FileFacts facts;
    if (!StatFile(f.path, facts)) {
      error = "cannot read " + f.path + ": no such file";
      return false;
    }
    if (!facts.regular) {
      error = "cannot read " + f.path + ": not a file";
      return false;
    }
    PlannedMember m;
    m.file = f;
    m.storedName = f.name;
    if (wantRun && TextEquals(f.name, runName)) {
      m.storedName = f.name + "*" + runArgs;
      runFound = true;
    }
    if (o.overrideDate) {
      m.dosDate = o.dosDate;
    } else {
      std::tm local{};
      if (LocalTime(facts.modified, local)) m.dosDate = DosDateOf(local);
    }
    plan.push_back(m);
  }
  if (wantRun && !runFound) {
    error = "--run names \"" + runName + "\", which is not one of the --file members";
    return false;
  }
  return true;
}

bool CheckRecord(const char* what, const std::vector<std::string>& fields, std::string& error) {
  for (const auto& f : fields)
    if (f.find('|') != std::string::npos) {
      error = std::string(what) + " may not contain '|': " + f;
      return false;
    }
  return true;
}

// Copies the stub and checks that it can carry a logical end.
bool CopyStub(const BuildOptions& o, FILE* out, uint32_t& stubLength, std::string& error) {
  File in(std::fopen(o.stubPath.c_str(), "rb"));
  if (!in) {
    error = "cannot open the stub " + o.stubPath;
    return false;
  }
  StdioFileSource probe(o.stubPath);
  const int64_t size = probe.Size();
  if (size <= 0 || size > INT32_MAX / 2) {
    error = "the stub " + o.stubPath + " is empty or too large";
    return false;
  }
  if (o.writeLogicalEnd) {
    if (!IsPEFile(probe)) {
      error = "the stub " + o.stubPath +
              " has no \"MZ\" at 0 and \"PE\" at 256, so it cannot hold a logical end (use --no-logical-end "
              "to append anyway)";
      return false;
    }
    uint8_t b[4];
    if (probe.ReadAt(kLogicalEndOffset, b, 4) == 4 && int32_t(LoadLE32(b)) > 0) {
      error = "the stub " + o.stubPath + " already carries a package (offset 252 holds " +
              IntToText(int32_t(LoadLE32(b))) + "); use the bare stub";
      return false;
    }
  }
  std::unique_ptr<char[]> buf(new char[kIoChunk]);
  int64_t copied = 0;
  for (;;) {
    const size_t got = std::fread(buf.get(), 1, kIoChunk, in.get());
    if (got == 0) break;
    if (!WriteAll(out, buf.get(), got)) {
      error = "cannot write the package";
      return false;
    }
    copied += int64_t(got);
  }
  if (std::ferror(in.get()) || copied != size) {
    error = "cannot read the stub " + o.stubPath;
    return false;
  }
  stubLength = uint32_t(size);
  return true;
}

bool WriteRecord(FILE* out, const std::string& text) {
  const std::string stored = LengthPrefixed(text);
  return WriteAll(out, stored.data(), stored.size());
}

// Breaks the last member before the checksum is taken, so that only the
// member is at fault.
bool DamageLastMember(FILE* out, int64_t at, Corruption kind, std::string& error) {
  const int64_t end = TellOf(out);
  uint8_t b[4];
  if (at < 0 || SeekFile(out, at) != 0 || std::fread(b, 1, 4, out) != 4) {
    error = "--corrupt: there is no member to damage";
    return false;
  }
  const uint32_t stored = LoadLE32(b);
  bool ok;
  if (kind == Corruption::MemberLength) {
    ok = WriteWordAt(out, at, stored + 0x100000u);
  } else {
    const int64_t pos = at + 4 + stored / 2;
    uint8_t c = 0;
    ok = SeekFile(out, pos) == 0 && std::fread(&c, 1, 1, out) == 1;
    c ^= 0xFF;
    ok = ok && SeekFile(out, pos) == 0 && WriteAll(out, &c, 1);
  }
  if (!ok || SeekFile(out, end) != 0) {
    error = "cannot write the package";
    return false;
  }
  return true;
}

bool WritePackage(const BuildOptions& o, const std::vector<PlannedMember>& plan, const std::string& temp,
                  BuildReport& report, std::string& error) {
  File out(std::fopen(temp.c_str(), "w+b"));
  if (!out) {
    error = "cannot create " + temp;
    return false;
  }
  uint32_t headerOffset = 0;
  if (!CopyStub(o, out.get(), headerOffset, error)) return false;
  const std::string web = WebRecord(o), update = UpdateRecord(o);
  if (!WriteRecord(out.get(), web) || !WriteRecord(out.get(), update)) {
    error = "cannot write the package";
    return false;
  }

  uint64_t table[9] = {};
  MemberWriter writer(out.get(), o.level);
  int64_t lastMemberAt = -1;
  for (const auto& m : plan) {
    lastMemberAt = TellOf(out.get());
    const std::string header = MemberHeaderText(m.storedName, m.dosDate) + std::string(1, '\0');
    uint64_t content = 0;
    if (!writer.Write(header, m.file.path, content, error)) return false;
    AddToSpaceTable(table, content);
    if (TellOf(out.get()) > INT32_MAX - int64_t(kTrailerLength)) {
      error = "the package would exceed 2 GiB";
      return false;
    }
  }
  if (table[8] > UINT32_MAX) {
    error = "the members need more than 4 GiB";
    return false;
  }
  if ((o.corruption == Corruption::Member || o.corruption == Corruption::MemberLength) &&
      !DamageLastMember(out.get(), lastMemberAt, o.corruption, error))
    return false;

  TrailerCopy t;
  t.SetWord(kTrailerOne, 1);
  t.SetWord(kTrailerHeaderOffset, headerOffset);
  t.SetWord(kTrailerMemberCount, uint32_t(plan.size()));
  t.SetWord(kTrailerMagic, o.corruption == Corruption::Magic ? kPackageMagic ^ 0x00FF0000u : kPackageMagic);
  for (int i = 0; i <= 8; ++i) t.SetWord(kTrailerSpaceTable + 4 * i, uint32_t(table[i]));
  t.bytes[kFlagConfirmTempDrive] = o.confirmTempDrive;
  t.bytes[kFlagWebSetup] = o.webSetup;
  t.bytes[kFlagAskBeforeDownload] = o.askBeforeDownload;
  t.bytes[kFlagInstallAutoUpdate] = o.installAutoUpdate;
  t.bytes[kFlagIsAutoUpdateProgram] = o.isAutoUpdateProgram;
  t.length = kTrailerLength;
  const int64_t trailerAt = TellOf(out.get());
  const std::string trailer = t.Serialize();
  if (trailerAt < 0 || !WriteAll(out.get(), trailer.data(), trailer.size())) {
    error = "cannot write the package";
    return false;
  }
  const int64_t end = trailerAt + int64_t(trailer.size());
  if (o.writeLogicalEnd && !WriteWordAt(out.get(), kLogicalEndOffset, uint32_t(end))) {
    error = "cannot write the package";
    return false;
  }
  if (std::fflush(out.get()) != 0) {
    error = "cannot write the package";
    return false;
  }

  // The sum skips the trailer, so it can be computed over the file as it
  // stands and stored afterwards.
  uint32_t sum = 0;
  {
    StdioFileSource check(temp);
    if (!check.IsOpen()) {
      error = "cannot read back " + temp;
      return false;
    }
    sum = PackageChecksum(check, kTrailerLength);
  }
  const uint32_t stored = o.corruption == Corruption::Checksum ? sum ^ 0x01010101u : sum;
  if (!WriteWordAt(out.get(), trailerAt + kTrailerChecksum, stored) || std::fflush(out.get()) != 0 ||
      std::ferror(out.get())) {
    error = "cannot write the package";
    return false;
  }
  if (std::fclose(out.release()) != 0) {
    error = "cannot write the package";
    return false;
  }

  int64_t size = end;
  if (o.corruption == Corruption::Truncate) {
    // As a broken download: cut in the middle of the package data, so the
    // trailer is gone and the logical end lies past the physical end.
    size = headerOffset + (end - headerOffset) / 2;
    if (!TruncateFile(temp, size)) {
      error = "cannot truncate " + temp;
      return false;
    }
  }
  report.packageSize = uint64_t(size);
  report.headerOffset = headerOffset;
  report.checksum = sum;
  report.contentBytes = table[0];
  return true;
}

}  // namespace

uint32_t DosDateOf(const std::tm& local) {
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  return uint32_t(year - 1980) << 25 | uint32_t(local.tm_mon + 1) << 21 | uint32_t(local.tm_mday) << 16 |
         uint32_t(local.tm_hour) << 11 | uint32_t(local.tm_min) << 5 | uint32_t(local.tm_sec / 2);
}

bool ParseDate(const std::string& text, uint32_t& dosDate) {
  int64_t v = 0;
  if (TextToInt64(text, v)) {
    if (v < 0 || v > int64_t(UINT32_MAX)) return false;
    dosDate = uint32_t(v);
    return true;
  }
  int y, mo, d, h, mi, s;
  char sep, tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c", &y, &mo, &d, &sep, &h, &mi, &s, &tail) != 7 ||
      (sep != ' ' && sep != 'T'))
    return false;
  if (y < 1980 || y > 2107 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 ||
      mi < 0 || s < 0)
    return false;
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  dosDate = DosDateOf(t);
  return true;
}

std::string DefaultMemberName(const std::string& path) { return FileNamePart(path); }

bool BuildPackage(const BuildOptions& o, BuildReport& report, std::string& error) {
  report = BuildReport();
  if (o.stubPath.empty() || o.outPath.empty()) {
    error = "both --stub and --out are required";
    return false;
  }
  if (o.level < 0 || o.level > 9) {
    error = "--level must be 0 to 9";
    return false;
  }
  if (!o.rawWebRecord && !CheckRecord("web-setup fields", {o.webUrl, o.webPackage, o.webSize}, error)) return false;
  if (!o.rawUpdateRecord && !CheckRecord("auto-update fields", {o.updateUrl, o.updateInfo, o.updateExe}, error))
    return false;
  std::vector<PlannedMember> plan;
  if (!PlanMembers(o, plan, error)) return false;

  const std::string temp = TempNameFor(o.outPath);
  if (!WritePackage(o, plan, temp, report, error) || !ReplaceFile(temp, o.outPath)) {
    if (error.empty()) error = "cannot rename " + temp + " to " + o.outPath;
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// --- Command line --------------------------------------------------------------

std::string UsageText() {
  return R"(kpack - append a setup package to the stub

Usage: kpack --stub STUB.exe --out SETUP.exe [options] --file PATH[=NAME] ...

Members
  --file PATH[=NAME]     add a file; it is stored as NAME (default: its file
                         name). NAME must be a plain file name. Repeatable.
  --run NAME[*ARGS]      the member to start after extraction, with its
                         arguments (NAME must be one of the --file members)
  --date WHEN            stamp every member with WHEN instead of its file's
                         time: "YYYY-MM-DD HH:MM:SS" (local), or a packed DOS
                         date-time number, 0 for none
  --level N              zlib level 0-9 (default 6)

Web setup (the package to download)
  --web-url URL          folder on the web server holding the package
  --web-package NAME     file name of the package to download
  --web-size BYTES       package size shown in the download prompt
  --always-download      download even when a local copy lies beside the stub
  --web-token SECRET     secret token of the web-setup record

Auto-update
  --update-url URL       where the info file and the update are fetched
  --update-info NAME     info-file base name (extension is replaced)
  --update-exe NAME      file name of the auto-update program
  --update-token SECRET  secret token of the auto-update record
  --run-hidden           run the setup hidden
  --token SECRET         the same secret token for both records

Trailer flags
  --confirm-temp-drive   always confirm the temporary drive before extracting
  --web-setup            download the setup package instead of extracting
  --ask-before-download  ask before the web download
  --install-auto-update  put a copy of the auto-update program beside the setup
  --auto-update-program  this file is the auto-update program

Advanced
  --web-record TEXT      store TEXT as the whole web-setup record
  --update-record TEXT   store TEXT as the whole auto-update record
  --no-logical-end       leave offset 252 alone (the trailer is then found at
                         the physical end of the file)
  --corrupt=KIND         write a deliberately broken package for tests:
                         checksum, magic, truncate, member (a damaged
                         stream in the last member) or member-length (the
                         last member's length runs past the end)
  --unsafe-names         store member names as given, even "..\x.exe",
                         "C:\x" or "a*": for tests of hostile packages
  --help                 this text

Example
  kpack --stub stub.exe --out MySetup.exe \
        --file build/Setup.exe --file docs/readme.txt=ReadMe.txt \
        --run "Setup.exe*/S /LANG=en" --token "my product secret" \
        --update-url http://updates.example.com/myapp/ --update-info myapp \
        --update-exe MyAppUpdate.exe

  writes MySetup.exe: the stub, then the two header records, the members
  Setup.exe (started as "Setup.exe /S /LANG=en" after extraction) and
  ReadMe.txt, and the 74-byte trailer with the checksum. The file is written
  under a temporary name and renamed when complete.
)";
}

namespace {

struct Switch {
  const char* name;
  bool takesValue;
};

const Switch kSwitches[] = {
    {"--stub", true},          {"--out", true},           {"--file", true},
    {"--run", true},           {"--date", true},          {"--level", true},
    {"--web-url", true},       {"--web-package", true},   {"--web-size", true},
    {"--always-download", false}, {"--web-token", true},  {"--update-url", true},
    {"--update-info", true},   {"--update-exe", true},    {"--update-token", true},
    {"--run-hidden", false},   {"--token", true},         {"--confirm-temp-drive", false},
    {"--web-setup", false},    {"--ask-before-download", false}, {"--install-auto-update", false},
    {"--auto-update-program", false}, {"--web-record", true}, {"--update-record", true},
    {"--no-logical-end", false}, {"--corrupt", true},     {"--help", false},
    {"--unsafe-names", false},
};

MemberFile ParseFileArgument(const std::string& arg) {
  // A path that names an existing file is taken whole, even with "=" in it.
  FileFacts facts;
  const size_t eq = arg.rfind('=');
  if (eq == std::string::npos || StatFile(arg, facts)) return {arg, DefaultMemberName(arg)};
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

bool ApplySwitch(const std::string& name, const std::string& value, BuildOptions& o, std::string& error) {
  if (name == "--stub") o.stubPath = value;
  else if (name == "--out") o.outPath = value;
  else if (name == "--file") o.files.push_back(ParseFileArgument(value));
  else if (name == "--run") o.run = value;
  else if (name == "--date") {
    if (!ParseDate(value, o.dosDate)) {
      error = "--date: expected \"YYYY-MM-DD HH:MM:SS\" (1980 to 2107) or a packed number, not \"" + value + "\"";
      return false;
    }
    o.overrideDate = true;
  } else if (name == "--level") {
    int64_t v = 0;
    if (!TextToInt64(value, v) || v < 0 || v > 9) {
      error = "--level must be a number from 0 to 9";
      return false;
    }
    o.level = int(v);
  } else if (name == "--web-url") o.webUrl = value;
  else if (name == "--web-package") o.webPackage = value;
  else if (name == "--web-size") {
    int64_t v = 0;
    if (!TextToInt64(value, v) || v < 0) {
      error = "--web-size must be a number of bytes";
      return false;
    }
    o.webSize = value;
  } else if (name == "--always-download") o.alwaysDownload = true;
  else if (name == "--web-token") o.webToken = value;
  else if (name == "--update-url") o.updateUrl = value;
  else if (name == "--update-info") o.updateInfo = value;
  else if (name == "--update-exe") o.updateExe = value;
  else if (name == "--update-token") o.updateToken = value;
  else if (name == "--run-hidden") o.runHidden = true;
  else if (name == "--token") o.webToken = o.updateToken = value;
  else if (name == "--confirm-temp-drive") o.confirmTempDrive = true;
  else if (name == "--web-setup") o.webSetup = true;
  else if (name == "--ask-before-download") o.askBeforeDownload = true;
  else if (name == "--install-auto-update") o.installAutoUpdate = true;
  else if (name == "--auto-update-program") o.isAutoUpdateProgram = true;
  else if (name == "--web-record") {
    o.rawWebRecord = true;
    o.webRecord = value;
  } else if (name == "--update-record") {
    o.rawUpdateRecord = true;
    o.updateRecord = value;
  } else if (name == "--no-logical-end") o.writeLogicalEnd = false;
  else if (name == "--corrupt") {
    if (value == "checksum") o.corruption = Corruption::Checksum;
    else if (value == "magic") o.corruption = Corruption::Magic;
    else if (value == "truncate") o.corruption = Corruption::Truncate;
    else if (value == "member") o.corruption = Corruption::Member;
    else if (value == "member-length") o.corruption = Corruption::MemberLength;
    else {
      error = "--corrupt must be checksum, magic, truncate, member or member-length";
      return false;
    }
  } else if (name == "--unsafe-names") o.allowUnsafeNames = true;
  return true;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args, BuildOptions& o, std::string& error) {
  o = BuildOptions();
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    const size_t eq = name.find('=');
    bool inlineValue = false;
    if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    const Switch* sw = nullptr;
    for (const auto& s : kSwitches)
      if (name == s.name) sw = &s;
    if (!sw) {
      error = "unknown argument \"" + args[i] + "\" (see --help)";
      return ParseResult::Error;
    }
    if (name == "--help") return ParseResult::Help;
    if (sw->takesValue && !inlineValue) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return ParseResult::Error;
      }
      value = args[++i];
    } else if (!sw->takesValue && inlineValue) {
      error = name + " takes no value";
      return ParseResult::Error;
    }
    if (!ApplySwitch(name, value, o, error)) return ParseResult::Error;
  }
  if (o.stubPath.empty() || o.outPath.empty()) {
    error = "both --stub and --out are required (see --help)";
    return ParseResult::Error;
  }
  return ParseResult::Build;
}

}  // namespace kpack
