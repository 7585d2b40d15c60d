// The message box's decisions that need no window: markup conversion, the
// button table, the keyboard ring and the layout arithmetic. Portable, so the
// host build tests them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Button ids in the system's numbering.
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7 };
// The three kinds of box the program shows, as system message-box flags:
// an error (OK), a warning (OK) and a question (Yes, No).
enum : uint32_t { kBoxErrorFlags = 16, kBoxWarningFlags = 48, kBoxQuestionFlags = 36 };

// The caption list the program uses unless the info file translates it.
extern const char kDefaultButtonList[];

// A bold run of the plain text: 0-based offsets, end exclusive.
struct BoldRun {
  int start;
  int end;
  bool operator==(const BoldRun& o) const { return start == o.start && end == o.end; }
};

struct PlainText {
  std::string text;  // CR LF line breaks, tabs, no tags
  std::vector<BoldRun> bold;
};

// "\\n", "<p>" and "<P>" become line breaks, "\\t" a tab, "<b>".."</b>"
// (any case) bold runs; a leading "<<b>" is the title form of "<b>".
PlainText ConvertMarkup(const std::string& markup);

// The text split at CR LF; an empty line is one blank, so it still has a height.
std::vector<std::string> MeasureLines(const std::string& text);

// The front end's text for a box without owner: the caption as a bold
// upper-case title line, an empty line, the text.
std::string TitledText(const std::string& caption, const std::string& text);
// Flags as the front end passes them on: the always-on bits, and right
// alignment with right-to-left reading for Hebrew (177) and Arabic (178).
uint32_t MarkupBoxFlags(uint32_t flags, int charset);

// One of the up to three buttons: which caption field and which result id.
struct ButtonSpec {
  int field;  // -1: the slot is empty
  int id;
};
struct ButtonSet {
  ButtonSpec slot[3];
};
ButtonSet ButtonsForFlags(uint32_t flags);
int DefaultSlotForFlags(uint32_t flags);
// The system icon id for the icon field, or 0 for the program's own icon.
int IconIdForFlags(uint32_t flags);

// The slot whose caption's keyboard letter (the character after the first)
// is ch or its upper-case form; the lowest matching slot, or -1.
int SlotForLetter(const std::string captions[3], char ch);
// The slot an arrow key moves to from `slot` (-1: none focused) in the ring of three.
int RingSlot(int slot, bool forward);

// Horizontal and vertical position of a button's left/top edge in the client area.
int ButtonLeft(int clientWidth, int slot, int lastSlot);
int ButtonTop(int clientHeight);

struct BoxMetrics {
  int frameX, frameY, caption, screenW, screenH;
};
struct Rect {
  int x, y, w, h;
};
// The box window's rectangle on the screen for a text control of w x h.
Rect BoxRect(int textW, int textH, const BoxMetrics& m);
// The text control's place in the box's client area: centred right of the
// band and above the button strip.
Rect TextRectInClient(int clientW, int clientH, int textW, int textH);

// Geometry of the box's client area.
enum : int { kBandWidth = 54, kStripHeight = 36, kButtonWidth = 70, kButtonHeight = 23, kMaxTextWidth = 400 };
