// Linked into the stub only: the program's entry, in place of the C
// library's start-up code (mingw's crt2 and its helpers, ~3 KB with their
// imports). The stub takes its command line from GetCommandLineA and needs
// none of what that code prepares: no argc/argv or environment copy, no
// stdio modes, no floating-point or signal set-up, no thread-local storage.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

extern "C" {

// Pseudo relocations patch data imported from DLLs without a declared
// import; nothing here applies them. The stub has none: should code ever
// need them, the program stops at once instead of running with unpatched data.
extern char __RUNTIME_PSEUDO_RELOC_LIST__[];
extern char __RUNTIME_PSEUDO_RELOC_LIST_END__[];

// The static constructors, between the -1 and the 0 the linker's script
// puts around them; run last to first, as the library's own code does.
using Constructor = void (*)();
extern Constructor __CTOR_LIST__[];

// Static objects are registered for destruction at exit; in the stub they
// own only memory, which the end of the process returns, so none is kept.
int __cdecl atexit(void (*)()) { return 0; }

// The linker's default entry for a GUI program; kept visible so that
// link-time optimisation does not take it for unused.
__attribute__((externally_visible, used)) void WinMainCRTStartup() {
  if (+__RUNTIME_PSEUDO_RELOC_LIST__ != +__RUNTIME_PSEUDO_RELOC_LIST_END__) ExitProcess(255);
  Constructor* last = __CTOR_LIST__ + 1;
  while (*last) ++last;
  while (--last > __CTOR_LIST__) (*last)();
  ExitProcess(UINT(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT)));
}

}  // extern "C"
