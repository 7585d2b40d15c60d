// One small owner for Win32 handles: closes on scope exit, keeps the last
// error across the close, moves but does not copy.
#pragma once

#include <windows.h>

#include <utility>

template <typename H, BOOL(WINAPI* Close)(H), bool MinusOneIsInvalid>
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

// Handles that are null when invalid (processes, snapshots opened by OpenProcess).
using ScopedHandle = UniqueHandle<HANDLE, CloseHandle, false>;
// Handles that are INVALID_HANDLE_VALUE when invalid (CreateFile, snapshots).
using ScopedFileHandle = UniqueHandle<HANDLE, CloseHandle, true>;
using ScopedFindHandle = UniqueHandle<HANDLE, FindClose, true>;
