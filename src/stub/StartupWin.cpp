// Linked into the stub only. The C library's start-up code (mingw's crt2)
// stays the program's entry, but these stand-ins keep out the parts of it
// that the stub never uses, about 6 KB of a small program: run-time pseudo
// relocations (with their section walker), the translation of processor
// exceptions into C signals, the math-error hooks and thread-local-storage
// support with its destructor list.
#include <windows.h>

struct _exception;

extern "C" {

// Pseudo relocations patch data imported from DLLs without a declared
// import. The stub has none: should code ever need them, the program stops
// at once instead of running with unpatched data.
extern char __RUNTIME_PSEUDO_RELOC_LIST__[];
extern char __RUNTIME_PSEUDO_RELOC_LIST_END__[];
void _pei386_runtime_relocator() {
  if (__RUNTIME_PSEUDO_RELOC_LIST__ != __RUNTIME_PSEUDO_RELOC_LIST_END__) ExitProcess(255);
}

// No C signal handlers are installed: an exception goes on to the system's
// handling, as the library's own handler would send it.
LPTOP_LEVEL_EXCEPTION_FILTER __mingw_oldexcpt_handler = nullptr;
LONG WINAPI _gnu_exception_handler(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

// No math functions, no math errors to report.
void __mingw_setusermatherr(int(__cdecl*)(_exception*)) {}
int __cdecl _matherr(_exception*) { return 0; }

// No thread-local variables: no TLS directory and no TLS callback.
int __mingw_initltsdrot_force = 0;
int __mingw_initltsdyn_force = 0;
int __mingw_initltssuo_force = 0;
extern const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;

}  // extern "C"
