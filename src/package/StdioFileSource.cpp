// Files through the C library, for the builder and host tools. Its own
// object, so that the stub, which never reads this way, links none of it.
#include <cstdio>

#include "package/ByteSource.h"

int SeekFile(FILE* f, int64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, offset, SEEK_SET);
#else
  return fseeko(f, off_t(offset), SEEK_SET);
#endif
}

namespace {

int64_t FileLength(FILE* f) {
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  return _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  return int64_t(ftello(f));
#endif
}

}  // namespace

StdioFileSource::StdioFileSource(const std::string& fileName) : file_(std::fopen(fileName.c_str(), "rb")) {}

StdioFileSource::~StdioFileSource() {
  if (file_) std::fclose(file_);
}

int64_t StdioFileSource::Size() { return file_ ? FileLength(file_) : -1; }

size_t StdioFileSource::ReadAt(int64_t offset, void* buf, size_t n) {
  if (!file_ || offset < 0 || SeekFile(file_, offset) != 0) return 0;
  return std::fread(buf, 1, n, file_);
}
