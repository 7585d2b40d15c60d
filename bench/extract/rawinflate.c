/* The raw limit for extraction: zlib inflate of every member stream of a
 * package into memory, natively, nothing written to disk.
 *
 * Reads the whole package into memory first (not timed), then inflates each
 * member through one reused 256 KiB output buffer, the way a streaming
 * extractor sees its output, and checks that every stream ends cleanly.
 * Prints: members, inflated bytes (member headers included), content bytes
 * (after each member's "|name|date|" NUL header), inflate seconds (wall) and
 * the process's CPU seconds over the same loop.
 *   rawinflate PACKAGE [ROUNDS]
 * ROUNDS > 1 repeats the inflate pass and prints the fastest.
 * Also builds with mingw (-static -lz), to time the stub's own zlib under Wine.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <zlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

enum { kTrailerLength = 74, kLogicalEndOffset = 252, kPEOffset = 256 };

static uint32_t le32(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static double now(void) {
#ifdef _WIN32
  LARGE_INTEGER c, f;
  QueryPerformanceCounter(&c);
  QueryPerformanceFrequency(&f);
  return (double)c.QuadPart / f.QuadPart;
#endif
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

/* CPU seconds of this process (user + system): what the work cost, whatever
 * else the machine was running. */
static double cpu(void) {
#ifdef _WIN32
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  return ((double)kernel.dwLowDateTime + 4294967296.0 * kernel.dwHighDateTime + (double)user.dwLowDateTime +
          4294967296.0 * user.dwHighDateTime) / 1e7;
#else
  struct timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
#endif
}

static int die(const char* what) {
  fprintf(stderr, "rawinflate: %s\n", what);
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 2) return die("usage: rawinflate PACKAGE [ROUNDS]");
  int rounds = argc > 2 ? atoi(argv[2]) : 1;
  FILE* f = fopen(argv[1], "rb");
  if (!f) return die("cannot open package");
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fseek(f, 0, SEEK_SET);
  unsigned char* pkg = malloc(size);
  if (!pkg || fread(pkg, 1, size, f) != (size_t)size) return die("cannot read package");
  fclose(f);

  /* The trailer ends at the logical end (offset 252 of a PE file) or at the file's end. */
  long end = size;
  if (size > kPEOffset + 2 && pkg[kPEOffset] == 'P' && pkg[kPEOffset + 1] == 'E') {
    int32_t logical = (int32_t)le32(pkg + kLogicalEndOffset);
    if (logical > 0 && logical <= size) end = logical;
  }
  if (end < kTrailerLength) return die("no trailer");
  const unsigned char* trailer = pkg + end - kTrailerLength;
  if (le32(trailer + 12) != 0x4A3B2C1Du) return die("bad magic");

  static unsigned char out[256 * 1024];
  double best = 1e30, bestCpu = 1e30;
  unsigned long long inflated = 0, content = 0;
  int members = 0;
  for (int r = 0; r < rounds; ++r) {
    inflated = content = 0;
    members = 0;
    double t0 = now(), c0 = cpu();
    long pos = le32(trailer + 4);
    for (int i = 0;; ++i) {
      if (pos + 4 > end) return die("record runs past the end");
      uint32_t len = le32(pkg + pos);
      long stored = pos + 4;
      pos = stored + len;
      if (pos > end) return die("record runs past the end");
      if (i >= 2) {
        z_stream z;
        memset(&z, 0, sizeof z);
        if (inflateInit(&z) != Z_OK) return die("inflateInit");
        z.next_in = pkg + stored;
        z.avail_in = len;
        int rc, inHeader = 1;
        do {
          z.next_out = out;
          z.avail_out = sizeof out;
          rc = inflate(&z, Z_NO_FLUSH);
          if (rc != Z_OK && rc != Z_STREAM_END) return die("corrupt member");
          size_t got = sizeof out - z.avail_out;
          inflated += got;
          if (inHeader) {
            unsigned char* nul = memchr(out, 0, got);
            if (nul) {
              inHeader = 0;
              content += got - (size_t)(nul - out) - 1;
            }
          } else {
            content += got;
          }
        } while (rc != Z_STREAM_END);
        inflateEnd(&z);
        ++members;
      }
      if (end - pos <= kTrailerLength) break;
    }
    double t = now() - t0, c = cpu() - c0;
    if (t < best) best = t;
    if (c < bestCpu) bestCpu = c;
  }
  printf("members=%d inflated=%llu content=%llu seconds=%.6f cpu=%.6f zlib=%s\n", members, inflated, content, best,
         bestCpu, zlibVersion());
  free(pkg);
  return 0;
}
