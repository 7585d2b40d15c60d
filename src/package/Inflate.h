// Inflating package members (zlib streams, inflate side only).
// A corrupt member is an EZLibError: a result value, since the stub is built
// without exceptions. No partial output is ever handed back as a success.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

#include "package/PackageReader.h"

struct EZLibError {
  bool raised = false;
  std::string message;  // zlib's text
};

// Inflates the stored bytes of one member whole. On error output is empty.
EZLibError InflateMember(const std::string& stored, std::string& output);

// Receives inflated bytes piece by piece; false stops the inflation.
class InflateSink {
 public:
  virtual ~InflateSink();
  virtual bool Write(const char* data, size_t n) = 0;
};

// Inflates one stream fed in pieces into a sink, through a fixed buffer, so a
// member of any size needs bounded memory.
class StreamInflater {
 public:
  explicit StreamInflater(InflateSink& sink, size_t bufferSize = 65536);
  ~StreamInflater();
  StreamInflater(const StreamInflater&) = delete;
  StreamInflater& operator=(const StreamInflater&) = delete;

  // Feeds the next piece of stored bytes; false once an error has occurred.
  // Bytes after the end of the stream are ignored.
  bool Feed(const void* data, size_t n);
  bool Ended() const { return ended_; }
  // After the last piece: the error, or a truncation error when the stream
  // did not end.
  EZLibError Finish();
  // True when the sink refused a piece (the error is then not zlib's).
  bool SinkFailed() const { return sinkFailed_; }

 private:
  bool Fail(int code);

  InflateSink& sink_;
  z_stream stream_{};
  char* buffer_ = nullptr;
  size_t bufferSize_;
  bool initialised_ = false;
  bool ended_ = false;
  bool sinkFailed_ = false;
  EZLibError error_;
};

// Piece sizes of the member loop, chosen by measurement (bench/extract): the
// stored bytes are read, and the inflated bytes handed to the sink (one file
// write each), in pieces of this size.
constexpr size_t kMemberReadPiece = 256 * 1024;
constexpr size_t kMemberOutputPiece = 256 * 1024;

// Inflates the member of `length` stored bytes at offset in source into sink,
// reading the stored bytes in pieces.
EZLibError InflateMemberFrom(ByteSource& source, int64_t offset, uint32_t length, InflateSink& sink,
                             size_t readPiece = kMemberReadPiece, size_t outputPiece = kMemberOutputPiece);
