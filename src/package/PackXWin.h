// Win32 files as package byte sources. Opened for reading with every kind of
// sharing allowed (deny none), so a package that another program holds open
// (a scanner, a download being renamed) can still be read.
#pragma once

#include <windows.h>

#include <string>

#include "package/PackX.h"
#include "support/Handle.h"

class Win32FileSource : public ByteSource {
 public:
  explicit Win32FileSource(const std::string& fileName);

  bool IsOpen() const { return file_.valid(); }
  int64_t Size() override;
  size_t ReadAt(int64_t offset, void* buf, size_t n) override;

 private:
  ScopedFileHandle file_;
};
