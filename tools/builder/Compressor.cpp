#include "Compressor.h"

#include <zlib.h>

#include <cstring>

#ifdef KPACK_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace kpack {

namespace {

bool CompressWithZlib(int level, Piece& p) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  bool ok = p.window.empty() ||
            deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(p.window.data()), uInt(p.window.size())) == Z_OK;
  p.output.resize(deflateBound(&z, uLong(p.input.size())) + 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(p.input.data()));
  z.avail_in = uInt(p.input.size());
  const int flush = p.last ? Z_FINISH : Z_SYNC_FLUSH;
  while (ok) {
    z.next_out = reinterpret_cast<Bytef*>(&p.output[0]) + z.total_out;
    z.avail_out = uInt(p.output.size() - z.total_out);
    const int ret = deflate(&z, flush);
    if (ret == Z_STREAM_ERROR) ok = false;
    else if (p.last ? ret == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) break;
    else p.output.resize(p.output.size() * 2);
  }
  p.output.resize(z.total_out);
  deflateEnd(&z);
  return ok;
}

#ifdef KPACK_HAVE_LIBDEFLATE
// The ending of a piece that is not the member's last: an empty stored block
// (three zero header bits, padding to the byte boundary, LEN 0, NLEN FFFF),
// as zlib's sync flush writes it.
void AppendEmptyStoredBlock(std::string& out, uint64_t endBit) {
  const unsigned spare = unsigned((8 - endBit % 8) % 8);  // zero bits left in the last byte
  if (spare < 3) out += '\0';
  out.append("\0\0\xFF\xFF", 4);
}

// Turns a complete raw deflate stream into one that does not end: the final
// block's BFINAL bit cleared and an empty stored block appended. zlib's
// inflate finds the block boundaries (Z_BLOCK); it also checks that the
// stream gives back exactly `expected` bytes.
bool OpenEnd(std::string& deflated, size_t expected) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(&deflated[0]);
  z.avail_in = uInt(deflated.size());
  std::unique_ptr<Bytef[]> scratch(new Bytef[65536]);
  uint64_t lastHeaderBit = 0, endBit = 0;
  bool found = false;
  for (;;) {
    z.next_out = scratch.get();
    z.avail_out = 65536;
    const int ret = inflate(&z, Z_BLOCK);
    if (ret != Z_OK && ret != Z_BUF_ERROR) break;
    if (z.data_type & 128) {
      // At a block boundary; the unused bits are then fewer than eight.
      const uint64_t bit = uint64_t(deflated.size() - z.avail_in) * 8 - uint64_t(z.data_type & 7);
      if (z.data_type & 64) {
        endBit = bit;
        found = true;
        break;
      }
      lastHeaderBit = bit;
    }
    if (ret == Z_BUF_ERROR) break;  // no progress possible: truncated
  }
  const bool whole = found && z.total_out == expected;
  inflateEnd(&z);
  if (!whole) return false;
  deflated.resize(size_t((endBit + 7) / 8));
  deflated[size_t(lastHeaderBit / 8)] &= char(~(1u << (lastHeaderBit % 8)));
  if (endBit % 8) deflated.back() &= char((1u << (endBit % 8)) - 1);
  AppendEmptyStoredBlock(deflated, endBit);
  return true;
}

// One compressor per worker thread: the high levels allocate megabytes.
libdeflate_compressor* LibdeflateFor(int level) {
  struct Cache {
    int level = -1;
    libdeflate_compressor* c = nullptr;
    ~Cache() {
      if (c) libdeflate_free_compressor(c);
    }
  };
  thread_local Cache cache;
  if (cache.level != level) {
    if (cache.c) libdeflate_free_compressor(cache.c);
    cache.c = libdeflate_alloc_compressor(level);
    cache.level = cache.c ? level : -1;
  }
  return cache.c;
}

bool CompressWithLibdeflate(int level, Piece& p) {
  libdeflate_compressor* c = LibdeflateFor(level);
  if (!c) return false;
  p.output.resize(libdeflate_deflate_compress_bound(c, p.input.size()));
  const size_t n = libdeflate_deflate_compress(c, p.input.data(), p.input.size(), &p.output[0], p.output.size());
  if (n == 0) return false;
  p.output.resize(n);
  // libdeflate always ends its stream; a piece in the middle must not.
  return p.last || OpenEnd(p.output, p.input.size());
}
#endif

}  // namespace

Compressor DefaultCompressor() {
#ifdef KPACK_HAVE_LIBDEFLATE
  return Compressor::Libdeflate;
#else
  return Compressor::Zlib;
#endif
}

bool HaveCompressor(Compressor c) { return c == Compressor::Zlib || c == DefaultCompressor(); }

const char* CompressorName(Compressor c) { return c == Compressor::Zlib ? "zlib" : "libdeflate"; }

bool CompressorFromName(const std::string& name, Compressor& c) {
  if (name == "zlib") c = Compressor::Zlib;
  else if (name == "libdeflate") c = Compressor::Libdeflate;
  else return false;
  return true;
}

int MaxLevel(Compressor c) { return c == Compressor::Zlib ? 9 : 12; }

bool CompressPiece(Compressor c, int level, Piece& piece) {
  piece.adler = uint32_t(adler32(1, reinterpret_cast<const Bytef*>(piece.input.data()), uInt(piece.input.size())));
#ifdef KPACK_HAVE_LIBDEFLATE
  if (c == Compressor::Libdeflate) return piece.ok = CompressWithLibdeflate(level, piece);
#endif
  if (c != Compressor::Zlib) return piece.ok = false;
  return piece.ok = CompressWithZlib(level, piece);
}

std::string ZlibHeader(int level) {
  // Deflate, 32 KiB window; the level hint as zlib sets it (78 9C at 6).
  const unsigned hint = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = 0x78 << 8 | hint << 6;
  header += 31 - header % 31;
  return std::string{char(header >> 8), char(header & 0xFF)};
}

uint32_t CombineAdler(uint32_t a, uint32_t b, uint64_t lengthB) {
  // Pieces are at most kPieceSize long, well within z_off_t on every host.
  return uint32_t(adler32_combine(a, b, z_off_t(lengthB)));
}

// --- Worker pool ---------------------------------------------------------------

PiecePool::PiecePool(Compressor c, int level, unsigned threads) : compressor_(c), level_(level) {
  if (threads == 0) threads = 1;
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

PiecePool::~PiecePool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workReady_.notify_all();
  for (auto& w : workers_) w.join();
}

void PiecePool::Submit(std::unique_ptr<Piece> piece) {
  auto job = std::make_shared<Job>();
  job->piece = std::move(piece);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(job);
    order_.push_back(job);
  }
  workReady_.notify_one();
}

std::unique_ptr<Piece> PiecePool::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (order_.empty()) return nullptr;
  std::shared_ptr<Job> job = order_.front();
  jobDone_.wait(lock, [&job] { return job->done; });
  order_.pop_front();
  return std::move(job->piece);
}

void PiecePool::Work() {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      workReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = queue_.front();
      queue_.pop_front();
    }
    CompressPiece(compressor_, level_, *job->piece);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job->done = true;
    }
    jobDone_.notify_all();
  }
}

}  // namespace kpack
