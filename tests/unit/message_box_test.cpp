#include "support/MessageBox.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(KMsgBoxMarkup, BreaksTabsAndBoldRuns) {
  struct Case {
    const char* markup;
    const char* text;
    std::vector<BoldRun> bold;
  } cases[] = {
      {"Line one\\\\nLine two", "Line one\r\nLine two", {}},
      {"a<p>b<P>c", "a\r\nb\r\nc", {}},
      {"x\\\\ty", "x\ty", {}},
      {"A<b>bold</b>B", "AboldB", {{1, 5}}},
      {"<B>one</b> two <b>three</B>", "one two three", {{0, 3}, {8, 13}}},
      {"open<b>never closed", "opennever closed", {}},
      {"stray</b> text", "stray text", {}},
      // A stray closing tag before the run neither cancels it nor shifts it.
      {"</b>A<b>B</b>", "AB", {{1, 2}}},
      {"<b></b>empty", "empty", {}},
      // Nested opening tags pair with the first closing tag after each; the
      // runs are offsets of the final text.
      {"<b>a<b>b</b>c</b>d", "abcd", {{0, 2}, {1, 3}}},
      {"<<b>ERROR</b><p><p>Bad CRC!<p>", "ERROR\r\n\r\nBad CRC!\r\n", {{0, 5}}},
      // The title form only at the start; elsewhere "<" stays as text.
      {"x<<b>y</b>", "x<y", {{2, 3}}},
      {"<i>other tags</i> stay", "<i>other tags</i> stay", {}},
      {"", "", {}},
  };
  for (const auto& c : cases) {
    const PlainText t = ConvertMarkup(c.markup);
    EXPECT_EQ(t.text, c.text) << c.markup;
    EXPECT_EQ(t.bold, c.bold) << c.markup;
    for (const BoldRun& r : t.bold) EXPECT_LE(size_t(r.end), t.text.size()) << c.markup;
  }
}

TEST(KMsgBoxMarkup, FrontEndText) {
  EXPECT_EQ(TitledText("Error", "Bad CRC!"), "<<b>ERROR</b><p><p>Bad CRC!<p>");
  const PlainText t = ConvertMarkup(TitledText("Confirm", "Go <b>now</b>?"));
  EXPECT_EQ(t.text, "CONFIRM\r\n\r\nGo now?\r\n");
  EXPECT_EQ(t.bold, (std::vector<BoldRun>{{0, 7}, {14, 17}}));

  EXPECT_EQ(MarkupBoxFlags(16, 0), 0x52010u);
  EXPECT_EQ(MarkupBoxFlags(36, 177), 0x1D2024u);
  EXPECT_EQ(MarkupBoxFlags(48, 178), 0x1D2030u);
  EXPECT_EQ(MarkupBoxFlags(36, 176), 0x52024u);
  EXPECT_EQ(MarkupBoxFlags(0x52004, 0), 0x52004u);  // already set: not carried into other fields
}

TEST(KMsgBoxMarkup, MeasureLinesCountsEmptyLinesAsBlanks) {
  EXPECT_EQ(MeasureLines(""), (std::vector<std::string>{" "}));
  EXPECT_EQ(MeasureLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", " ", "b", " "}));
  EXPECT_EQ(MeasureLines("lone\nlf"), (std::vector<std::string>{"lone\nlf"}));
}

TEST(KMsgBoxButtons, TableDefaultAndIcon) {
  struct Case {
    uint32_t set;
    ButtonSpec slots[3];
  } cases[] = {
      {0, {{0, kIdOk}, {-1, 0}, {-1, 0}}},
      {1, {{0, kIdOk}, {1, kIdCancel}, {-1, 0}}},
      {2, {{4, kIdAbort}, {5, kIdRetry}, {6, kIdIgnore}}},
      {3, {{2, kIdYes}, {3, kIdNo}, {1, kIdCancel}}},
      {4, {{2, kIdYes}, {3, kIdNo}, {-1, 0}}},
      {5, {{5, kIdRetry}, {1, kIdCancel}, {-1, 0}}},
      {6, {{-1, 0}, {-1, 0}, {-1, 0}}},
  };
  for (const auto& c : cases) {
    const ButtonSet b = ButtonsForFlags(c.set | 0x52030);  // other fields do not matter
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(b.slot[i].field, c.slots[i].field) << c.set << " slot " << i;
      if (c.slots[i].field >= 0) {
        EXPECT_EQ(b.slot[i].id, c.slots[i].id) << c.set << " slot " << i;
      }
    }
  }
  EXPECT_EQ(DefaultSlotForFlags(0x004), 0);
  EXPECT_EQ(DefaultSlotForFlags(0x104), 1);
  EXPECT_EQ(DefaultSlotForFlags(0x203), 2);
  EXPECT_EQ(DefaultSlotForFlags(0x303), 0);  // there is no fourth slot
  EXPECT_EQ(IconIdForFlags(16), 32513);
  EXPECT_EQ(IconIdForFlags(0x52024), 32514);
  EXPECT_EQ(IconIdForFlags(48), 32515);
  EXPECT_EQ(IconIdForFlags(64), 32516);
  EXPECT_EQ(IconIdForFlags(0), 0);
  EXPECT_EQ(IconIdForFlags(80), 0);
}

TEST(KMsgBoxKeyboard, LettersAndRing) {
  const std::string yesNo[3] = {"&Yes", "&No", ""};
  EXPECT_EQ(SlotForLetter(yesNo, 'y'), 0);
  EXPECT_EQ(SlotForLetter(yesNo, 'N'), 1);
  EXPECT_EQ(SlotForLetter(yesNo, 'c'), -1);
  const std::string german[3] = {"&Ja", "&Nein", "&Abbrechen"};
  EXPECT_EQ(SlotForLetter(german, 'j'), 0);
  EXPECT_EQ(SlotForLetter(german, 'a'), 2);
  // Captions without "&" still use their second character; a one-character
  // caption has no letter; the lowest matching slot wins.
  const std::string plain[3] = {"Ok", "x", "Ok"};
  EXPECT_EQ(SlotForLetter(plain, 'k'), 0);
  EXPECT_EQ(SlotForLetter(plain, 'x'), -1);
  // Only the typed character and its upper-case form count.
  const std::string lower[3] = {"&ja", "", ""};
  EXPECT_EQ(SlotForLetter(lower, 'J'), -1);

  EXPECT_EQ(RingSlot(0, true), 1);
  EXPECT_EQ(RingSlot(2, true), 0);
  EXPECT_EQ(RingSlot(0, false), 2);
  EXPECT_EQ(RingSlot(1, false), 0);
  EXPECT_EQ(RingSlot(-1, true), 0);
  EXPECT_EQ(RingSlot(-1, false), 1);
}

TEST(KMsgBoxLayout, BoxAndTextPlaces) {
  const BoxMetrics m{4, 4, 19, 1280, 1024};
  // Narrow and low text: wide margins, and the box never below 360.
  Rect r = BoxRect(100, 13, m);
  EXPECT_EQ(r.w, 360);
  EXPECT_EQ(r.h, 13 + 8 + 90 + 19 + 36);
  EXPECT_EQ(r.x, (1280 - 360) / 2);
  EXPECT_EQ(r.y, (1024 - r.h) / 2);
  // Wide and tall text: the narrow margins.
  r = BoxRect(400, 65, m);
  EXPECT_EQ(r.w, 400 + 8 + 64 + 54);
  EXPECT_EQ(r.h, 65 + 8 + 64 + 19 + 36);
  // At the thresholds the narrow margins apply: 199 wide gets a wider box than 200.
  EXPECT_EQ(BoxRect(200, 39, m).w, 360);
  EXPECT_EQ(BoxRect(199, 39, m).w, 199 + 8 + 128 + 54);
  EXPECT_EQ(BoxRect(200, 38, m).h, 38 + 8 + 90 + 19 + 36);
  // A box wider than the screen: the halves truncate toward zero.
  EXPECT_EQ(BoxRect(400, 65, BoxMetrics{4, 4, 19, 500, 100}).x, -13);

  const Rect t = TextRectInClient(352, 160, 200, 52);
  EXPECT_EQ(t.x, (352 - 200 - 54) / 2 + 54);
  EXPECT_EQ(t.y, (160 - 52 - 36) / 2);
  EXPECT_EQ(t.w, 200);
  EXPECT_EQ(t.h, 52);

  EXPECT_EQ(ButtonLeft(400, 1, 1), 320);
  EXPECT_EQ(ButtonLeft(400, 0, 1), 250);
  EXPECT_EQ(ButtonLeft(400, 0, 2), 180);
  EXPECT_EQ(ButtonTop(150), 121);
}

}  // namespace
