/* zlib against libdeflate outside kpack: raw deflate of whole files (or of
 * pieces of CH bytes, zlib pieces primed with the 32 KiB before them), one
 * core, compression time only. Prints the rate, the output and the ratio.
 *   cc -O2 compressors.c -o compressors -lz -ldeflate
 *   ./compressors z|d LEVEL FILE...        CH=1048576 ./compressors d 9 FILE... */
#include <libdeflate.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <zlib.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const char mode = argv[1][0];
  const int level = atoi(argv[2]);
  const size_t piece = getenv("CH") ? (size_t)atol(getenv("CH")) : 0;
  size_t total = 0, out = 0;
  double seconds = 0;
  for (int i = 3; i < argc; i++) {
    FILE* f = fopen(argv[i], "rb");
    if (!f) return 1;
    fseek(f, 0, SEEK_END);
    const size_t n = (size_t)ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* b = malloc(n + 1);
    if (fread(b, 1, n, f) != n) return 1;
    fclose(f);
    const size_t step = piece && piece < n ? piece : (n ? n : 1);
    for (size_t at = 0; at < n || (n == 0 && at == 0); at += step) {
      const size_t k = n - at < step ? n - at : step;
      const size_t cap = k + k / 10 + 1024;
      unsigned char* o = malloc(cap);
      size_t got;
      const double t0 = Now();
      if (mode == 'z') {
        z_stream z;
        memset(&z, 0, sizeof z);
        deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        if (at >= 32768) deflateSetDictionary(&z, b + at - 32768, 32768);
        z.next_in = b + at;
        z.avail_in = (uInt)k;
        z.next_out = o;
        z.avail_out = (uInt)cap;
        deflate(&z, Z_FINISH);
        got = cap - z.avail_out;
        deflateEnd(&z);
      } else {
        struct libdeflate_compressor* c = libdeflate_alloc_compressor(level);
        got = libdeflate_deflate_compress(c, b + at, k, o, cap);
        libdeflate_free_compressor(c);
      }
      seconds += Now() - t0;
      out += got;
      free(o);
      if (n == 0) break;
    }
    total += n;
    free(b);
  }
  printf("%s %-2d %8.1f MB/s  out %10zu  ratio %.4f\n", mode == 'z' ? "zlib      " : "libdeflate", level,
         total / seconds / 1e6, out, (double)out / total);
  return 0;
}
