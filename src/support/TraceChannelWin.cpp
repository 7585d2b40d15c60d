#include "support/TraceChannelWin.h"

#include <windows.h>

#include "support/TraceChannel.h"
#include "support/Utils.h"

namespace {

uint16_t gDebugMessageId = 0;
CRITICAL_SECTION gDebugLock;
bool gDebugLockCreated = false;

// The output routine of the stream: every flushed piece goes through the lock.
void DeliverPiece(const char* text, void*) {
  if (!gDebugLockCreated) {
    InitializeCriticalSection(&gDebugLock);
    gDebugLockCreated = true;
  }
  EnterCriticalSection(&gDebugLock);
  SendDebugText(text);
  LeaveCriticalSection(&gDebugLock);
}

DebugSink gTraceStream(DeliverPiece, nullptr);

}  // namespace

void InstallDebugChannel() {
  if (gDebugMessageId == 0) gDebugMessageId = uint16_t(RegisterWindowMessageA(kTraceMessageName));
}

uint16_t DebugMessageId() { return gDebugMessageId; }

void SendDebugText(const char* text) {
  HWND viewer = FindWindowA(kTraceViewerClass, nullptr);
  if (!viewer) return;
  ATOM atom = GlobalAddAtomA(text);
  if (atom == 0) return;
  // Sent, not posted: the viewer reads the atom before it is deleted.
  SendMessageA(viewer, gDebugMessageId, 1, LPARAM(uint32_t(atom)));
  GlobalDeleteAtom(atom);
}

DebugSink& TraceStream() { return gTraceStream; }

void Trace(std::initializer_list<std::string_view> parts) {
  const std::string pid = IntToText(int64_t(GetCurrentProcessId()));
  gTraceStream.Write(pid.data(), pid.size());
  for (std::string_view p : parts) gTraceStream.Write(p.data(), p.size());
  gTraceStream.EndLine();
}

void TraceEmptyLine() { gTraceStream.EndLine(); }
