#include "support/TraceChannel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder {
  std::vector<std::string> pieces;
  static void Deliver(const char* text, void* self) { static_cast<Recorder*>(self)->pieces.emplace_back(text); }
};

TEST(DebugSink, LongLineArrivesIn128CharacterPieces) {
  Recorder r;
  DebugSink sink(Recorder::Deliver, &r);
  sink.Write(std::string(300, 'x'));
  EXPECT_EQ(r.pieces.size(), 2u);  // two full buffers went at once
  sink.EndLine();
  ASSERT_EQ(r.pieces.size(), 3u);
  EXPECT_EQ(r.pieces[0], std::string(128, 'x'));
  EXPECT_EQ(r.pieces[1], std::string(128, 'x'));
  EXPECT_EQ(r.pieces[2], std::string(44, 'x') + "\n");
}

TEST(DebugSink, FlushPointsAreBufferFullAndLineEnd) {
  Recorder r;
  DebugSink sink(Recorder::Deliver, &r);
  sink.EndLine();
  sink.Write("12 a");
  EXPECT_EQ(r.pieces.size(), 1u);
  EXPECT_EQ(sink.Pending(), 4u);  // no line end yet: stays buffered
  sink.Write(" b");
  sink.EndLine();
  sink.Write(std::string(127, 'y'));
  sink.EndLine();  // 127 + LF fill the buffer exactly: one piece, no empty one after it
  ASSERT_EQ(r.pieces.size(), 3u);
  EXPECT_EQ(r.pieces[0], "\n");
  EXPECT_EQ(r.pieces[1], "12 a b\n");
  EXPECT_EQ(r.pieces[2], std::string(127, 'y') + "\n");
  EXPECT_EQ(sink.Pending(), 0u);
}

TEST(DebugSink, PieceStopsAtNulAndTextWithoutListenerIsDropped) {
  Recorder r;
  DebugSink sink(Recorder::Deliver, &r);
  sink.Write(std::string("ab\0cd", 5));
  sink.EndLine();
  ASSERT_EQ(r.pieces.size(), 1u);
  EXPECT_EQ(r.pieces[0], "ab");
  DebugSink silent(nullptr, nullptr);  // nobody listening: text is dropped
  silent.Write("x");
  silent.EndLine();
  EXPECT_EQ(silent.Pending(), 0u);
}

}  // namespace
