// Member compression for kpack: a member's bytes are cut into pieces that are
// compressed on their own, on all cores, and joined into one zlib stream that
// any inflate (the stub's included) reads as if it had been made in one go.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kpack {

enum class Compressor { Zlib, Libdeflate };

// libdeflate where the build has it (smaller and faster at every level on
// the measured payloads, see bench/pack), else zlib.
Compressor DefaultCompressor();
bool HaveCompressor(Compressor c);
const char* CompressorName(Compressor c);
bool CompressorFromName(const std::string& name, Compressor& c);
// Highest level: 9 for zlib, 12 for libdeflate.
int MaxLevel(Compressor c);

// Uncompressed bytes per piece. Fixed, so the output never depends on the
// number of cores; large enough that a piece's fresh start costs well under
// a thousandth of the output.
constexpr size_t kPieceSize = 1 << 20;

// One piece of a member's uncompressed stream ("|name|date|" NUL content).
struct Piece {
  std::string input;
  std::string window;  // up to 32 KiB before input in the same member (zlib primes with it)
  bool first = false;  // the member's first piece (it begins with the header)
  bool last = false;   // the member's final piece
  uint64_t content = 0;  // member content bytes in input (the header not counted)
  // Raw deflate. A final piece ends the stream; any other ends on a byte
  // boundary after an empty stored block, so the next piece can follow.
  std::string output;
  uint32_t adler = 1;  // Adler-32 of input alone
  bool ok = false;
};

bool CompressPiece(Compressor c, int level, Piece& piece);

// The two-byte zlib header for a level (its level hint as zlib writes it).
std::string ZlibHeader(int level);
// Adler-32 of a followed by b, b being lengthB bytes long.
uint32_t CombineAdler(uint32_t a, uint32_t b, uint64_t lengthB);

// Compresses pieces on worker threads and hands them back in the order they
// were submitted. The caller bounds the number in flight.
class PiecePool {
 public:
  PiecePool(Compressor c, int level, unsigned threads);
  ~PiecePool();
  PiecePool(const PiecePool&) = delete;
  PiecePool& operator=(const PiecePool&) = delete;

  void Submit(std::unique_ptr<Piece> piece);
  // The oldest submitted piece, once compressed; null when none is pending.
  std::unique_ptr<Piece> Next();
  size_t InFlight() const { return order_.size(); }
  unsigned Threads() const { return unsigned(workers_.size()); }

 private:
  struct Job {
    std::unique_ptr<Piece> piece;
    bool done = false;
  };
  void Work();

  Compressor compressor_;
  int level_;
  std::mutex mutex_;
  std::condition_variable workReady_, jobDone_;
  std::deque<std::shared_ptr<Job>> queue_;  // not yet taken by a worker
  std::deque<std::shared_ptr<Job>> order_;  // submitted, not yet handed back
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace kpack
