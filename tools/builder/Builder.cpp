#include "Builder.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>

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
constexpr size_t kWindow = 32768;

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
  bool exists = false;
  bool regular = false;
  bool folder = false;
  int64_t size = 0;
  time_t modified = 0;
};

FileFacts StatFile(const std::string& path) {
  FileFacts facts;
#ifdef _WIN32
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return facts;
  facts.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
  facts.folder = (st.st_mode & _S_IFMT) == _S_IFDIR;
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return facts;
  facts.regular = S_ISREG(st.st_mode);
  facts.folder = S_ISDIR(st.st_mode);
#endif
  facts.exists = true;
  facts.size = int64_t(st.st_size);
  facts.modified = time_t(st.st_mtime);
  return facts;
}

// True when both paths name one existing file (through links or other
// spellings too).
bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION x, y;
  return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
#else
  struct stat x, y;
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
#endif
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

// Sets the message and the kind of a failure; always false.
struct Failer {
  BuildReport& report;
  std::string& error;
  bool operator()(Failure kind, const std::string& text) const {
    report.failure = kind;
    error = text;
    return false;
  }
  bool Input(const std::string& text) const { return (*this)(Failure::Input, text); }
  bool Output(const std::string& text) const { return (*this)(Failure::Output, text); }
};

// --- Package pieces ---------------------------------------------------------

struct PlannedMember {
  MemberFile file;
  std::string storedName;  // with the run marker when it is the program to run
  uint32_t dosDate = 0;
  uint64_t size = 0;       // as planned; the bytes read count
};

// FNV-1a, for the token filler seed: any fixed mixing of the inputs will do.
struct Fnv {
  uint64_t h = 0xCBF29CE484222325ull;
  Fnv& Add(const std::string& s) {
    for (char c : s) h = (h ^ uint8_t(c)) * 0x100000001B3ull;
    h = (h ^ 0xFF) * 0x100000001B3ull;  // a separator, so "ab","c" differs from "a","bc"
    return *this;
  }
  Fnv& Add(uint64_t v) { return Add(IntToText(int64_t(v))); }
};

// The filler of a scrambled token comes from its inputs, so the same inputs
// give the same package. SOURCE_DATE_EPOCH, when set, takes the place of the
// members, as reproducible-build tools use it.
uint64_t FillerSeed(const BuildOptions& o, const std::vector<PlannedMember>& plan, const char* record,
                    const std::string& token) {
  Fnv f;
  f.Add(record).Add(token);
  if (!o.sourceDateEpoch.empty()) return f.Add("SOURCE_DATE_EPOCH").Add(o.sourceDateEpoch).h;
  f.Add(o.webUrl).Add(o.webPackage).Add(o.webSize).Add(o.updateUrl).Add(o.updateInfo).Add(o.updateExe);
  for (const auto& m : plan) f.Add(m.storedName).Add(m.dosDate).Add(m.size);
  return f.h;
}

std::string WebRecord(const BuildOptions& o, const std::vector<PlannedMember>& plan) {
  if (o.rawWebRecord) return o.webRecord;
  const std::string token = o.webToken.empty() ? std::string()
                                               : ScrambleToken(o.webToken, FillerSeed(o, plan, "web", o.webToken));
  return EncodeRecord({o.webUrl, o.webPackage, o.alwaysDownload ? "1" : "0", token, o.webSize});
}

std::string UpdateRecord(const BuildOptions& o, const std::vector<PlannedMember>& plan) {
  if (o.rawUpdateRecord) return o.updateRecord;
  const std::string token =
      o.updateToken.empty() ? std::string() : ScrambleToken(o.updateToken, FillerSeed(o, plan, "update", o.updateToken));
  return EncodeRecord({o.updateUrl, o.updateInfo, o.updateExe, token, o.runHidden ? "1" : "0"});
}

std::string ProblemOf(const std::string& path, const FileFacts& facts) {
  if (!facts.exists) return "no such file";
  if (facts.folder) return "is a folder, not a file";
  if (!facts.regular) return "not a regular file";
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return "cannot be opened for reading";
  return std::string();
}

bool PlanMembers(const BuildOptions& o, std::vector<PlannedMember>& plan, const Failer& fail) {
  std::string runName, runArgs;
  bool wantRun = !o.run.empty();
  if (wantRun) {
    const size_t star = o.run.find('*');
    runName = o.run.substr(0, star);
    if (star != std::string::npos) runArgs = o.run.substr(star + 1);
    if (runArgs.find('|') != std::string::npos || runArgs.find('\0') != std::string::npos)
      return fail.Input("--run " + o.run + ": the arguments may not contain '|'");
  }
  bool runFound = false;
  for (const auto& f : o.files) {
    std::string why = o.allowUnsafeNames ? std::string() : MemberNameProblem(f.name);
    // Windows names a file with at most 255 characters; extraction could not
    // write a longer one.
    if (why.empty() && !o.allowUnsafeNames && f.name.size() > 255) why = "longer than 255 characters";
    if (!why.empty())
      return fail.Input("--file " + f.path + ": the member name \"" + f.name + "\" is not a plain file name: " + why);
    for (const auto& p : plan)
      if (!o.allowUnsafeNames && TextEquals(p.file.name, f.name))
        return fail.Input("--file " + f.path + ": a second member named \"" + f.name + "\" (letter case aside; the first is " +
                          p.file.path + ")");
    const FileFacts facts = StatFile(f.path);
    const std::string problem = ProblemOf(f.path, facts);
    if (!problem.empty()) return fail.Input("--file " + f.path + ": " + problem);
    PlannedMember m;
    m.file = f;
    m.storedName = f.name;
    m.size = uint64_t(facts.size);
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
  if (wantRun && !runFound) return fail.Input("--run " + o.run + ": \"" + runName + "\" is not one of the --file members");
  return true;
}

bool CheckRecord(const char* option, const std::string& value, const Failer& fail) {
  if (value.find('|') == std::string::npos) return true;
  return fail.Input(std::string(option) + " " + value + ": may not contain '|'");
}

// A stub is a bare program: a PE file (unless the logical end is left out)
// that carries no package yet.
bool CheckStub(const BuildOptions& o, const Failer& fail) {
  const std::string what = "--stub " + o.stubPath + ": ";
  const FileFacts facts = StatFile(o.stubPath);
  const std::string problem = ProblemOf(o.stubPath, facts);
  if (!problem.empty()) return fail.Input(what + problem);
  if (facts.size <= 0 || facts.size > INT32_MAX / 2) return fail.Input(what + "not a stub: empty or too large");
  StdioFileSource probe(o.stubPath);
  if (o.writeLogicalEnd && !IsPEFile(probe))
    return fail.Input(what + "not a stub: no \"MZ\" at 0 and \"PE\" at 256, so it cannot hold a logical end "
                             "(--no-logical-end appends anyway)");
  uint8_t b[4];
  if (IsPEFile(probe) && probe.ReadAt(kLogicalEndOffset, b, 4) == 4 && int32_t(LoadLE32(b)) > 0)
    return fail.Input(what + "not a bare stub: it already carries a package (offset 252 holds " +
                      IntToText(int32_t(LoadLE32(b))) + "); use the stub itself");
  TGFileInfo existing;
  existing.Create(probe);
  if (existing.HasPackage()) return fail.Input(what + "not a bare stub: it already carries a package; use the stub itself");
  return true;
}

bool CheckOutput(const BuildOptions& o, const Failer& fail) {
  const FileFacts facts = StatFile(o.outPath);
  if (facts.folder) return fail.Input("--out " + o.outPath + ": is a folder");
  if (!facts.exists) return true;
  if (SameFile(o.outPath, o.stubPath)) return fail.Input("--out " + o.outPath + ": is the stub (--stub) itself");
  for (const auto& f : o.files)
    if (SameFile(o.outPath, f.path)) return fail.Input("--out " + o.outPath + ": is one of the inputs (--file " + f.path + ")");
  return true;
}

bool CopyStub(const BuildOptions& o, FILE* out, uint32_t& stubLength, const Failer& fail) {
  File in(std::fopen(o.stubPath.c_str(), "rb"));
  if (!in) return fail.Input("--stub " + o.stubPath + ": cannot be opened for reading");
  std::unique_ptr<char[]> buf(new char[kIoChunk]);
  int64_t copied = 0;
  for (;;) {
    const size_t got = std::fread(buf.get(), 1, kIoChunk, in.get());
    if (got == 0) break;
    if (!WriteAll(out, buf.get(), got)) return fail.Output("--out " + o.outPath + ": cannot write");
    copied += int64_t(got);
  }
  if (std::ferror(in.get()) || copied <= 0 || copied > INT32_MAX / 2)
    return fail.Input("--stub " + o.stubPath + ": cannot be read");
  stubLength = uint32_t(copied);
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

// Writes the members: this thread reads pieces and writes finished ones in
// order, the pool compresses in between. Each member is u32 stored length,
// then one zlib stream (header, the pieces' deflate data, Adler-32) of
// "|name|date|" NUL content.
class MemberStreams {
 public:
  MemberStreams(const BuildOptions& o, FILE* out, const Failer& fail)
      : o_(o), out_(out), fail_(fail), pool_(o.compressor, o.level, Threads(o)), limit_(2 * pool_.Threads() + 2) {}

  bool WriteMembers(const std::vector<PlannedMember>& plan, uint64_t table[9], int64_t& lastMemberAt) {
    for (const auto& m : plan) total_ += m.size;
    for (const auto& m : plan) {
      uint64_t content = 0;
      if (!Read(m, content)) return false;
      AddToSpaceTable(table, content);
    }
    while (pool_.InFlight() > 0)
      if (!WriteNext()) return false;
    lastMemberAt = lastMemberAt_;
    return true;
  }

 private:
  static unsigned Threads(const BuildOptions& o) {
    if (o.threads) return o.threads;
    const unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
  }

  bool Read(const PlannedMember& m, uint64_t& content) {
    File in(std::fopen(m.file.path.c_str(), "rb"));
    if (!in) return fail_.Input("--file " + m.file.path + ": cannot be opened for reading");
    std::string window;
    std::string header = MemberHeaderText(m.storedName, m.dosDate) + std::string(1, '\0');
    bool first = true;
    for (;;) {
      std::unique_ptr<Piece> p(new Piece);
      p->first = first;
      p->input.swap(header);
      const size_t start = p->input.size();
      const size_t want = kPieceSize > start ? kPieceSize - start : 0;
      p->input.resize(start + want);
      const size_t got = want ? std::fread(&p->input[start], 1, want, in.get()) : 0;
      if (std::ferror(in.get())) return fail_.Input("--file " + m.file.path + ": cannot be read");
      p->input.resize(start + got);
      p->content = got;
      content += got;
      // A full piece is the last only when nothing follows it.
      int next = EOF;
      if (got == want && (next = std::fgetc(in.get())) != EOF) std::ungetc(next, in.get());
      p->last = next == EOF;
      p->window = window;
      // The next piece's window: the last 32 KiB of the member so far.
      if (p->input.size() >= kWindow) {
        window.assign(p->input, p->input.size() - kWindow, kWindow);
      } else {
        window += p->input;
        if (window.size() > kWindow) window.erase(0, window.size() - kWindow);
      }
      const bool last = p->last;
      pool_.Submit(std::move(p));
      while (pool_.InFlight() >= limit_)
        if (!WriteNext()) return false;
      if (last) return true;
      first = false;
    }
  }

  bool WriteNext() {
    std::unique_ptr<Piece> p = pool_.Next();
    if (!p || !p->ok) return fail_.Output(std::string(CompressorName(o_.compressor)) + " failed to compress a member");
    const std::string cannot = "--out " + o_.outPath + ": cannot write";
    if (p->first) {
      lastMemberAt_ = memberAt_ = TellOf(out_);
      const std::string start = std::string(4, '\0') + ZlibHeader(o_.level);
      if (memberAt_ < 0 || !WriteAll(out_, start.data(), start.size())) return fail_.Output(cannot);
      stored_ = 2;
      adler_ = 1;
    }
    if (!WriteAll(out_, p->output.data(), p->output.size())) return fail_.Output(cannot);
    stored_ += p->output.size();
    adler_ = CombineAdler(adler_, p->adler, p->input.size());
    done_ += p->content;
    if (p->last) {
      const uint8_t check[4] = {uint8_t(adler_ >> 24), uint8_t(adler_ >> 16), uint8_t(adler_ >> 8), uint8_t(adler_)};
      if (!WriteAll(out_, check, 4)) return fail_.Output(cannot);
      stored_ += 4;
      const int64_t end = TellOf(out_);
      if (stored_ > UINT32_MAX || end > INT32_MAX - int64_t(kTrailerLength))
        return fail_.Input("the package would exceed 2 GiB");
      if (!WriteWordAt(out_, memberAt_, uint32_t(stored_)) || SeekFile(out_, end) != 0) return fail_.Output(cannot);
    }
    if (o_.progress) o_.progress(done_, total_);
    return true;
  }

  const BuildOptions& o_;
  FILE* out_;
  const Failer& fail_;
  PiecePool pool_;
  size_t limit_;
  int64_t memberAt_ = -1, lastMemberAt_ = -1;
  uint64_t stored_ = 0;
  uint32_t adler_ = 1;
  uint64_t done_ = 0, total_ = 0;
};

bool WritePackage(const BuildOptions& o, const std::vector<PlannedMember>& plan, const std::string& temp,
                  BuildReport& report, const Failer& fail) {
  File out(std::fopen(temp.c_str(), "w+b"));
  if (!out) return fail.Input("--out " + o.outPath + ": cannot be created (" + temp + ")");
  const std::string cannot = "--out " + o.outPath + ": cannot write";
  uint32_t headerOffset = 0;
  if (!CopyStub(o, out.get(), headerOffset, fail)) return false;
  if (!WriteRecord(out.get(), WebRecord(o, plan)) || !WriteRecord(out.get(), UpdateRecord(o, plan)))
    return fail.Output(cannot);

  uint64_t table[9] = {};
  int64_t lastMemberAt = -1;
  {
    MemberStreams streams(o, out.get(), fail);
    if (!streams.WriteMembers(plan, table, lastMemberAt)) return false;
  }
  if (table[8] > UINT32_MAX) return fail.Input("the members need more than 4 GiB");
  std::string error;
  if ((o.corruption == Corruption::Member || o.corruption == Corruption::MemberLength) &&
      !DamageLastMember(out.get(), lastMemberAt, o.corruption, error))
    return fail.Input(error);

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
  if (trailerAt < 0 || !WriteAll(out.get(), trailer.data(), trailer.size())) return fail.Output(cannot);
  const int64_t end = trailerAt + int64_t(trailer.size());
  if (o.writeLogicalEnd && !WriteWordAt(out.get(), kLogicalEndOffset, uint32_t(end))) return fail.Output(cannot);
  if (std::fflush(out.get()) != 0) return fail.Output(cannot);

  // The sum skips the trailer, so it can be computed over the file as it
  // stands and stored afterwards.
  uint32_t sum = 0;
  {
    StdioFileSource check(temp);
    if (!check.IsOpen()) return fail.Output("--out " + o.outPath + ": cannot read back " + temp);
    sum = PackageChecksum(check, kTrailerLength);
  }
  const uint32_t stored = o.corruption == Corruption::Checksum ? sum ^ 0x01010101u : sum;
  if (!WriteWordAt(out.get(), trailerAt + kTrailerChecksum, stored) || std::fflush(out.get()) != 0 ||
      std::ferror(out.get()))
    return fail.Output(cannot);
  if (std::fclose(out.release()) != 0) return fail.Output(cannot);

  int64_t size = end;
  if (o.corruption == Corruption::Truncate) {
    // As a broken download: cut in the middle of the package data, so the
    // trailer is gone and the logical end lies past the physical end.
    size = headerOffset + (end - headerOffset) / 2;
    if (!TruncateFile(temp, size)) return fail.Output("--out " + o.outPath + ": cannot truncate " + temp);
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

std::string DosDateText(uint32_t d) {
  if (d == 0) return "none";
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (d >> 25), (d >> 21) & 15, (d >> 16) & 31,
                (d >> 11) & 31, (d >> 5) & 63, (d & 31) * 2);
  return text;
}

std::string DefaultMemberName(const std::string& path) { return FileNamePart(path); }

bool BuildPackage(const BuildOptions& o, BuildReport& report, std::string& error) {
  report = BuildReport();
  error.clear();
  const Failer fail{report, error};
  if (o.stubPath.empty()) return fail.Input("--stub is required (no stub.exe is installed beside kpack)");
  if (o.outPath.empty()) return fail.Input("--out is required");
  if (!HaveCompressor(o.compressor))
    return fail.Input(std::string("--compressor ") + CompressorName(o.compressor) + ": not built into this kpack");
  if (o.level < 0 || o.level > MaxLevel(o.compressor))
    return fail.Input("--level " + IntToText(o.level) + ": must be 0 to " + IntToText(MaxLevel(o.compressor)) +
                      " with " + CompressorName(o.compressor));
  if (!o.rawWebRecord && (!CheckRecord("--web-url", o.webUrl, fail) || !CheckRecord("--web-package", o.webPackage, fail) ||
                          !CheckRecord("--web-size", o.webSize, fail)))
    return false;
  if (!o.rawUpdateRecord &&
      (!CheckRecord("--update-url", o.updateUrl, fail) || !CheckRecord("--update-info", o.updateInfo, fail) ||
       !CheckRecord("--update-exe", o.updateExe, fail)))
    return false;
  std::vector<PlannedMember> plan;
  if (!CheckStub(o, fail) || !PlanMembers(o, plan, fail) || !CheckOutput(o, fail)) return false;

  const std::string temp = TempNameFor(o.outPath);
  if (!WritePackage(o, plan, temp, report, fail) || !ReplaceFile(temp, o.outPath)) {
    if (error.empty()) fail.Output("--out " + o.outPath + ": cannot rename " + temp + " to it");
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

std::string InputFileProblem(const std::string& path) { return ProblemOf(path, StatFile(path)); }

std::string InstalledStub() {
  std::string self;
#ifdef _WIN32
  char path[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameA(nullptr, path, DWORD(sizeof path));
  if (n == 0 || n >= sizeof path) return std::string();
  self.assign(path, n);
#else
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  self.assign(path, size_t(n));
#endif
  const std::string bin = FolderPart(self);
  const char sep = bin.find('\\') != std::string::npos ? '\\' : '/';
  const std::string candidates[] = {FolderPart(bin) + sep + "share" + sep + "kovrex" + sep + "stub.exe",
                                    bin + sep + "stub.exe"};
  for (const auto& c : candidates)
    if (StatFile(c).regular) return c;
  return std::string();
}

// --- Command line --------------------------------------------------------------

std::string UsageText() {
  return R"(kpack - append a setup package to the stub, and inspect packages

Usage: kpack [--stub STUB.exe] --out SETUP.exe [options] --file PATH[=NAME] ...
       kpack info SETUP.exe [--json] [--show-tokens]
       kpack verify SETUP.exe [--token SECRET] [--json]
       kpack @FILE ...        arguments from FILE: one per line, "--option
                              value" on one line, "#" starts a comment line

Members
  --file PATH[=NAME]     add a file; it is stored as NAME (default: its file
                         name). NAME must be a plain file name. Repeatable.
  --run NAME[*ARGS]      the member to start after extraction, with its
                         arguments (NAME must be one of the --file members)
  --date WHEN            stamp every member with WHEN instead of its file's
                         time: "YYYY-MM-DD HH:MM:SS" (local), or a packed DOS
                         date-time number, 0 for none
  --level N              compression level, 0 (store) to 9 (default 6);
                         up to 12 with libdeflate (smaller, slower)

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

Inspecting (info, verify)
  --json                 print JSON instead of text
  --show-tokens          info: show the tokens' plain text, not just "set"
  --token SECRET         verify: the package's tokens must be SECRET

Output
  --stub STUB.exe        the stub to append to (default: the stub installed
                         with kpack, share/kovrex/stub.exe)
  --quiet                no progress line and no summary
  --threads N            compress on N threads (default: one per core); the
                         output is the same for any N
  --compressor NAME      zlib or libdeflate (default: libdeflate when built
                         in); either writes zlib streams the stub reads

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
                         "C:\x", "a*" or one name twice: for tests of
                         hostile packages
  --help                 this text

The same inputs give the same bytes. The token filler is derived from the
inputs, or from SOURCE_DATE_EPOCH and the token when that is set; member
dates come from --date or the files (local time).

Exit codes: 0 done; 1 the output could not be written, or verify found
problems; 2 a wrong input (one line names the option or file), nothing
written.

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

enum : unsigned { kBuild = 1, kInfo = 2, kVerify = 4, kAll = 7 };

struct Switch {
  const char* name;
  bool takesValue;
  unsigned modes;
};

const Switch kSwitches[] = {
    {"--stub", true, kBuild},          {"--out", true, kBuild},           {"--file", true, kBuild},
    {"--run", true, kBuild},           {"--date", true, kBuild},          {"--level", true, kBuild},
    {"--web-url", true, kBuild},       {"--web-package", true, kBuild},   {"--web-size", true, kBuild},
    {"--always-download", false, kBuild}, {"--web-token", true, kBuild},  {"--update-url", true, kBuild},
    {"--update-info", true, kBuild},   {"--update-exe", true, kBuild},    {"--update-token", true, kBuild},
    {"--run-hidden", false, kBuild},   {"--token", true, kBuild | kVerify}, {"--confirm-temp-drive", false, kBuild},
    {"--web-setup", false, kBuild},    {"--ask-before-download", false, kBuild}, {"--install-auto-update", false, kBuild},
    {"--auto-update-program", false, kBuild}, {"--web-record", true, kBuild}, {"--update-record", true, kBuild},
    {"--no-logical-end", false, kBuild}, {"--corrupt", true, kBuild},     {"--help", false, kAll},
    {"--unsafe-names", false, kBuild}, {"--quiet", false, kAll},          {"--threads", true, kBuild},
    {"--compressor", true, kBuild},    {"--json", false, kInfo | kVerify}, {"--show-tokens", false, kInfo},
};

MemberFile ParseFileArgument(const std::string& arg) {
  // A path that names an existing file is taken whole, even with "=" in it.
  const size_t eq = arg.rfind('=');
  if (eq == std::string::npos || StatFile(arg).exists) return {arg, DefaultMemberName(arg)};
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

bool ApplyBuildSwitch(const std::string& name, const std::string& value, BuildOptions& o, std::string& error) {
  if (name == "--stub") o.stubPath = value;
  else if (name == "--out") o.outPath = value;
  else if (name == "--file") o.files.push_back(ParseFileArgument(value));
  else if (name == "--run") o.run = value;
  else if (name == "--date") {
    if (!ParseDate(value, o.dosDate)) {
      error = "--date " + value + ": expected \"YYYY-MM-DD HH:MM:SS\" (1980 to 2107) or a packed number";
      return false;
    }
    o.overrideDate = true;
  } else if (name == "--level") {
    int64_t v = 0;
    if (!TextToInt64(value, v) || v < 0 || v > 12) {
      error = "--level " + value + ": must be a number from 0 to 9 (12 with libdeflate)";
      return false;
    }
    o.level = int(v);
  } else if (name == "--threads") {
    int64_t v = 0;
    if (!TextToInt64(value, v) || v < 1 || v > 1024) {
      error = "--threads " + value + ": must be a number from 1 to 1024";
      return false;
    }
    o.threads = unsigned(v);
  } else if (name == "--compressor") {
    if (!CompressorFromName(value, o.compressor)) {
      error = "--compressor " + value + ": must be zlib or libdeflate";
      return false;
    }
  } else if (name == "--web-url") o.webUrl = value;
  else if (name == "--web-package") o.webPackage = value;
  else if (name == "--web-size") {
    int64_t v = 0;
    if (!TextToInt64(value, v) || v < 0) {
      error = "--web-size " + value + ": must be a number of bytes";
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
      error = "--corrupt " + value + ": must be checksum, magic, truncate, member or member-length";
      return false;
    }
  } else if (name == "--unsafe-names") o.allowUnsafeNames = true;
  return true;
}

bool ApplySwitch(unsigned mode, const std::string& name, const std::string& value, CommandLine& line,
                 std::string& error) {
  if (name == "--quiet") line.quiet = true;
  else if (name == "--json") line.json = true;
  else if (name == "--show-tokens") line.showTokens = true;
  else if (name == "--token" && mode == kVerify) {
    line.token = value;
    line.hasToken = true;
  } else return ApplyBuildSwitch(name, value, line.build, error);
  return true;
}

const char* ModeName(unsigned mode) { return mode == kInfo ? "info" : mode == kVerify ? "verify" : "building"; }

}  // namespace

bool ReadArgumentFile(const std::string& path, std::vector<std::string>& args, std::string& error) {
  File in(std::fopen(path.c_str(), "rb"));
  const FileFacts facts = StatFile(path);
  if (!in || facts.folder) {
    error = "@" + path + ": " + (facts.folder ? "is a folder" : facts.exists ? "cannot be read" : "no such file");
    return false;
  }
  std::string text;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, in.get())) > 0;) text.append(buf, n);
  if (std::ferror(in.get())) {
    error = "@" + path + ": cannot be read";
    return false;
  }
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;
    // "--option value" on one line: the value is the rest of the line.
    const size_t blank = line.find_first_of(" \t");
    if (line.compare(0, 2, "--") == 0 && blank != std::string::npos && line.find('=') > blank) {
      args.push_back(line.substr(0, blank));
      args.push_back(Trim(line.substr(blank)));
    } else {
      args.push_back(line);
    }
  }
  return true;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error) {
  line = CommandLine();
  error.clear();
  std::deque<std::string> pending(args.begin(), args.end());
  int argumentFiles = 0;
  // The next argument in option position; an "@FILE" there is replaced by
  // the arguments it holds.
  auto next = [&](std::string& arg) -> bool {
    while (!pending.empty()) {
      arg = pending.front();
      pending.pop_front();
      if (arg.size() < 2 || arg[0] != '@') return true;
      if (++argumentFiles > 64) {
        error = arg + ": more than 64 argument files (does one read itself?)";
        return false;
      }
      std::vector<std::string> more;
      if (!ReadArgumentFile(arg.substr(1), more, error)) return false;
      pending.insert(pending.begin(), more.begin(), more.end());
    }
    arg.clear();
    return false;
  };

  unsigned mode = 0;
  std::string arg;
  while (next(arg)) {
    if (mode == 0) {
      mode = kBuild;
      if (arg == "info" || arg == "verify") {
        mode = arg == "info" ? kInfo : kVerify;
        continue;
      }
    }
    if (arg.compare(0, 2, "--") != 0) {
      if (mode != kBuild && line.package.empty()) {
        line.package = arg;
        continue;
      }
      error = "unknown argument \"" + arg + "\" (see --help)";
      return ParseResult::Error;
    }
    std::string name = arg, value;
    const size_t eq = name.find('=');
    const bool inlineValue = eq != std::string::npos;
    if (inlineValue) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const Switch* sw = nullptr;
    for (const auto& s : kSwitches)
      if (name == s.name) sw = &s;
    if (!sw) {
      error = "unknown option \"" + arg + "\" (see --help)";
      return ParseResult::Error;
    }
    if (name == "--help") return ParseResult::Help;
    if (!(sw->modes & mode)) {
      error = name + ": not an option for " + ModeName(mode) + " (see --help)";
      return ParseResult::Error;
    }
    if (sw->takesValue && !inlineValue) {
      if (pending.empty()) {
        error = name + ": needs a value";
        return ParseResult::Error;
      }
      value = pending.front();
      pending.pop_front();
    } else if (!sw->takesValue && inlineValue) {
      error = name + ": takes no value";
      return ParseResult::Error;
    }
    if (!ApplySwitch(mode, name, value, line, error)) return ParseResult::Error;
  }
  if (!error.empty()) return ParseResult::Error;
  if (mode == kInfo || mode == kVerify) {
    if (line.package.empty()) {
      error = std::string(ModeName(mode)) + ": which package? (kpack " + ModeName(mode) + " SETUP.exe)";
      return ParseResult::Error;
    }
    return mode == kInfo ? ParseResult::Info : ParseResult::Verify;
  }
  if (line.build.outPath.empty()) {
    error = "--out is required (see --help)";
    return ParseResult::Error;
  }
  return ParseResult::Build;
}

}  // namespace kpack
