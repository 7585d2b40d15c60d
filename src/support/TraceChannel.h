// The trace channel's protocol and buffer: the viewer window's class and the
// message it registers (shared with the traceview tool), and the stream's
// 128-character buffer, handed on when full and when a line ends. Portable;
// the delivery to the viewer lives in TraceChannelWin.
#pragma once

#include <cstddef>
#include <string>

// The viewer's window class; each piece arrives as a global atom in the
// lParam of the registered message, sent with wParam 1.
constexpr char kTraceViewerClass[] = ".KDebug.";
constexpr char kTraceMessageName[] = ".K_DebugMsg.";

class DebugSink {
 public:
  static constexpr size_t kBufferSize = 128;
  // Receives one NUL-terminated piece; must not fail the writer.
  using Deliver = void (*)(const char* text, void* context);

  DebugSink(Deliver deliver, void* context) : deliver_(deliver), context_(context) {}

  void Write(const char* text, size_t length);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  // Ends the line with a single line-feed and flushes.
  void EndLine();
  // Hands on whatever is pending; the text is dropped whether or not it arrives.
  void Flush();
  size_t Pending() const { return count_; }

 private:
  Deliver deliver_;
  void* context_;
  char buffer_[kBufferSize];
  size_t count_ = 0;
};
