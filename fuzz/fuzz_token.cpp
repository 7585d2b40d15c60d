// Token descrambling on arbitrary texts, and scrambling as its inverse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/PackageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string plain;
  const bool valid = DescrambleTokenChecked(text, plain);
  const std::string result = DescrambleToken(text);
  if (valid && result != plain) std::abort();
  if (!valid && (result.empty() || result.size() > 5 || result.find_first_not_of("0123456789") != std::string::npos))
    std::abort();

  std::string back;
  const std::string stored = ScrambleToken(text, size * 0x9E3779B97F4A7C15ull + (size ? data[0] : 0));
  if (!DescrambleTokenChecked(stored, back) || back != text) std::abort();
  if (stored.find_first_not_of("bcdefghijkstuvwx") != std::string::npos) std::abort();
  return 0;
}
