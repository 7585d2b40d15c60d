// Read-only random-access views of a file or a buffer: what the package
// reader, the checksum and the inflater read from. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A read-only random-access view of a file or a buffer.
class ByteSource {
 public:
  virtual ~ByteSource();
  // Size in bytes; -1 when the source could not be opened.
  virtual int64_t Size() = 0;
  // Reads up to n bytes at offset; returns the count read (0 at or past the
  // end, on a negative offset and on failure).
  virtual size_t ReadAt(int64_t offset, void* buf, size_t n) = 0;
};

// A buffer in memory; the caller keeps it alive.
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  explicit MemorySource(const std::string& bytes) : MemorySource(bytes.data(), bytes.size()) {}
  int64_t Size() override { return int64_t(size_); }
  size_t ReadAt(int64_t offset, void* buf, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Seeks a C stream to a 64-bit offset; 0 on success.
int SeekFile(FILE* f, int64_t offset);

// A file read through the C library (the builder and host tools).
class StdioFileSource : public ByteSource {
 public:
  explicit StdioFileSource(const std::string& fileName);
  ~StdioFileSource() override;
  StdioFileSource(const StdioFileSource&) = delete;
  StdioFileSource& operator=(const StdioFileSource&) = delete;
  bool IsOpen() const { return file_ != nullptr; }
  int64_t Size() override;
  size_t ReadAt(int64_t offset, void* buf, size_t n) override;

 private:
  FILE* file_ = nullptr;
};

// Exactly n bytes at offset, or false.
bool ReadExact(ByteSource& source, int64_t offset, void* buf, size_t n);
// A little-endian u32 at offset; false when the four bytes are not all there.
bool ReadWord(ByteSource& source, int64_t offset, uint32_t& value);
