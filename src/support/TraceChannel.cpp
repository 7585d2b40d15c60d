#include "support/TraceChannel.h"

#include <cstring>

void DebugSink::Write(const char* text, size_t length) {
  while (length > 0) {
    size_t n = kBufferSize - count_;
    if (n > length) n = length;
    std::memcpy(buffer_ + count_, text, n);
    count_ += n;
    text += n;
    length -= n;
    if (count_ == kBufferSize) Flush();
  }
}

void DebugSink::EndLine() {
  Write("\n", 1);
  Flush();
}

void DebugSink::Flush() {
  if (count_ == 0) return;
  // Pieces never exceed the 128-character buffer, far below the transfer cap
  // of 10,241 characters; the copy stops early at a NUL inside the text.
  char transfer[kBufferSize + 1];
  size_t n = 0;
  while (n < count_ && buffer_[n] != '\0') {
    transfer[n] = buffer_[n];
    ++n;
  }
  transfer[n] = '\0';
  count_ = 0;
  if (deliver_) deliver_(transfer, context_);
}
