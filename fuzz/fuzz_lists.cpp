// Delimited lists and the replace loop on arbitrary bytes: no crash, no
// over-read, and the invariants the callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/Utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First byte: the field index; the rest is split into list | old | new.
  const int index = int(data[0] % 16) - 1;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t a = rest.find('\x01');
  size_t b = a == std::string::npos ? std::string::npos : rest.find('\x01', a + 1);
  const std::string list = rest.substr(0, a);
  const std::string oldText = a == std::string::npos ? "" : rest.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
  const std::string newText = b == std::string::npos ? "x" : rest.substr(b + 1);

  const int count = FieldCount(list);
  if (count < 0 || size_t(count) > list.size()) std::abort();
  const std::string field = GetField(list, index, "<def>");
  const std::string value = (!list.empty() && list[0] == 'v') ? "w" : "v";
  const std::string set = SetField(list, index, value);
  if (index >= 0 && list.find('\0') == std::string::npos) {
    if (GetField(set, index, "<def>") != value) std::abort();  // what was set reads back
    if (FieldCount(set) < index + 1) std::abort();
  }
  GetListValue(list, oldText, "<def>");

  const std::string replaced = ReplaceAll(list, oldText, newText, (data[0] & 0x80) != 0);
  // Nothing of `old` is left unless `new` brought it back in.
  if (!oldText.empty() && newText.empty() && (data[0] & 0x80) == 0 && Pos(oldText, replaced) != 0) std::abort();
  MarkupToText(list);
  CollapseBackslashes(list);
  PosFrom(oldText, list, index);
  LastPos(oldText, list);
  PosFromEnd(oldText, list);
  ParseNumber(list, 2 + data[0] % 15);
  return 0;
}
