#include "environment/Files.h"

#include "support/Utils.h"

bool ListingAccepts(uint32_t attributes, uint32_t accepted) {
  const uint32_t canSkip = kAttrHidden | kAttrSystem | kAttrVolume | kAttrDirectory;
  return (attributes & canSkip & ~accepted) == 0;
}

std::string DiskFreeRoot(const std::string& path) {
  if (path.empty()) return std::string();
  std::string root = "A:\\";
  root[0] = UpperCase(path)[0];
  return root;
}

namespace {

// The batch language expands %name% even inside quotes: a literal percent
// sign in a path has to be doubled, or DEL would name another file.
std::string EscapePercent(const std::string& s) { return ReplaceAll(s, "%", "%%", false); }

// Blanks, separators (",;=") and the interpreter's operators; "~" of short
// names is harmless outside FOR variables.
bool NeedsQuotes(const std::string& path) {
  return path.empty() || path.find_first_of(" \t&()[]{}^=;!'+,`<>|") != std::string::npos;
}

}  // namespace

std::string BatchPathArgument(const std::string& path, bool shortNames) {
  const std::string text = EscapePercent(path);
  if (shortNames && !NeedsQuotes(path)) return text;
  return "\"" + text + "\"";
}

std::string SelfRemoveBatchText(const std::string& programArg, const std::string& folderArg,
                                const std::string& batchArg, bool removeFolder, int tries) {
  // The counter's name is the batch's own; it is set here, never inherited.
  std::string text = "SET /A KOVREX_TRIES=0\r\n:START\r\nDEL ";
  text += programArg;
  // DEL of a file that is still in use prints an error but leaves the error
  // level at 0, so the retry tests whether the file is still there.
  text += "\r\nIF NOT EXIST ";
  text += programArg;
  text += " GOTO DONE\r\nSET /A KOVREX_TRIES+=1\r\nIF %KOVREX_TRIES% GEQ ";
  text += IntToText(tries);
  // The batch language has no sleep: two echo requests to the loopback
  // address are a second apart.
  text += " GOTO DONE\r\nPING -n 2 127.0.0.1 >NUL\r\nGOTO START\r\n:DONE\r\n";
  if (removeFolder) {
    text += "RD ";
    text += folderArg;
    text += "\r\n";
  }
  text += "DEL ";
  text += batchArg;
  text += "\r\n";
  return text;
}
