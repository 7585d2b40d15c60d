// kpack command line: parse, build, report.
#include <cstdio>

#include "Builder.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  kpack::BuildOptions options;
  std::string error;
  switch (kpack::ParseCommandLine(args, options, error)) {
    case kpack::ParseResult::Help:
      std::fputs(kpack::UsageText().c_str(), stdout);
      return 0;
    case kpack::ParseResult::Error:
      std::fprintf(stderr, "kpack: %s\n", error.c_str());
      return 2;
    case kpack::ParseResult::Build:
      break;
  }
  kpack::BuildReport report;
  if (!kpack::BuildPackage(options, report, error)) {
    std::fprintf(stderr, "kpack: %s\n", error.c_str());
    return 1;
  }
  std::printf("kpack: wrote %s: %llu bytes, %zu members, %llu content bytes, checksum 0x%08X\n",
              options.outPath.c_str(), static_cast<unsigned long long>(report.packageSize), options.files.size(),
              static_cast<unsigned long long>(report.contentBytes), report.checksum);
  return 0;
}
