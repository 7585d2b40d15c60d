#include "support/MessageBoxWin.h"

#include <richedit.h>

#include "support/HandleWin.h"
#include "support/UtilsWin.h"

const char kKMsgBoxClass[] = "KMsgBox";

namespace {

const COLORREF kBandColour = RGB(0, 78, 152);
const uint32_t kRightAlign = 0x80000;
const uint32_t kRtlReading = 0x100000;

// One open box. It lives on the stack of ShowKMsgBox and the window keeps a
// pointer to it, so a box opened while another is open keeps its own state.
struct BoxState {
  ScopedGdiObject font;
  HINSTANCE instance = nullptr;
  HWND box = nullptr;
  HWND text = nullptr;
  HWND previous = nullptr;  // active before the box opened
  HWND slot[3] = {nullptr, nullptr, nullptr};
  std::string caption[3];
  int result = 0;
  int iconId = 0;
  int neededW = 0;  // the last size the text control asked for
  int neededH = 0;
  bool done = false;
};

BoxState* StateOf(HWND box) { return reinterpret_cast<BoxState*>(GetWindowLongPtrA(box, GWLP_USERDATA)); }

// The rich-edit library stays loaded for the life of the process.
bool RichEditLoaded() {
  static HMODULE lib = nullptr;
  if (!lib) lib = LoadSystemLibrary("RICHED32.DLL");
  return lib != nullptr;
}

void FillRectColour(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  RECT r{left, top, right, bottom};
  ScopedGdiObject brush(CreateSolidBrush(colour));
  FillRect(dc, &r, HBRUSH(brush.get()));
}

void HorizontalLine(HDC dc, int y, int width, COLORREF colour) {
  ScopedGdiObject pen(CreatePen(PS_SOLID, 1, colour));
  HGDIOBJ old = SelectObject(dc, pen.get());
  MoveToEx(dc, 0, y, nullptr);
  LineTo(dc, width, y);
  SelectObject(dc, old);
}

void Paint(const BoxState& s, HDC dc) {
  RECT c{};
  GetClientRect(s.box, &c);
  const int w = c.right, h = c.bottom;
  FillRectColour(dc, 0, 0, w, h, GetSysColor(COLOR_WINDOW));
  HorizontalLine(dc, h - 37, w, GetSysColor(COLOR_3DDKSHADOW));
  HorizontalLine(dc, h - 36, w, RGB(255, 255, 255));
  FillRectColour(dc, 0, h - 35, w, h, GetSysColor(COLOR_BTNFACE));
  FillRectColour(dc, 0, 0, kBandWidth, h - 37, kBandColour);
  HICON icon = s.iconId ? LoadIconA(nullptr, MAKEINTRESOURCEA(s.iconId)) : LoadIconA(s.instance, "MainIcon");
  if (icon) DrawIcon(dc, 11, 20, icon);
}

LRESULT CALLBACK BoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  BoxState* s = StateOf(h);
  if (!s) return DefWindowProcA(h, msg, wp, lp);
  switch (msg) {
    case WM_DESTROY:
      // The font and the class go once the window is gone (ShowKMsgBox).
      s->done = true;
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      Paint(*s, dc);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_CLOSE:
      if (s->previous) {
        EnableWindow(s->previous, TRUE);
        SetActiveWindow(s->previous);
        SetFocus(s->previous);
      }
      break;
    case WM_NOTIFY: {
      auto* n = reinterpret_cast<NMHDR*>(lp);
      if (n->hwndFrom == s->text && n->code == EN_REQUESTRESIZE) {
        const RECT& r = reinterpret_cast<REQRESIZE*>(lp)->rc;
        s->neededW = r.right - r.left;
        s->neededH = r.bottom - r.top;
      }
      break;
    }
    case WM_COMMAND:
      for (HWND b : s->slot)
        if (b && b == reinterpret_cast<HWND>(lp) && HIWORD(wp) == BN_CLICKED) {
          s->result = GetDlgCtrlID(b);
          PostMessageA(h, WM_CLOSE, 0, 0);
        }
      break;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

void Resize(HWND w, int width, int height) {
  SetWindowPos(w, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The size the text control's content needs at its current width.
void AskNeededSize(BoxState& s) {
  s.neededW = s.neededH = 0;
  SendMessageA(s.text, EM_REQUESTRESIZE, 0, 0);
}

void SetTextAndBold(const BoxState& s, const PlainText& t) {
  SetWindowTextA(s.text, t.text.c_str());
  for (const BoldRun& r : t.bold) {
    SendMessageA(s.text, EM_SETSEL, r.start, r.end);
    CHARFORMATA cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    cf.dwEffects = CFE_BOLD;
    SendMessageA(s.text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  }
  SendMessageA(s.text, EM_SETSEL, 0, 0);
}

SIZE MeasureText(HFONT font, const std::string& text) {
  SIZE total{0, 0};
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  for (const std::string& line : MeasureLines(text)) {
    SIZE e{0, 0};
    GetTextExtentPoint32A(dc, line.data(), int(line.size()), &e);
    total.cx = MaxInt(total.cx, e.cx);
    total.cy += e.cy;
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  total.cx = MinInt(total.cx, kMaxTextWidth);
  return total;
}

// Widens the control in 10-pixel steps until its content fits the measured
// height, so bold text and tabs that measure wider than plain text do not wrap.
void SizeTextControl(BoxState& s, const PlainText& t) {
  const SIZE m = MeasureText(HFONT(s.font.get()), t.text);
  int widest = m.cx;
  for (int i = 0; i <= 20; ++i) {
    Resize(s.text, m.cx + 10 * i, m.cy);
    AskNeededSize(s);
    if (s.neededH <= m.cy) return;
    widest = MaxInt(widest, s.neededW);
  }
  Resize(s.text, widest + 10, m.cy);
  // A line too long for any of these widths wraps: give the control the
  // height its wrapped content needs, so no line is cut off.
  AskNeededSize(s);
  if (s.neededH > m.cy) Resize(s.text, widest + 10, s.neededH);
}

void CreateTextControl(BoxState& s, uint32_t flags, const PlainText& t) {
  const DWORD style =
      WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_WANTRETURN | ((flags & kRightAlign) ? ES_RIGHT : 0);
  const DWORD exStyle = (flags & kRtlReading) ? WS_EX_RTLREADING : 0;
  // Without the rich-edit library the text still shows, without bold.
  for (const char* kind : {RichEditLoaded() ? RICHEDIT_CLASS10A : "EDIT", "EDIT"})
    if (!s.text)
      s.text = CreateWindowExA(exStyle, kind, "", style, 86, 30, 100, 13, s.box, nullptr, s.instance, nullptr);
  SendMessageA(s.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  SendMessageA(s.text, WM_SETFONT, reinterpret_cast<WPARAM>(s.font.get()), FALSE);
  SendMessageA(s.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
  SetTextAndBold(s, t);
  SizeTextControl(s, t);
}

void PlaceBoxAndText(const BoxState& s) {
  RECT tr{};
  GetWindowRect(s.text, &tr);
  const int w = tr.right - tr.left, h = tr.bottom - tr.top;
  const BoxMetrics m{GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME), GetSystemMetrics(SM_CYCAPTION),
                     GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const Rect b = BoxRect(w, h, m);
  SetWindowPos(s.box, HWND_TOPMOST, b.x, b.y, b.w, b.h, SWP_SHOWWINDOW);
  RECT c{};
  GetClientRect(s.box, &c);
  const Rect t = TextRectInClient(c.right, c.bottom, w, h);
  SetWindowPos(s.text, nullptr, t.x, t.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MakeDefault(const BoxState& s, int slot) {
  for (HWND b : s.slot)
    if (b) SendMessageA(b, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  if (slot >= 0 && s.slot[slot]) SendMessageA(s.slot[slot], BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void CreateButtons(BoxState& s, uint32_t flags, const std::string& list) {
  const ButtonSet set = ButtonsForFlags(flags);
  int last = -1;
  for (int i = 0; i < 3; ++i)
    if (set.slot[i].field >= 0) last = i;
  RECT c{};
  GetClientRect(s.box, &c);
  for (int i = 0; i <= last; ++i) {
    s.caption[i] = GetField(list, set.slot[i].field);
    s.slot[i] = CreateWindowExA(0, "BUTTON", s.caption[i].c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                ButtonLeft(c.right, i, last), ButtonTop(c.bottom), kButtonWidth, kButtonHeight, s.box,
                                reinterpret_cast<HMENU>(intptr_t(set.slot[i].id)), s.instance, nullptr);
    SendMessageA(s.slot[i], WM_SETFONT, reinterpret_cast<WPARAM>(s.font.get()), FALSE);
  }
  const int def = DefaultSlotForFlags(flags);
  if (s.slot[def]) {
    SetForegroundWindow(s.box);
    SetFocus(s.slot[def]);
  }
  MakeDefault(s, def);
}

// The last slot whose button has the focus; with no focus at all an empty
// slot counts as holding it; -1 when none matches.
int FocusedSlot(const BoxState& s) {
  const HWND focus = GetFocus();
  int slot = -1;
  for (int i = 0; i < 3; ++i)
    if (s.slot[i] == focus) slot = i;
  return slot;
}

// Alt+letter, the arrow keys and Enter. True when the message is consumed.
bool HandleKey(BoxState& s, const MSG& m) {
  int chosen = -1;
  if (m.message == WM_SYSCHAR) {
    chosen = SlotForLetter(s.caption, char(m.wParam));
  } else if (m.message == WM_KEYDOWN) {
    switch (m.wParam) {
      case VK_LEFT:
      case VK_UP:
      case VK_RIGHT:
      case VK_DOWN: {
        const int next = RingSlot(FocusedSlot(s), m.wParam == VK_RIGHT || m.wParam == VK_DOWN);
        MakeDefault(s, next);
        SetFocus(s.slot[next]);
        return false;
      }
      case VK_RETURN: {
        const HWND focus = GetFocus();
        for (int i = 0; i < 3; ++i)
          if (focus && s.slot[i] == focus) chosen = i;
        break;
      }
    }
  }
  if (chosen < 0 || !s.slot[chosen]) return false;
  s.result = GetDlgCtrlID(s.slot[chosen]);
  PostMessageA(s.box, WM_CLOSE, 0, 0);
  return true;
}

}  // namespace

int ShowKMsgBox(HWND owner, const std::string& text, const std::string& caption, uint32_t flags,
                const std::string& buttons) {
  BoxState s;
  s.previous = GetActiveWindow();
  const bool previousWasEnabled = s.previous && !EnableWindow(s.previous, FALSE);

  s.font.reset(CreateFontA(13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, FF_SWISS, "Tahoma"));
  s.instance = GetModuleHandleA(nullptr);

  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BoxProc;
  wc.hInstance = s.instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(intptr_t(COLOR_BTNFACE + 1));
  wc.lpszClassName = kKMsgBoxClass;
  RegisterClassA(&wc);  // fails harmlessly while an outer box still holds the class

  s.box = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kKMsgBoxClass, caption.c_str(),
                          WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, owner, nullptr, s.instance, &s);
  if (s.box) {
    // An empty list would leave every button blank: nobody could tell Yes from No.
    const std::string& list = FieldCount(buttons) > 0 ? buttons : std::string(kDefaultButtonList);
    CreateTextControl(s, flags, ConvertMarkup(text));
    PlaceBoxAndText(s);
    s.iconId = IconIdForFlags(flags);
    CreateButtons(s, flags, list);

    // A quit request that arrives while the box is open belongs to the
    // program's main loop: keep it and hand it back once the box is gone.
    bool quit = false;
    WPARAM quitCode = 0;
    MSG m;
    while (!s.done) {
      const BOOL got = GetMessageA(&m, nullptr, 0, 0);
      if (got == 0) {
        quit = true;
        quitCode = m.wParam;
        continue;
      }
      if (got == -1) continue;
      if (HandleKey(s, m)) continue;
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (quit) PostQuitMessage(int(quitCode));
  }
  // Destroyed without a close request (its owner went away): do not leave
  // the previous window disabled.
  if (previousWasEnabled && IsWindow(s.previous) && !IsWindowEnabled(s.previous)) EnableWindow(s.previous, TRUE);
  s.font.reset();
  UnregisterClassA(kKMsgBoxClass, s.instance);
  return s.result;
}

int ShowMarkupBox(HWND owner, const std::string& text, const std::string& caption, uint32_t flags, int charset,
                  const std::string& buttons) {
  const std::string shown = owner ? text : TitledText(caption, text);
  if (!owner || owner == kActiveOwner) owner = GetActiveWindow();
  const int result = ShowKMsgBox(owner, shown, caption, MarkupBoxFlags(flags, charset), buttons);
  WaitPumping(100);
  return result;
}

void ErrorBox(HWND owner, const std::string& text, const std::string& caption, int charset,
              const std::string& buttons) {
  ShowMarkupBox(owner, text, caption, kBoxErrorFlags, charset, buttons);
}

void WarningBox(HWND owner, const std::string& text, const std::string& caption, int charset,
                const std::string& buttons) {
  ShowMarkupBox(owner, text, caption, kBoxWarningFlags, charset, buttons);
}

bool AskYesNo(HWND owner, const std::string& text, const std::string& caption, int charset,
              const std::string& buttons) {
  return ShowMarkupBox(owner, text, caption, kBoxQuestionFlags, charset, buttons) == kIdYes;
}
