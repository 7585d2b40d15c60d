#include "support/UtilsWin.h"

namespace {

// Reads a folder through a Get...DirectoryA-style call, growing the buffer
// when the answer does not fit (the call then returns the size it needs),
// with or without its trailing backslash. One routine for all three folders
// (a function pointer, not a template: the stub would carry three copies).
std::string ReadFolder(DWORD (*get)(char*, DWORD), bool add) {
  char small[256];
  DWORD n = get(small, sizeof small);
  std::string folder;
  if (n != 0 && n < sizeof small) {
    folder.assign(small, n);
  } else if (n != 0) {
    folder.assign(n + 1, '\0');
    n = get(&folder[0], DWORD(folder.size()));
    folder.resize(n == 0 || n >= folder.size() ? 0 : n);
  }
  return SetTrailingBackslash(folder, add);
}

}  // namespace

std::string ProgramFile() {
  std::string buf(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &buf[0], DWORD(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    if (buf.size() >= 32768) return std::string();
    buf.resize(buf.size() * 2);
  }
}

std::string ProgramDir(bool add) {
  return SetTrailingBackslash(FolderPart(ProgramFile()), add);
}

std::string WindowsDir(bool add) {
  return ReadFolder([](char* b, DWORD n) -> DWORD { return GetWindowsDirectoryA(b, n); }, add);
}

std::string SystemDir(bool add) {
  return ReadFolder([](char* b, DWORD n) -> DWORD { return GetSystemDirectoryA(b, n); }, add);
}

std::string TempDir(bool add) {
  return ReadFolder([](char* b, DWORD n) -> DWORD { return GetTempPathA(n, b); }, add);
}

bool IsWinNT() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = 148;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  if (!GetVersionExA(&info)) return false;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool RestrictLibrarySearch() {
  // Bound at run time: both are missing on older systems, and kernel32 is
  // always loaded, so it is only looked up.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryAFn = BOOL(WINAPI*)(LPCSTR);
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return false;
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault && setDefault(kSearchSystem32)) return true;
  auto setDirectory =
      reinterpret_cast<SetDllDirectoryAFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDirectory) setDirectory("");
  return false;
}

HMODULE LoadSystemLibrary(const char* library) {
  const std::string name = FileNamePart(library ? library : "");
  if (name.empty()) return nullptr;
  const std::string path = SystemDir(true) + name;
  // Altered search path: the library's own dependencies also come from the
  // system folder rather than from the program's folder.
  HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return reinterpret_cast<uintptr_t>(h) < 33 ? nullptr : h;
}

FARPROC LoadProc(const char* library, const char* name) {
  HMODULE h = LoadSystemLibrary(library);
  return h ? GetProcAddress(h, name) : nullptr;
}

namespace {
bool gQuitRequested = false;
}  // namespace

bool PumpMessage() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  // A quit request met during a wait belongs to the message loop: put it
  // back, or the loop would never end.
  if (msg.message == WM_QUIT) {
    gQuitRequested = true;
    PostQuitMessage(int(msg.wParam));
    return false;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void PumpWaitingMessages() {
  // Bounded: a window that keeps posting to itself must not hold the work.
  for (int i = 0; i < 256 && PumpMessage(); ++i) {
  }
}

bool QuitRequested() { return gQuitRequested; }

int64_t FileSizeOfHandle(HANDLE file) {
  DWORD high = 0;
  // All ones is also the low half of a valid size: only the error tells.
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
  return int64_t((uint64_t(high) << 32) | low);
}

bool SeekFile(HANDLE file, int64_t offset, DWORD method) {
  LONG high = LONG(offset >> 32);
  SetLastError(NO_ERROR);
  return SetFilePointer(file, LONG(uint32_t(offset)), &high, method) != INVALID_SET_FILE_POINTER ||
         GetLastError() == NO_ERROR;
}

void WaitPumping(uint32_t ms) {
  const DWORD end = GetTickCount() + ms;
  // Signed difference: the wait stays right when the tick count wraps.
  for (;;) {
    PumpMessage();
    DWORD left = end - GetTickCount();
    if (int32_t(left) < 0) break;
    if (left > 50 && IsWinNT()) Sleep(10);
  }
}

std::string CommandTail() { return CommandTailOf(GetCommandLineA(), ProgramFile()); }
std::string SwitchValue(const char* switchText) { return SwitchValueIn(CommandTail(), switchText); }
bool HasSwitch(const char* switchText) { return HasSwitchIn(CommandTail(), switchText); }
int64_t SwitchInt(const char* switchText, int64_t def) {
  return SwitchIntIn(CommandTail(), switchText, def);
}
