// Package checksum and member inflation on a 100 MB package made by the
// builder in this run, each reported as a ratio to the machine's raw limit
// measured in the same run: reading the same file, and zlib inflating the
// same streams into one reused buffer.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Builder.h"
#include "package/PackageReader.h"
#include "package/Inflate.h"

namespace fs = std::filesystem;

namespace {

struct Package {
  fs::path dir;
  std::string file;
  int64_t size = 0;
  std::vector<std::string> stored;  // each member's zlib stream
  uint64_t inflatedBytes = 0;
};
Package g;

uint64_t NextRandom(uint64_t& s) {
  s ^= s << 13;
  s ^= s >> 7;
  s ^= s << 17;
  return s;
}

// Already-compressed data (as most of a real setup is), and text.
void WriteMembers(std::vector<kpack::MemberFile>& files) {
  uint64_t s = 88172645463325252ull;
  {
    std::ofstream out(g.dir / "program.bin", std::ios::binary);
    std::vector<uint64_t> block(1 << 16);
    for (int i = 0; i < 112; ++i) {  // 56 MiB
      for (auto& w : block) w = NextRandom(s);
      out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * 8));
    }
  }
  {
    static const char* words[] = {"setup", "install", "file", "the", "update", "version", "folder", "program",
                                  "window", "message", "kernel", "of", "and", "to", "registry", "value"};
    std::ofstream out(g.dir / "readme.txt", std::ios::binary);
    std::string line;
    for (size_t written = 0; written < (size_t(200) << 20);) {  // 200 MiB of words
      line.clear();
      for (int w = 0; w < 12; ++w) {
        line += words[NextRandom(s) % 16];
        line += (NextRandom(s) % 7) ? ' ' : ',';
      }
      line += std::to_string(NextRandom(s) % 100000) + "\r\n";
      out << line;
      written += line.size();
    }
  }
  files = {{(g.dir / "program.bin").string(), "program.bin"}, {(g.dir / "readme.txt").string(), "readme.txt"}};
}

bool MakePackage() {
  g.dir = fs::temp_directory_path() / ("kovrex_bench_" + std::to_string(::getpid()));
  fs::create_directories(g.dir);
  std::string stub(65536, '\x90');
  stub.replace(0, 2, "MZ");
  stub.replace(kLogicalEndOffset, 6, std::string(4, '\0') + "PE");  // a zero logical end, then "PE" at 256
  std::ofstream((g.dir / "stub.exe").string(), std::ios::binary) << stub;

  kpack::BuildOptions o;
  o.stubPath = (g.dir / "stub.exe").string();
  o.outPath = (g.dir / "setup.exe").string();
  WriteMembers(o.files);
  o.run = "program.bin";
  kpack::BuildReport report;
  std::string error;
  if (!kpack::BuildPackage(o, report, error)) {
    std::fprintf(stderr, "package_bench: %s\n", error.c_str());
    return false;
  }
  fs::remove(g.dir / "program.bin");
  fs::remove(g.dir / "readme.txt");
  g.file = o.outPath;
  g.size = int64_t(report.packageSize);

  StdioFileSource src(g.file);
  TGFileInfo info;
  info.Create(src);
  int64_t at = info.FirstMemberOffset();
  for (uint32_t i = 0; i < info.MemberCount(); ++i) {
    uint8_t b[4];
    src.ReadAt(at, b, 4);
    std::string stored(LoadLE32(b), '\0');
    src.ReadAt(at + 4, &stored[0], stored.size());
    at += 4 + int64_t(stored.size());
    std::string out;
    if (InflateMember(stored, out).raised) return false;
    g.inflatedBytes += out.size();
    g.stored.push_back(std::move(stored));
  }
  std::printf("package: %.1f MB, %zu members, %.1f MB inflated\n", double(g.size) / 1e6, g.stored.size(),
              double(g.inflatedBytes) / 1e6);
  return true;
}

void BM_ReadFile(benchmark::State& state) {
  std::unique_ptr<char[]> buf(new char[65536]);
  for (auto _ : state) {
    FILE* f = std::fopen(g.file.c_str(), "rb");
    size_t total = 0, n;
    while ((n = std::fread(buf.get(), 1, 65536, f)) > 0) total += n;
    std::fclose(f);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * g.size);
}

void BM_PackageChecksum(benchmark::State& state) {
  for (auto _ : state) {
    StdioFileSource src(g.file);
    benchmark::DoNotOptimize(PackageChecksum(src, kTrailerLength));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * g.size);
}

void BM_ZlibInflateRaw(benchmark::State& state) {
  std::unique_ptr<Bytef[]> out(new Bytef[1 << 18]);
  for (auto _ : state) {
    for (const auto& s : g.stored) {
      z_stream z{};
      inflateInit(&z);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
      z.avail_in = uInt(s.size());
      int ret;
      do {
        z.next_out = out.get();
        z.avail_out = 1 << 18;
        ret = inflate(&z, Z_NO_FLUSH);
      } while (ret == Z_OK);
      inflateEnd(&z);
      benchmark::DoNotOptimize(ret);
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g.inflatedBytes));
}

void BM_InflateMember(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& s : g.stored) {
      std::string out;
      benchmark::DoNotOptimize(InflateMember(s, out).raised);
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g.inflatedBytes));
}

struct Discard : InflateSink {
  bool Write(const char* p, size_t n) override {
    benchmark::DoNotOptimize(p);
    return n > 0;
  }
};

void BM_StreamedInflate(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& s : g.stored) {
      MemorySource src(s);
      Discard sink;
      benchmark::DoNotOptimize(InflateMemberFrom(src, 0, uint32_t(s.size()), sink).raised);
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g.inflatedBytes));
}

// Each benchmark repeated, timed by the wall clock (reading is partly system
// time); the medians feed the ratios.
#define KOVREX_BENCH(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true)
KOVREX_BENCH(BM_ReadFile);
KOVREX_BENCH(BM_PackageChecksum);
KOVREX_BENCH(BM_ZlibInflateRaw);
KOVREX_BENCH(BM_InflateMember);
KOVREX_BENCH(BM_StreamedInflate);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}  // no colour codes in logs
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.aggregate_name == "median") {
        auto it = r.counters.find("bytes_per_second");
        if (it != r.counters.end()) rates_[r.run_name.function_name] = it->second.value;
      }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nratios to the raw limit measured in this run (medians):\n");
    Ratio("PackageChecksum / file read", "BM_PackageChecksum", "BM_ReadFile");
    Ratio("InflateMember / raw zlib inflate", "BM_InflateMember", "BM_ZlibInflateRaw");
    Ratio("streamed inflate / raw zlib inflate", "BM_StreamedInflate", "BM_ZlibInflateRaw");
  }

 private:
  void Ratio(const char* what, const char* a, const char* b) const {
    auto x = rates_.find(a), y = rates_.find(b);
    if (x == rates_.end() || y == rates_.end() || y->second <= 0) return;
    std::printf("  %-38s %.2f  (%.0f MB/s vs %.0f MB/s)\n", what, x->second / y->second, x->second / 1e6,
                y->second / 1e6);
  }
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
#if defined(__SANITIZE_ADDRESS__)
  std::printf("note: built with AddressSanitizer; use a Release tree with -DKOVREX_SANITIZE=OFF for real figures\n");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  std::printf("note: built with AddressSanitizer; use a Release tree with -DKOVREX_SANITIZE=OFF for real figures\n");
#endif
#endif
  const bool ok = MakePackage();
  if (ok) {
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
  }
  std::error_code ec;
  fs::remove_all(g.dir, ec);
  benchmark::Shutdown();
  return ok ? 0 : 1;
}
