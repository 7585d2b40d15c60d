#include "package/ByteSource.h"

#include <cstring>

#include "support/Utils.h"

ByteSource::~ByteSource() = default;

size_t MemorySource::ReadAt(int64_t offset, void* buf, size_t n) {
  if (offset < 0 || uint64_t(offset) >= size_) return 0;
  size_t k = size_ - size_t(offset);
  if (k > n) k = n;
  std::memcpy(buf, data_ + offset, k);
  return k;
}

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

bool ReadExact(ByteSource& source, int64_t offset, void* buf, size_t n) { return source.ReadAt(offset, buf, n) == n; }

bool ReadWord(ByteSource& source, int64_t offset, uint32_t& value) {
  uint8_t b[4];
  if (!ReadExact(source, offset, b, 4)) return false;
  value = LoadLE32(b);
  return true;
}
