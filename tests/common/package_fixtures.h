// Byte helpers shared by the package reader and builder tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace fixtures {

inline std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[size_t(i)] = char(v >> (8 * i));
  return s;
}

inline uint32_t Word(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(s[at + size_t(i)]);
  return v;
}

inline void Put32(std::string& s, size_t at, uint32_t v) { s.replace(at, 4, Le32(v)); }

inline std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

// A bare stub image: "MZ" at 0, "PE" at 256, 0 at 252, random bytes elsewhere.
inline std::string FakeStub(size_t size) {
  std::string s = RandomBytes(size, 7);
  s.replace(0, 2, "MZ");
  s.replace(256, 2, "PE");
  Put32(s, 252, 0);
  return s;
}

}  // namespace fixtures
