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

bool ReadExact(ByteSource& source, int64_t offset, void* buf, size_t n) { return source.ReadAt(offset, buf, n) == n; }

bool ReadWord(ByteSource& source, int64_t offset, uint32_t& value) {
  uint8_t b[4];
  if (!ReadExact(source, offset, b, 4)) return false;
  value = LoadLE32(b);
  return true;
}
