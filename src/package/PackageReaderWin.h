// Win32 files as package byte sources. Opened for reading with every kind of
// sharing allowed (deny none), so a package that another program holds open
// (a scanner, a download being renamed) can still be read.
#pragma once

#include <windows.h>

#include <string>

#include "package/PackageReader.h"
#include "support/HandleWin.h"

class Win32FileSource : public ByteSource {
 public:
  explicit Win32FileSource(const std::string& fileName);

  bool IsOpen() const { return file_.valid(); }
  int64_t Size() override;
  size_t ReadAt(int64_t offset, void* buf, size_t n) override;

 private:
  ScopedFileHandle file_;
};

// The file-name forms; each opens and closes the file itself.
bool IsPEFile(const std::string& fileName);
bool ReadTrailer(const std::string& fileName, TrailerCopy& trailer);
uint32_t PackageChecksum(const std::string& fileName, uint32_t tail);
// Bytes per cluster of the drive named by the path's first three characters;
// 0 when unknown.
uint32_t ClusterSize(const std::string& path);
