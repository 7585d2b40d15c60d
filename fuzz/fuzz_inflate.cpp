// Member inflation on arbitrary bytes: a corrupt stream is an error with no
// output, the loop always ends (also for a preset-dictionary stream), and the
// streamed inflation agrees with the whole one for any piece size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/PackageReader.h"
#include "package/Inflate.h"

namespace {

struct Collect : InflateSink {
  std::string data;
  bool Write(const char* p, size_t n) override {
    data.append(p, n);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string stored(reinterpret_cast<const char*>(data), size);
  std::string out;
  const EZLibError whole = InflateMember(stored, out);
  if (whole.raised && (!out.empty() || whole.message.empty())) std::abort();

  Collect sink;
  StreamInflater streamed(sink, 1 + size % 301);
  const size_t piece = 1 + (size ? data[0] % 97 : 0);
  for (size_t at = 0; at < size; at += piece) streamed.Feed(data + at, size - at < piece ? size - at : piece);
  const EZLibError s = streamed.Finish();
  if (s.raised != whole.raised) std::abort();
  if (!whole.raised && sink.data != out) std::abort();

  MemberHeader h;
  size_t content = 0;
  if (!whole.raised && SplitMember(out, h, content)) {
    if (content > out.size() || h.isRunTarget != (h.name.find('*') != std::string::npos)) std::abort();
    if (h.fileName.size() + (h.isRunTarget ? 1 + h.arguments.size() : 0) != h.name.size()) std::abort();
    // One member-name rule for the builder and extraction: a plain name has
    // no problem to report, and holds no separator, drive or stream colon.
    const bool plain = IsPlainMemberName(h.fileName);
    if (plain != MemberNameProblem(h.fileName).empty()) std::abort();
    if (plain && h.fileName.find_first_of("\\/:") != std::string::npos) std::abort();
  }
  return 0;
}
