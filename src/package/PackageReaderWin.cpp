// The file-name forms of the package reader, over Win32 files.
#include "package/PackageReaderWin.h"

#include "support/UtilsWin.h"

Win32FileSource::Win32FileSource(const std::string& fileName)
    : file_(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

int64_t Win32FileSource::Size() {
  return file_ ? FileSizeOfHandle(file_.get()) : -1;
}

size_t Win32FileSource::ReadAt(int64_t offset, void* buf, size_t n) {
  if (!file_ || offset < 0) return 0;
  if (!SeekFile(file_.get(), offset, FILE_BEGIN)) return 0;
  size_t done = 0;
  while (done < n) {
    const DWORD want = DWORD(n - done < 0x40000000 ? n - done : 0x40000000);
    DWORD got = 0;
    if (!ReadFile(file_.get(), static_cast<char*>(buf) + done, want, &got, nullptr) || got == 0) break;
    done += got;
  }
  return done;
}

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
