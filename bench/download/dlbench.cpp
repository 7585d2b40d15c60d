// One download through the client, timed: prints what it measured as
// key=value pairs for bench/download/run.sh.
//   download_bench URL DEST [--abort-after CHUNKS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "environment/FilesWin.h"
#include "update/HttpClientWin.h"

namespace {

struct Counter : ProgressSink {
  int steps = 0, position = -1, high = -1, abortAfter = -1;
  void Progress(int kind, int, int h, int pos, int) override {
    if (kind == 0) position = pos, high = h;
    if (kind == 1 && ++steps == abortAfter) DownloadAbort = true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: download_bench URL DEST [--abort-after CHUNKS]\n", stderr);
    return 2;
  }
  Counter c;
  if (argc > 4 && !std::strcmp(argv[3], "--abort-after")) c.abortAfter = std::atoi(argv[4]);
  std::string error, content;
  LARGE_INTEGER f, t0, t1;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t0);
  HttpDownload(nullptr, argv[1], argv[2], error, &c, content);
  QueryPerformanceCounter(&t1);
  const double ms = double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(f.QuadPart);
  std::printf("ms=%.1f steps=%d position=%d high=%d complete=%d error=%s\n", ms, c.steps, c.position, c.high,
              FileExists(argv[2]) ? 1 : 0, error.c_str());
  return 0;
}
