// The package sum written out step by step, block by block, as plainly as
// possible: the optimised PackageChecksum is checked against it.
#pragma once

#include <cstdint>
#include <string>

inline uint32_t ReferenceChecksum(const std::string& file, uint32_t tail) {
  auto word = [&](size_t at) {
    return uint32_t(uint8_t(file[at])) | uint32_t(uint8_t(file[at + 1])) << 8 |
           uint32_t(uint8_t(file[at + 2])) << 16 | uint32_t(uint8_t(file[at + 3])) << 24;
  };
  int64_t size = int64_t(file.size());
  int64_t lead = 0;
  if (file.size() >= 258 && file.compare(0, 2, "MZ") == 0 && file.compare(256, 2, "PE") == 0)
    lead = int32_t(word(252));
  if (lead > 0) size = lead;
  int64_t remaining = size - int64_t(tail);
  size_t position = 0;
  if (lead > 0) {
    remaining -= 512;
    position = 512;
  }
  uint32_t sum = 0;
  size_t k;
  do {
    size_t available = position < file.size() ? file.size() - position : 0;
    k = available < 4096 ? available : 4096;
    for (size_t w = 0; w < k / 4; ++w) {
      remaining -= 4;
      if (remaining > 4) sum += word(position + 4 * w);
    }
    if (remaining > 4) sum += 1234;
    position += k;
  } while (k == 4096);
  return sum;
}
