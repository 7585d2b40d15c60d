// The file-name forms of the package reader: Win32 files opened for reading
// with every kind of sharing allowed, so a package that another program has
// open (an antivirus scanner, a download still being renamed) can be read.
#include <windows.h>

#include "package/PackX.h"

namespace {

class Win32FileSource : public ByteSource {
 public:
  explicit Win32FileSource(const std::string& fileName)
      : file_(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Win32FileSource() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  Win32FileSource(const Win32FileSource&) = delete;
  Win32FileSource& operator=(const Win32FileSource&) = delete;

  int64_t Size() override {
    LARGE_INTEGER size;
    if (file_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(file_, &size)) return -1;
    return size.QuadPart;
  }

  size_t ReadAt(int64_t offset, void* buf, size_t n) override {
    if (file_ == INVALID_HANDLE_VALUE || offset < 0) return 0;
    LARGE_INTEGER at;
    at.QuadPart = offset;
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return 0;
    size_t done = 0;
    while (done < n) {
      const DWORD want = DWORD(n - done < 0x40000000 ? n - done : 0x40000000);
      DWORD got = 0;
      if (!ReadFile(file_, static_cast<char*>(buf) + done, want, &got, nullptr) || got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  HANDLE file_;
};

}  // namespace

bool IsPEFile(const std::string& fileName) {
  Win32FileSource file(fileName);
  return IsPEFile(file);
}

bool ReadTrailer(const std::string& fileName, TrailerCopy& trailer) {
  Win32FileSource file(fileName);
  return ReadTrailer(file, trailer);
}

uint32_t PackageChecksum(const std::string& fileName, uint32_t tail) {
  Win32FileSource file(fileName);
  return PackageChecksum(file, tail);
}

uint32_t ClusterSize(const std::string& path) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  const std::string root = path.substr(0, 3);
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    return 0;
  return uint32_t(sectorsPerCluster * bytesPerSector);
}

void TGFileInfo::Create(const std::string& fileName) {
  Win32FileSource file(fileName);
  Create(file);
}

double TGFileInfo::RequiredSpace(const std::string& path) const { return RequiredSpaceForCluster(ClusterSize(path)); }
