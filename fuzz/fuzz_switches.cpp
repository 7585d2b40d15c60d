// The command-line tail and switch lookup on arbitrary command lines, and
// what the relaunch chain makes of the values: the override list, the
// controller registration.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "flows/RelaunchChain.h"
#include "support/Utils.h"
#include "update/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  const size_t cut = line.find('\n');
  const std::string program = cut == std::string::npos ? "C:\\p\\setup.exe" : line.substr(0, cut);
  if (cut != std::string::npos) line.erase(0, cut + 1);

  const std::string tail = CommandTailOf(line, program);
  if (tail.size() > line.size()) std::abort();
  if (!tail.empty() && (static_cast<unsigned char>(tail.front()) <= 32 || static_cast<unsigned char>(tail.back()) <= 32))
    std::abort();  // the tail is trimmed
  // The tail is handed on byte for byte: it is the end of the line (before
  // any trailing blanks), nothing added, nothing taken out.
  std::string kept = line;
  while (!kept.empty() && static_cast<unsigned char>(kept.back()) <= 32) kept.pop_back();
  if (kept.size() < tail.size() || kept.compare(kept.size() - tail.size(), tail.size(), tail) != 0) std::abort();
  for (const char* sw : {"/WAIT=", "/hide", "/TRANSIENT=", "/X"}) {
    const std::string v = SwitchValueIn(tail, sw);
    if (!v.empty() && !HasSwitchIn(tail, sw)) std::abort();  // a value only for a present switch
    SwitchIntIn(tail, sw, -1);
  }
  HasArguments(line);
  // Whatever list arrives, the overrides stay six bytes whose text reads back.
  ApplyOverrideList(SwitchValueIn(tail, "/TRANSIENT="));
  const std::string overrides = OverrideListText();
  ApplyOverrideList(overrides);
  if (OverrideListText() != overrides) std::abort();
  ParseControllerSwitch(SwitchValueIn(tail, "/WM_MSG="));
  return 0;
}
