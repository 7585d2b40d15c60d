#include "package/Inflate.h"

#include <climits>
#include <memory>

namespace {

std::string ZLibText(const z_stream& z, int code) {
  if (z.msg) return z.msg;
  const char* text = zError(code);
  return text ? text : "zlib error";
}

EZLibError Raised(std::string message) {
  EZLibError e;
  e.raised = true;
  e.message = std::move(message);
  return e;
}

}  // namespace

EZLibError InflateMember(const std::string& stored, std::string& output) {
  output.clear();
  if (stored.size() > UINT_MAX) return Raised(zError(Z_BUF_ERROR));
  z_stream z{};
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
  z.avail_in = uInt(stored.size());
  int ret = inflateInit(&z);
  if (ret != Z_OK) return Raised(ZLibText(z, ret));

  // Inflate through a fixed piece and append: the result grows geometrically
  // and is never zero-filled first, so large members cost little more than
  // zlib itself. The stored size, rounded up to 256 bytes, is the first guess.
  constexpr uInt kPiece = 256 * 1024;
  std::unique_ptr<Bytef[]> piece(new Bytef[kPiece]);
  std::string out;
  out.reserve(((stored.size() + 255) / 256) * 256);
  EZLibError error;
  for (;;) {
    z.next_out = piece.get();
    z.avail_out = kPiece;
    ret = inflate(&z, Z_NO_FLUSH);
    out.append(reinterpret_cast<const char*>(piece.get()), kPiece - z.avail_out);
    if (ret == Z_STREAM_END) break;
    // A stream asking for a preset dictionary can never finish here; with
    // the input used up and room left, Z_OK is followed by Z_BUF_ERROR.
    if (ret < 0 || ret == Z_NEED_DICT) {
      error = Raised(ZLibText(z, ret));
      break;
    }
  }
  const int endRet = inflateEnd(&z);
  if (!error.raised && endRet < 0) error = Raised(ZLibText(z, endRet));
  if (!error.raised) output.swap(out);
  return error;
}

InflateSink::~InflateSink() = default;

StreamInflater::StreamInflater(InflateSink& sink, size_t bufferSize)
    : sink_(sink), bufferSize_(bufferSize ? (bufferSize < UINT_MAX ? bufferSize : UINT_MAX) : 1) {
  buffer_ = new char[bufferSize_];
  const int ret = inflateInit(&stream_);
  if (ret == Z_OK)
    initialised_ = true;
  else
    Fail(ret);
}

StreamInflater::~StreamInflater() {
  if (initialised_) inflateEnd(&stream_);
  delete[] buffer_;
}

bool StreamInflater::Fail(int code) {
  if (!error_.raised) error_ = Raised(ZLibText(stream_, code));
  return false;
}

bool StreamInflater::Feed(const void* data, size_t n) {
  if (error_.raised) return false;
  const Bytef* in = static_cast<const Bytef*>(data);
  while (!ended_ && n > 0) {
    const uInt piece = uInt(n < UINT_MAX ? n : UINT_MAX);
    stream_.next_in = const_cast<Bytef*>(in);
    stream_.avail_in = piece;
    for (;;) {
      stream_.next_out = reinterpret_cast<Bytef*>(buffer_);
      stream_.avail_out = uInt(bufferSize_);
      const int ret = inflate(&stream_, Z_NO_FLUSH);
      const size_t produced = bufferSize_ - stream_.avail_out;
      if (produced && !sink_.Write(buffer_, produced)) {
        sinkFailed_ = true;
        error_ = Raised("write failed");
        return false;
      }
      if (ret == Z_STREAM_END) {
        ended_ = true;
        break;
      }
      // Z_BUF_ERROR with all input taken only means "feed me more".
      if (ret == Z_BUF_ERROR && stream_.avail_in == 0) break;
      if (ret < 0 || ret == Z_NEED_DICT) return Fail(ret);
      if (stream_.avail_in == 0 && stream_.avail_out != 0) break;
    }
    in += piece;
    n -= piece;
  }
  return true;
}

EZLibError StreamInflater::Finish() {
  if (!error_.raised && !ended_) error_ = Raised(zError(Z_BUF_ERROR));
  return error_;
}

EZLibError InflateMemberFrom(ByteSource& source, int64_t offset, uint32_t length, InflateSink& sink,
                             size_t readPiece, size_t outputPiece) {
  StreamInflater inflater(sink, outputPiece);
  const size_t pieceSize = readPiece ? readPiece : 1;  // a zero piece would never advance
  std::unique_ptr<char[]> piece(new char[pieceSize]);
  for (uint32_t done = 0; done < length && !inflater.Ended();) {
    const size_t want = length - done < pieceSize ? length - done : pieceSize;
    const size_t got = source.ReadAt(offset + done, piece.get(), want);
    if (got == 0) break;  // the file ends inside the member: Finish reports it
    if (!inflater.Feed(piece.get(), got)) break;
    done += uint32_t(got);
  }
  return inflater.Finish();
}
