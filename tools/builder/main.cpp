// kpack command line: build a package, or show or verify one.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Builder.h"
#include "Inspect.h"
#include "support/Utils.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

// One line on the terminal, rewritten in place: bytes done of total, rate.
class ProgressLine {
 public:
  void Show(uint64_t done, uint64_t total) {
    const double elapsed = Seconds();
    // Short packs show nothing; then at most five updates a second.
    if (elapsed < 0.5 || (elapsed - shownAt_ < 0.2 && done < total)) return;
    shownAt_ = elapsed;
    std::fprintf(stderr, "\rkpack: %.1f of %.1f MB, %.1f MB/s   ", done / 1e6, total / 1e6, done / 1e6 / elapsed);
    std::fflush(stderr);
    shown_ = true;
  }
  void End() {
    if (shown_) std::fputs("\n", stderr);
  }

 private:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  double shownAt_ = -1;
  bool shown_ = false;
};

int Inspect(const kpack::CommandLine& line, bool verify) {
  const std::string problem = kpack::InputFileProblem(line.package);
  StdioFileSource source(line.package);
  kpack::PackageFacts facts;
  if (!problem.empty() || !source.IsOpen() || !kpack::ReadPackageFacts(source, facts)) {
    std::fprintf(stderr, "kpack: %s: %s\n", line.package.c_str(), problem.empty() ? "cannot be read" : problem.c_str());
    return 2;
  }
  if (!verify) {
    const std::string text = line.json ? kpack::InfoJson(line.package, facts, line.showTokens)
                                       : kpack::InfoText(line.package, facts, line.showTokens);
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  const auto problems = kpack::PackageProblems(facts, line.hasToken ? &line.token : nullptr);
  const std::string text = line.json ? kpack::VerifyJson(line.package, facts, problems)
                                     : kpack::VerifyText(line.package, facts, problems);
  std::fputs(text.c_str(), problems.empty() || line.json ? stdout : stderr);
  return problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  kpack::CommandLine line;
  std::string error;
  const kpack::ParseResult parsed = kpack::ParseCommandLine(args, line, error);
  switch (parsed) {
    case kpack::ParseResult::Help:
      std::fputs(kpack::UsageText().c_str(), stdout);
      return 0;
    case kpack::ParseResult::Error:
      std::fprintf(stderr, "kpack: %s\n", error.c_str());
      return 2;
    case kpack::ParseResult::Info:
    case kpack::ParseResult::Verify:
      return Inspect(line, parsed == kpack::ParseResult::Verify);
    case kpack::ParseResult::Build:
      break;
  }

  kpack::BuildOptions& options = line.build;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    int64_t seconds = 0;
    if (!TextToInt64(epoch, seconds) || seconds < 0) {
      std::fprintf(stderr, "kpack: SOURCE_DATE_EPOCH=%s: not a number of seconds\n", epoch);
      return 2;
    }
    options.sourceDateEpoch = epoch;
  }
  if (options.stubPath.empty()) options.stubPath = kpack::InstalledStub();
  ProgressLine progress;
  if (!line.quiet && isatty(fileno(stderr)))
    options.progress = [&progress](uint64_t done, uint64_t total) { progress.Show(done, total); };

  kpack::BuildReport report;
  const bool built = kpack::BuildPackage(options, report, error);
  progress.End();
  if (!built) {
    std::fprintf(stderr, "kpack: %s\n", error.c_str());
    return report.failure == kpack::Failure::Output ? 1 : 2;
  }
  if (!line.quiet)
    std::printf("kpack: wrote %s: %llu bytes, %zu members, %llu content bytes, checksum 0x%08X\n",
                options.outPath.c_str(), static_cast<unsigned long long>(report.packageSize), options.files.size(),
                static_cast<unsigned long long>(report.contentBytes), report.checksum);
  return 0;
}
