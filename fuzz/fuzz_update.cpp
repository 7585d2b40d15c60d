// What the auto-update program reads from files and servers it does not
// control: INI integers and flags, the part-file names it finds beside a
// download, Content-Range answers, error pages, the ValidVersions list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "flows/UpdateSchedule.h"
#include "support/Utils.h"
#include "update/HttpClient.h"
#include "update/Settings.h"
#include "update/UpdateFetch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t cut = text.find('\n');
  const std::string first = text.substr(0, cut);
  const std::string rest = cut == std::string::npos ? std::string() : text.substr(cut + 1);

  // A value is read only from a whole integer; anything else reads 0.
  const int64_t v = SettingInt(first);
  int64_t parsed = 0;
  if (v != (TextToInt64(first, parsed) ? parsed : 0)) std::abort();
  if (int64_t(Low32(v)) != int64_t(int32_t(uint32_t(uint64_t(v))))) std::abort();
  if (SettingFlag(first) != (first == "1")) std::abort();

  // Part files: the name written for any length and stamp is recognised;
  // whatever name is found beside the download never crashes the test.
  const int32_t length = int32_t(v);
  const uint32_t stamp = uint32_t(SettingInt(rest.substr(0, rest.find('\n'))));
  if (!first.empty() && !IsPartFileName(first, PartFileName(first, length, stamp))) std::abort();
  IsPartFileName(first, rest);

  // A Content-Range that parses is ordered; a resumed length is the total.
  int64_t a = 0, b = 0, total = 0;
  if (ParseContentRange(first, a, b, total) && !(a >= 0 && a <= b && b < total)) std::abort();
  const int32_t resumed = ResumedLength(206, a, int32_t(total - a), first);
  if (resumed != -1 && resumed != total) std::abort();

  VersionIsValidFor(Low32(v), rest);
  ErrorPageText(rest, "http://h/x", "default");
  return 0;
}
