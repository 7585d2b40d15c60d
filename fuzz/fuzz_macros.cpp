// The macro expansion on arbitrary texts with a fixed machine: no crash, and
// the output stays within the bound below.
//
// Bound. Every macro starts with "<" and a replaced occurrence takes its "<"
// with it, so each "<" of a text starts at most one replacement that inserts
// anything, provided no value holds the start of a later step's macro (a
// value may hold its own macro or an earlier one, as some here do: those are
// never expanded again). Hence, for a text t of n bytes:
//   after the custom macros   c <= n + count('<', t) * longest custom value
//   after the date macro      d <= c + longest date text
//   after the built-in steps  r <= d + count('<', d) * longest value with suffix
// so r <= (n * (1 + Lc) + Ld) * (1 + L): linear in n. Collapsing backslashes
// only shortens, and dot expansion adds at most the current folder's length
// per resolved field. The target checks each of these steps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "environment/Macros.h"
#include "support/Utils.h"

namespace {

const char kCurrentFolder[] = "C:\\Work\\";
const size_t kDateTextMax = 19;  // "yyyy-mm-dd hh:nn:ss" is the longest here

class FixedMachine final : public MacroProvider {
 public:
  std::string Value(MacroValue which) override {
    switch (which) {
      case MacroValue::WindowsDir: return "C:\\WINDOWS";
      case MacroValue::SystemDir: return "C:\\WINDOWS\\system32";
      case MacroValue::TempDir: return "T:\\<TempDir>";                  // its own macro
      case MacroValue::UserDir: return "C:\\Users\\<UserDir>\\<WinDir>";  // its own and an earlier one
      case MacroValue::RegisteredOwner: return "Owner>";
      case MacroValue::ProgramFilesDir: return "";
      case MacroValue::RunTimeDir2: return "\\\\srv\\share\\";
      case MacroValue::OriginDir: return "\\\\";
      default: return "D:\\Some Folder";
    }
  }
  DateMoment Now() override { return DateMoment{2024, 9, 30, 23, 59, 58}; }
  DateLocale Locale() override {
    return DateLocale{{"January", "February", "March", "April", "May", "June", "July", "August", "September",
                       "October", "November", "December"},
                      "/",
                      ":"};
  }
  // A relative path is joined to the current folder; nothing else changes.
  std::string FullPathName(const std::string& path) override {
    return path.size() >= 2 && path[1] == ':' ? path : kCurrentFolder + path;
  }
};

// The longest value any built-in step can insert, suffix included.
size_t LongestValue(FixedMachine& machine, const std::string& suffix, const std::string* folders) {
  size_t longest = 0;
  for (int v = 0; v <= int(MacroValue::RunTimeDir3); ++v)
    longest = std::max(longest, machine.Value(MacroValue(v)).size() + suffix.size() + 1);
  for (int i = 0; i < 3; ++i) longest = std::max(longest, folders[i].size() + suffix.size());
  return longest;
}

size_t CountOf(char c, const std::string& text) {
  size_t n = 0;
  for (char x : text) n += x == c;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Setting paths are short; longer inputs only slow the search down.
  if (size < 1 || size > 1025) return 0;
  const uint8_t flags = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const bool dots = flags & 1;
  const std::string suffix = (flags & 2) ? "\\" : "";
  const std::string customList = "|<A>=x<B>y|<B>=<A><A>|<D>=<Date=#>|<W>=<WinDir>|<E>=|";
  SetCustomMacros((flags & 4) ? customList : std::string(1, '\xFF'));
  const size_t longestCustom = (flags & 4) ? 8 : 0;
  const std::string folders[3] = {(flags & 8) ? "C:\\<InstallDir>" : "C:\\Prog", "<Common Folder>x", ""};
  SetInstallFolders(folders[0], folders[1], folders[2]);

  FixedMachine machine;
  const std::string custom = ExpandCustomMacros(text);
  if (custom.size() > text.size() + CountOf('<', text) * longestCustom) std::abort();
  const std::string dated = ExpandDateMacro(custom, machine.Now(), machine.Locale());
  if (dated.size() > custom.size() + kDateTextMax) std::abort();

  const std::string expanded = ExpandMacros(text, suffix, false, machine);
  const size_t bound = dated.size() + CountOf('<', dated) * LongestValue(machine, suffix, folders);
  if (expanded.size() > bound) std::abort();
  // No "<": no macro, and the text comes back as it was.
  if (CountOf('<', text) == 0 && expanded != text) std::abort();

  if (dots) {
    const std::string resolved = ExpandDots(expanded, machine);
    const size_t fields = size_t(FieldCount(expanded)) + 1;
    if (resolved.size() > expanded.size() + fields * (sizeof kCurrentFolder - 1)) std::abort();
    if (Pos("..", expanded) == 0 && resolved != expanded) std::abort();
  }

  // The date text for any moment, however odd.
  if (size >= 7) {
    const DateMoment odd{int(int8_t(data[1])) * 300, data[2] % 14, data[3] % 33, data[4] % 25, data[5] % 61,
                         data[6] % 61};
    for (char code : {'#', '0', '1', '7', 'x'}) DateText(code, odd, machine.Locale());
  }
  return 0;
}
