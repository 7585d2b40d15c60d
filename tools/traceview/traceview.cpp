// traceview: owns the ".KDebug." viewer window and prints every trace piece
// that a stub sends, so people and tests can watch the stub at work.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/TraceChannel.h"

namespace {

const char kUsage[] =
    "Usage: traceview [options]\n"
    "\n"
    "Receives the trace lines of every running stub and prints them as they\n"
    "arrive. Only one viewer can receive at a time.\n"
    "\n"
    "Options:\n"
    "  --out FILE      also append everything received to FILE\n"
    "  --lines N       stop after N complete lines (line-feeds) have arrived\n"
    "  --seconds M     stop after M seconds\n"
    "  --pieces        print each received piece on a line of its own as\n"
    "                  LENGTH:TEXT, with \\n, \\r, \\t and \\\\ escaped\n"
    "  --ready FILE    create FILE once the viewer window exists\n"
    "                  (a WM_CLOSE to the window ends the viewer)\n"
    "  --help          show this text\n"
    "\n"
    "Exit code: 0, or 1 when --lines was given and the time ran out first,\n"
    "2 on a bad option or when the window cannot be created.\n"
    "\n"
    "Example:\n"
    "  traceview --seconds 30 --out trace.txt &\n"
    "  stub.exe /hide\n";

struct Options {
  const char* outFile = nullptr;
  const char* readyFile = nullptr;
  long lines = -1;
  long seconds = -1;
  bool pieces = false;
};

Options gOpt;
UINT gDebugMsg = 0;
FILE* gOut = nullptr;
long gLinesSeen = 0;
bool gTimedOut = false;
DWORD gMainThread = 0;

void Emit(const std::string& s) {
  fwrite(s.data(), 1, s.size(), stdout);
  fflush(stdout);
  if (gOut) {
    fwrite(s.data(), 1, s.size(), gOut);
    fflush(gOut);
  }
}

std::string Escaped(const char* text, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) {
    char c = text[i];
    if (c == '\n') r += "\\n";
    else if (c == '\r') r += "\\r";
    else if (c == '\t') r += "\\t";
    else if (c == '\\') r += "\\\\";
    else r += c;
  }
  return r;
}

void OnPiece(LPARAM lParam) {
  char text[256];
  UINT n = GlobalGetAtomNameA(ATOM(lParam & 0xFFFF), text, sizeof text);
  if (gOpt.pieces)
    Emit(std::to_string(n) + ":" + Escaped(text, int(n)) + "\n");
  else
    Emit(std::string(text, n));
  for (UINT i = 0; i < n; ++i)
    if (text[i] == '\n') ++gLinesSeen;
  if (gOpt.lines >= 0 && gLinesSeen >= gOpt.lines) PostQuitMessage(0);
}

LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == gDebugMsg && gDebugMsg != 0) {
    if (wParam == 1) OnPiece(lParam);
    return 0;
  }
  if (msg == WM_TIMER) {
    gTimedOut = true;
    PostQuitMessage(0);
    return 0;
  }
  // A close request (a script done with the viewer) ends it.
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

BOOL WINAPI OnConsoleCtrl(DWORD) {
  PostThreadMessageA(gMainThread, WM_QUIT, 0, 0);
  return TRUE;
}

bool ParseCount(const char* text, long& value) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0) return false;
  value = v;
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "traceview: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The pieces go out byte for byte: no CR added before line-feeds.
  _setmode(_fileno(stdout), _O_BINARY);
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--help" || a == "-h" || a == "/?") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--pieces") {
      gOpt.pieces = true;
    } else if (a == "--out") {
      if (!(gOpt.outFile = value())) return Fail("--out needs a file name");
    } else if (a == "--ready") {
      if (!(gOpt.readyFile = value())) return Fail("--ready needs a file name");
    } else if (a == "--lines") {
      const char* v = value();
      if (!v || !ParseCount(v, gOpt.lines)) return Fail("--lines needs a whole number, such as --lines 4");
    } else if (a == "--seconds") {
      const char* v = value();
      if (!v || !ParseCount(v, gOpt.seconds)) return Fail("--seconds needs a whole number, such as --seconds 30");
    } else {
      return Fail("unknown option '" + a + "' (see traceview --help)");
    }
  }

  if (gOpt.outFile && !(gOut = std::fopen(gOpt.outFile, "ab")))
    return Fail(std::string("cannot open '") + gOpt.outFile + "' for writing");

  if (FindWindowA(kTraceViewerClass, nullptr))
    std::fputs("traceview: another viewer is running; it receives the trace until it ends\n", stderr);

  gMainThread = GetCurrentThreadId();
  gDebugMsg = RegisterWindowMessageA(kTraceMessageName);
  WNDCLASSA wc{};
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kTraceViewerClass;
  if (!RegisterClassA(&wc)) return Fail("cannot register the window class .KDebug.");
  // A hidden top-level window: FindWindowA does not see message-only windows.
  HWND hwnd = CreateWindowA(kTraceViewerClass, "Kovrex trace viewer", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                            wc.hInstance, nullptr);
  if (!hwnd) return Fail("cannot create the viewer window");
  if (gOpt.seconds >= 0) SetTimer(hwnd, 1, UINT(gOpt.seconds * 1000), nullptr);
  SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);

  if (gOpt.readyFile) {
    FILE* f = std::fopen(gOpt.readyFile, "wb");
    if (!f) return Fail(std::string("cannot create '") + gOpt.readyFile + "'");
    std::fclose(f);
  }

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (IsWindow(hwnd)) DestroyWindow(hwnd);
  if (gOut) std::fclose(gOut);
  return (gTimedOut && gOpt.lines >= 0) ? 1 : 0;
}
