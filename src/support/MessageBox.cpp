#include "support/MessageBox.h"

#include "support/Utils.h"

const char kDefaultButtonList[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

namespace {

char Up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// First case-insensitive occurrence of tag at or after `from`, or npos.
size_t FindTag(const std::string& s, const char* tag, size_t from) {
  const size_t n = std::char_traits<char>::length(tag);
  for (size_t i = from; i + n <= s.size(); ++i) {
    size_t k = 0;
    while (k < n && Up(s[i + k]) == Up(tag[k])) ++k;
    if (k == n) return i;
  }
  return std::string::npos;
}

// Deletes len characters at `at` and moves the runs already recorded, so
// their offsets stay those of the final text whatever is deleted later.
void Delete(PlainText& t, size_t at, size_t len) {
  t.text.erase(at, len);
  auto shift = [&](int& x) {
    if (size_t(x) >= at + len)
      x -= int(len);
    else if (size_t(x) > at)
      x = int(at);
  };
  for (BoldRun& r : t.bold) {
    shift(r.start);
    shift(r.end);
  }
}

}  // namespace

PlainText ConvertMarkup(const std::string& markup) {
  PlainText t;
  t.text = MarkupToText(markup);
  if (HoldsAt(t.text, 0, "<<b>")) t.text.erase(0, 1);

  size_t p;
  while ((p = FindTag(t.text, "<b>", 0)) != std::string::npos) {
    Delete(t, p, 3);
    // The closing tag must follow the opening one: a stray "</b>" earlier in
    // the text would otherwise cancel this run.
    const size_t q = FindTag(t.text, "</b>", p);
    if (q == std::string::npos) continue;  // unclosed: the tag just disappears
    Delete(t, q, 4);
    if (q > p) t.bold.push_back({int(p), int(q)});
  }
  while ((p = FindTag(t.text, "</b>", 0)) != std::string::npos) Delete(t, p, 4);
  return t;
}

std::vector<std::string> MeasureLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (;;) {
    const size_t br = text.find("\r\n", from);
    std::string line = text.substr(from, br == std::string::npos ? std::string::npos : br - from);
    lines.push_back(line.empty() ? std::string(" ") : line);
    if (br == std::string::npos) break;
    from = br + 2;
  }
  return lines;
}

std::string TitledText(const std::string& caption, const std::string& text) {
  return "<<b>" + UpperCase(caption) + "</b><p><p>" + text + "<p>";
}

uint32_t MarkupBoxFlags(uint32_t flags, int charset) {
  // Or rather than add: a caller that already set these bits keeps its button set.
  flags |= 0x52000;
  if (charset == 177 || charset == 178) flags |= 0x180000;
  return flags;
}

ButtonSet ButtonsForFlags(uint32_t flags) {
  // Each set's button fields slot by slot (-1: the slot stays empty); field
  // i is the i-th caption of the button list and answers kIdFor[i].
  static const int8_t kSets[6][3] = {{0, -1, -1}, {0, 1, -1}, {4, 5, 6}, {2, 3, 1}, {2, 3, -1}, {5, 1, -1}};
  static const int8_t kIdFor[7] = {kIdOk, kIdCancel, kIdYes, kIdNo, kIdAbort, kIdRetry, kIdIgnore};
  const uint32_t kind = flags & 0xF;
  ButtonSet set;
  for (int s = 0; s < 3; ++s) {
    const int field = kind < 6 ? kSets[kind][s] : -1;
    set.slot[s] = {field, field < 0 ? 0 : kIdFor[field]};
  }
  return set;
}

int DefaultSlotForFlags(uint32_t flags) {
  // Only three slots exist; a fourth-button default falls back to the first.
  switch (flags & 0xF00) {
    case 0x100: return 1;
    case 0x200: return 2;
    default: return 0;
  }
}

int IconIdForFlags(uint32_t flags) {
  switch (flags & 0xF0) {
    case 16: return 32513;
    case 32: return 32514;
    case 48: return 32515;
    case 64: return 32516;
    default: return 0;
  }
}

int SlotForLetter(const std::string captions[3], char ch) {
  int found = -1;
  for (int slot = 2; slot >= 0; --slot) {
    const std::string& c = captions[slot];
    if (c.size() > 1 && (c[1] == ch || c[1] == Up(ch))) found = slot;
  }
  return found;
}

int RingSlot(int slot, bool forward) { return (slot + (forward ? 1 : 2)) % 3; }

int ButtonLeft(int clientWidth, int slot, int lastSlot) {
  return clientWidth - 80 - kButtonWidth * (lastSlot - slot);
}

int ButtonTop(int clientHeight) { return clientHeight - 29; }

Rect BoxRect(int textW, int textH, const BoxMetrics& m) {
  const int marginX = textW < 200 ? 64 : 32;
  const int marginY = textH < 39 ? 45 : 32;
  Rect r;
  r.w = MaxInt(360, textW + 2 * m.frameX + 2 * marginX + kBandWidth);
  r.h = textH + 2 * m.frameY + 2 * marginY + m.caption + kStripHeight;
  r.x = (m.screenW - r.w) / 2;
  r.y = (m.screenH - r.h) / 2;
  return r;
}

Rect TextRectInClient(int clientW, int clientH, int textW, int textH) {
  return {(clientW - textW - kBandWidth) / 2 + kBandWidth, (clientH - textH - kStripHeight) / 2, textW, textH};
}
