#include "environment/ProcessWin.h"

#include <tlhelp32.h>

#include "environment/FilesWin.h"
#include "support/HandleWin.h"
#include "support/UtilsWin.h"

namespace {

// Bound at run time: the process-status library may be missing, and tool-help
// exists only on some systems.
using CreateToolhelp32SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32FirstFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using Process32NextFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleBaseNameAFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using GetModuleFileNameExAFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using QueryFullProcessImageNameAFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, DWORD*);

struct ToolHelp {
  bool tried = false, ok = false;
  CreateToolhelp32SnapshotFn snapshot = nullptr;
  Process32FirstFn first = nullptr;
  Process32NextFn next = nullptr;
} gToolHelp;

struct ProcessStatus {
  HMODULE library = nullptr;
  EnumProcessesFn enumProcesses = nullptr;
  EnumProcessModulesFn enumModules = nullptr;
  GetModuleBaseNameAFn baseName = nullptr;
  GetModuleFileNameExAFn fileName = nullptr;
} gPsApi;

template <typename Fn>
Fn Bind(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Present from Vista on; kernel32 is always loaded, so it is only looked up.
QueryFullProcessImageNameAFn FullImageQuery() {
  static bool tried = false;
  static QueryFullProcessImageNameAFn fn = nullptr;
  if (!tried) {
    tried = true;
    if (HMODULE kernel = GetModuleHandleA("kernel32.dll"))
      fn = Bind<QueryFullProcessImageNameAFn>(kernel, "QueryFullProcessImageNameA");
  }
  return fn;
}

// The system's answers about running processes.
class SystemProcessQueries : public ProcessQueries {
 public:
  bool FullImageName(uint32_t pid, std::string& path) override {
    QueryFullProcessImageNameAFn query = FullImageQuery();
    if (!query) return false;
    // The limited right is granted where reading memory is not (a process
    // of another bitness, an elevated one).
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return false;
    char buf[MAX_PATH];
    DWORD n = sizeof buf;
    if (!query(process.get(), 0, buf, &n) || n == 0 || n >= sizeof buf) return false;
    path.assign(buf, n);
    return true;
  }

  bool FirstModuleNames(uint32_t pid, std::string& path, std::string& baseName) override {
    if (!gPsApi.enumModules || !gPsApi.baseName || !gPsApi.fileName) return false;
    ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) return false;
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!gPsApi.enumModules(process.get(), &module, sizeof module, &needed) || !module) return false;
    char full[256], base[256];
    const DWORD nf = gPsApi.fileName(process.get(), module, full, sizeof full);
    const DWORD nb = gPsApi.baseName(process.get(), module, base, sizeof base);
    path.assign(full, nf < sizeof full ? nf : 0);
    baseName.assign(base, nb < sizeof base ? nb : 0);
    return true;
  }

  std::string ShortPathOf(const std::string& path) override { return ShortPathName(path); }
};

ProcessTarget Prepare(const std::string& target, bool exact) {
  return MakeProcessTarget(target, target.empty() ? std::string() : ShortPathName(target), exact);
}

std::string WindowTitle(HWND w) {
  char buf[256];
  int n = GetWindowTextA(w, buf, sizeof buf);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

// Collects the top-level windows of one process and scores them.
class TAnalizer {
 public:
  static const int kMaxWindows = 2001;
  explicit TAnalizer(uint32_t pid) : pid_(pid) {}

  HWND MainWindow() {
    EnumWindows(Collect, reinterpret_cast<LPARAM>(this));
    std::vector<WindowFacts> facts(static_cast<size_t>(count_));
    for (int i = 0; i < count_; ++i) {
      const HWND w = windows_[i];
      WindowFacts& f = facts[size_t(i)];
      f.handle = reinterpret_cast<uintptr_t>(w);
      f.rootOwner = reinterpret_cast<uintptr_t>(RootOwner(w));
      f.titled = !WindowTitle(w).empty();
      f.visible = IsWindowVisible(w) != FALSE;
    }
    int best = ChooseMainWindow(facts);
    return best < 0 ? nullptr : windows_[best];
  }

 private:
  static BOOL CALLBACK Collect(HWND w, LPARAM self) {
    auto* a = reinterpret_cast<TAnalizer*>(self);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == a->pid_ && a->count_ < kMaxWindows) a->windows_[a->count_++] = w;
    return TRUE;
  }

  HWND windows_[kMaxWindows] = {};
  int count_ = 0;
  uint32_t pid_;
};

}  // namespace

bool BindToolHelp() {
  if (!gToolHelp.tried) {
    gToolHelp.tried = true;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel) {
      gToolHelp.snapshot = Bind<CreateToolhelp32SnapshotFn>(kernel, "CreateToolhelp32Snapshot");
      gToolHelp.first = Bind<Process32FirstFn>(kernel, "Process32First");
      gToolHelp.next = Bind<Process32NextFn>(kernel, "Process32Next");
    }
    gToolHelp.ok = kernel && gToolHelp.snapshot;
  }
  return gToolHelp.ok;
}

bool BindProcessStatus() {
  if (!gPsApi.library) {
    gPsApi.library = LoadSystemLibrary("PSAPI.dll");
    if (!gPsApi.library) return false;  // forgotten: the next call tries again
    gPsApi.enumProcesses = Bind<EnumProcessesFn>(gPsApi.library, "EnumProcesses");
    gPsApi.enumModules = Bind<EnumProcessModulesFn>(gPsApi.library, "EnumProcessModules");
    gPsApi.baseName = Bind<GetModuleBaseNameAFn>(gPsApi.library, "GetModuleBaseNameA");
    gPsApi.fileName = Bind<GetModuleFileNameExAFn>(gPsApi.library, "GetModuleFileNameExA");
  }
  return true;
}

uint32_t FindProcess9x(const std::string& target, bool exact) {
  if (target.empty()) return 0;
  const ProcessTarget t = Prepare(target, exact);
  if (!BindToolHelp() || !gToolHelp.first || !gToolHelp.next) return 0;
  ScopedFileHandle snap(gToolHelp.snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = gToolHelp.first(snap.get(), &entry); more; more = gToolHelp.next(snap.get(), &entry)) {
    const std::string full(entry.szExeFile);
    if (ProcessMatches(t, full, FileNamePart(full), ShortPathName(full))) return entry.th32ProcessID;
  }
  return 0;
}

std::vector<uint32_t> ListProcessIds() {
  std::vector<uint32_t> ids;
  if (!BindProcessStatus() || !gPsApi.enumProcesses) return ids;
  DWORD bytes = 1024;
  for (;;) {
    ids.assign(bytes / sizeof(DWORD), 0);
    DWORD got = 0;
    if (!gPsApi.enumProcesses(reinterpret_cast<DWORD*>(ids.data()), bytes, &got)) return {};
    if (got != bytes) {
      ids.resize(got / sizeof(DWORD));
      return ids;
    }
    bytes += 1024;  // the list may have been cut: ask again with more room
  }
}

uint32_t FindProcessNT(const std::string& target, bool exact) {
  if (target.empty()) return 0;
  const ProcessTarget t = Prepare(target, exact);
  const std::vector<uint32_t> ids = ListProcessIds();
  SystemProcessQueries queries;
  return FindMatchingProcess(queries, ids, t);
}

ImageQuery ProcessImageFile(uint32_t pid, std::string& path, std::string& baseName) {
  BindProcessStatus();
  SystemProcessQueries queries;
  return ProcessImageFile(queries, pid, path, baseName);
}

uint32_t FindProcess(const std::string& target, bool exact) {
  return IsWinNT() ? FindProcessNT(target, exact) : FindProcess9x(target, exact);
}

bool IsProcessAlive(uint32_t pid) {
  for (uint32_t id : ListProcessIds())
    if (id == pid) return true;
  return false;
}

bool IsRunning(const std::string& target) { return FindProcess(target, false) != 0; }

void WaitForExit(const std::string& target) {
  if (IsWinNT()) {
    const uint32_t pid = FindProcessNT(target, false);
    if (pid == 0) return;
    do WaitPumping(1000);
    while (IsProcessAlive(pid));
  } else {
    do WaitPumping(1000);
    while (FindProcess9x(target, false) != 0);
  }
}

void WaitForProcess(HANDLE process) {
  while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) WaitPumping(250);
}

void WaitWhileWindow(const char* className, const char* title) {
  while (FindWindowA(className, title)) {
    PumpMessage();
    Sleep(100);
  }
}

HWND RootOwner(HWND window) {
  HWND owner = GetWindow(window, GW_OWNER);
  if (!owner) return nullptr;
  // A cycle cannot occur among real owners; the bound only guards against a broken chain.
  for (int i = 0; i < 1000; ++i) {
    HWND next = GetWindow(owner, GW_OWNER);
    if (!next) break;
    owner = next;
  }
  return owner;
}

HWND FindMainWindow(const std::string& target, bool exact) {
  const uint32_t pid = FindProcess(target, exact);
  if (pid == 0) return nullptr;
  // About 12 KB of window and score tables: on the heap, not the stack.
  auto* analizer = new TAnalizer(pid);
  HWND main = analizer->MainWindow();
  delete analizer;
  return main;
}

bool PostToMainWindow(const std::string& target, bool exact, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND w = FindMainWindow(target, exact);
  if (!w) return false;
  PostMessageA(w, msg, wParam, lParam);
  return true;
}

bool CloseMainWindow(const std::string& target, bool exact) { return PostToMainWindow(target, exact, WM_CLOSE, 15, 255); }
bool QuitMainWindow(const std::string& target, bool exact) { return PostToMainWindow(target, exact, WM_QUIT, 15, 255); }

bool TerminateProgram(const std::string& target, bool exact) {
  const uint32_t pid = FindProcess(target, exact);
  if (pid == 0) return false;
  ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  return process && TerminateProcess(process.get(), 0);
}
