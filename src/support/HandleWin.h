// One small owner for Win32 handles of any kind: closes on scope exit with
// the close function it is given, keeps the last error across the close,
// moves but does not copy.
#pragma once

#include <windows.h>

#include <utility>

template <typename H, auto Close, bool MinusOneIsInvalid = false>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, Invalid());
    }
    return *this;
  }

  static H Invalid() { return MinusOneIsInvalid ? H(INVALID_HANDLE_VALUE) : H(nullptr); }
  bool valid() const { return h_ != Invalid() && h_ != H(nullptr); }
  explicit operator bool() const { return valid(); }
  H get() const { return h_; }
  // For functions that hand a new handle out through a pointer: closes the
  // one held and gives the address to fill.
  H* put() {
    reset();
    return &h_;
  }
  void reset(H h = Invalid()) {
    if (valid()) {
      DWORD error = GetLastError();
      Close(h_);
      SetLastError(error);
    }
    h_ = h;
  }

 private:
  H h_ = Invalid();
};

// Handles that are null when invalid (processes, threads, events).
using ScopedHandle = UniqueHandle<HANDLE, &CloseHandle>;
// Handles that are INVALID_HANDLE_VALUE when invalid (CreateFile, snapshots).
using ScopedFileHandle = UniqueHandle<HANDLE, &CloseHandle, true>;
using ScopedFindHandle = UniqueHandle<HANDLE, &FindClose, true>;
using ScopedRegKey = UniqueHandle<HKEY, &RegCloseKey>;
using ScopedLibrary = UniqueHandle<HMODULE, &FreeLibrary>;
using ScopedGdiObject = UniqueHandle<HGDIOBJ, &DeleteObject>;
