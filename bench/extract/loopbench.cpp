// The extraction loop timed inside one Windows process (run under Wine), on
// a package made by kpack:   loopbench PACKAGE FOLDER ROUNDS
//
//   extract    ExtractPackage as shipped (members written into FOLDER, their
//              reads feeding the package sum, messages pumped when due)
//   loop ...   the member loop alone, built from the same parts (byte source,
//              InflateMemberFrom, one WriteFile per output piece), with other
//              read and output piece sizes and with a pump after every read
//              (the former way): what the shipped sizes were chosen from
//   read       a plain read of the package in 64 KiB pieces, as the checksum
//              pass reads it; checksum = PackageChecksum through the same reads
//   inflate    zlib inflating every member stream from memory into one reused
//              buffer: the raw limit of the loop
// Every configuration runs once per round, in turn, so a drift of the
// machine's speed hits all alike; the first round is a warm-up. Prints min
// and median milliseconds, and the ratios pair by pair within a round.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "package/ExtractorWin.h"
#include "package/Inflate.h"
#include "package/PackageReader.h"
#include "package/PackageReaderWin.h"
#include "support/UtilsWin.h"

namespace {

double Now() {
  LARGE_INTEGER c, f;
  QueryPerformanceCounter(&c);
  QueryPerformanceFrequency(&f);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

struct Member {
  int64_t offset;
  uint32_t length;
};

enum class Pumping { EveryRead, WhenDue };

DWORD gLastPump = 0;
void Pump(Pumping mode) {
  if (mode == Pumping::EveryRead) {
    PumpMessage();
    return;
  }
  const DWORD now = GetTickCount();
  if (now - gLastPump < 50) return;
  PumpWaitingMessages();
  gLastPump = GetTickCount();
}

class PumpedSource : public ByteSource {
 public:
  PumpedSource(ByteSource& inner, Pumping mode) : inner_(inner), mode_(mode) {}
  int64_t Size() override { return inner_.Size(); }
  size_t ReadAt(int64_t offset, void* buf, size_t n) override {
    const size_t got = inner_.ReadAt(offset, buf, n);
    Pump(mode_);
    return got;
  }

 private:
  ByteSource& inner_;
  Pumping mode_;
};

// Header up to the first NUL skipped, the rest written to the file.
class FileSink : public InflateSink {
 public:
  FileSink(const std::string& path, Pumping mode) : mode_(mode) {
    file_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
  }
  ~FileSink() override { CloseHandle(file_); }
  bool Write(const char* data, size_t n) override {
    if (mode_ == Pumping::WhenDue) Pump(mode_);
    if (header_) {
      const char* nul = static_cast<const char*>(memchr(data, 0, n));
      if (!nul) return true;
      header_ = false;
      n -= size_t(nul + 1 - data);
      data = nul + 1;
    }
    DWORD written = 0;
    return n == 0 || (WriteFile(file_, data, DWORD(n), &written, nullptr) && written == n);
  }

 private:
  HANDLE file_;
  Pumping mode_;
  bool header_ = true;
};

struct Loop {
  const char* name;
  size_t readPiece, outputPiece;
  Pumping pumping;
};

double RunLoop(const std::string& package, const std::vector<Member>& members, const std::string& folder,
               const Loop& loop) {
  const double t0 = Now();
  Win32FileSource file(package);
  PumpedSource source(file, loop.pumping);
  int i = 0;
  for (const Member& m : members) {
    FileSink sink(folder + "\\m" + std::to_string(i++), loop.pumping);
    if (InflateMemberFrom(source, m.offset, m.length, sink, loop.readPiece, loop.outputPiece).raised) {
      std::fprintf(stderr, "loopbench: member %d does not inflate\n", i);
      std::exit(1);
    }
  }
  return Now() - t0;
}

double PlainRead(const std::string& package) {
  const double t0 = Now();
  Win32FileSource file(package);
  std::unique_ptr<char[]> buf(new char[65536]);
  int64_t at = 0;
  for (size_t got; (got = file.ReadAt(at, buf.get(), 65536)) > 0;) at += int64_t(got);
  if (at != file.Size()) std::exit(1);
  return Now() - t0;
}

double Checksum(const std::string& package, uint32_t expected) {
  const double t0 = Now();
  Win32FileSource file(package);
  if (PackageChecksum(file, kTrailerLength) != expected) {
    std::fprintf(stderr, "loopbench: checksum differs\n");
    std::exit(1);
  }
  return Now() - t0;
}

double RawInflate(const std::vector<std::string>& stored) {
  static unsigned char out[256 * 1024];
  const double t0 = Now();
  for (const std::string& s : stored) {
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
    z.avail_in = uInt(s.size());
    int rc;
    do {
      z.next_out = out;
      z.avail_out = sizeof out;
      rc = inflate(&z, Z_NO_FLUSH);
    } while (rc == Z_OK);
    inflateEnd(&z);
    if (rc != Z_STREAM_END) std::exit(1);
  }
  return Now() - t0;
}

struct NoProgress : ProgressSink {
  void Progress(int, int, int, int, int) override {}
};

double Extract(const std::string& package, const std::string& folder) {
  NoProgress none;
  const double t0 = Now();
  const ExtractResult r = ExtractPackage(package, folder, "", none);
  const double t = Now() - t0;
  if (!r.checksumOk || r.corrupt || r.stopped || r.saveFailures) {
    std::fprintf(stderr, "loopbench: extraction failed\n");
    std::exit(1);
  }
  return t;
}

void Clear(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + "\\" + fd.cFileName).c_str());
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Row(const char* name, const std::vector<double>& v, const char* unit) {
  std::printf("%-52s %9.3f %9.3f %s\n", name, *std::min_element(v.begin(), v.end()), Median(v), unit);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: loopbench PACKAGE FOLDER ROUNDS\n", stderr);
    return 2;
  }
  const std::string package = argv[1], folder = argv[2];
  const int rounds = std::atoi(argv[3]);
  CreateDirectoryA(folder.c_str(), nullptr);
  // A window of the thread's own, as the stub has, so pumps meet a real queue.
  CreateWindowExA(0, "STATIC", "loopbench", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);

  TGFileInfo info;
  Win32FileSource file(package);
  info.Create(file);
  TrailerCopy trailer;
  ReadTrailer(file, trailer);
  std::vector<Member> members;
  std::vector<std::string> stored;
  int64_t at = info.FirstMemberOffset();
  for (uint32_t i = 0; i < info.MemberCount(); ++i) {
    uint32_t length = 0;
    if (!ReadWord(file, at, length)) return 1;
    members.push_back({at + 4, length});
    stored.emplace_back(length, '\0');
    if (!ReadExact(file, at + 4, &stored.back()[0], length)) return 1;
    at += 4 + int64_t(length);
  }

  const size_t K = 1024;
  const Loop loops[] = {
      {"loop 64K read, 64K out, pump every read (former)", 64 * K, 64 * K, Pumping::EveryRead},
      {"loop 64K read, 64K out, pump when due", 64 * K, 64 * K, Pumping::WhenDue},
      {"loop 256K read, 64K out, pump when due", 256 * K, 64 * K, Pumping::WhenDue},
      {"loop 64K read, 256K out, pump when due", 64 * K, 256 * K, Pumping::WhenDue},
      {"loop 256K read, 256K out, pump when due", 256 * K, 256 * K, Pumping::WhenDue},
      {"loop 1M read, 1M out, pump when due", 1024 * K, 1024 * K, Pumping::WhenDue},
      {"loop 256K read, 1M out, pump when due", 256 * K, 1024 * K, Pumping::WhenDue},
      {"loop 256K read, 256K out, pump every read", 256 * K, 256 * K, Pumping::EveryRead},
  };
  const size_t nLoops = sizeof loops / sizeof loops[0];
  std::vector<std::vector<double>> loopMs(nLoops);
  std::vector<double> extractMs, readMs, sumMs, rawMs;
  for (int r = 0; r <= rounds; ++r) {
    const bool counted = r > 0;
    for (size_t l = 0; l < nLoops; ++l) {
      const double t = RunLoop(package, members, folder, loops[l]);
      Clear(folder);
      if (counted) loopMs[l].push_back(t);
    }
    const double e = Extract(package, folder);
    Clear(folder);
    const double pr = PlainRead(package), cs = Checksum(package, trailer.Word(kTrailerChecksum));
    const double raw = RawInflate(stored);
    if (counted) {
      extractMs.push_back(e);
      readMs.push_back(pr);
      sumMs.push_back(cs);
      rawMs.push_back(raw);
    }
  }

  uint64_t content = 0;
  for (const Member& m : members) content += m.length;
  std::printf("package %s: %zu members, %.1f MB stored; %d rounds after a warm-up\n", package.c_str(),
              members.size(), double(content) / 1e6, rounds);
  std::printf("%-52s %9s %9s\n", "", "min", "median");
  Row("ExtractPackage as shipped (members + sum, one read)", extractMs, "ms");
  for (size_t l = 0; l < nLoops; ++l) Row(loops[l].name, loopMs[l], "ms");
  Row("plain read, 64K pieces", readMs, "ms");
  Row("PackageChecksum", sumMs, "ms");
  Row("raw inflate from memory", rawMs, "ms");
  std::printf("%-52s %9s %9s\n", "ratios, pair by pair in one round", "min", "median");
  auto ratio = [&](const char* name, const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> v;
    for (size_t i = 0; i < a.size(); ++i) v.push_back(a[i] / b[i]);
    Row(name, v, "");
  };
  for (size_t l = 0; l < nLoops; ++l) {
    std::string name = std::string("raw / ") + loops[l].name;
    ratio(name.c_str(), rawMs, loopMs[l]);
  }
  ratio("raw / ExtractPackage", rawMs, extractMs);
  ratio("checksum speed / plain read speed", readMs, sumMs);
  return 0;
}
