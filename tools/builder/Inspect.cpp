#include "Inspect.h"

#include <cstdio>
#include <cstring>

#include "Builder.h"
#include "package/Inflate.h"
#include "support/Utils.h"

namespace kpack {

namespace {

// Takes one member's inflated bytes: the header up to the first NUL, then
// only counts the content.
class MemberCounter : public InflateSink {
 public:
  bool Write(const char* data, size_t n) override {
    if (!inContent_) {
      const char* nul = static_cast<const char*>(std::memchr(data, 0, n));
      const size_t take = nul ? size_t(nul - data) : n;
      // As extraction does: a header longer than this is not a header.
      if (header_.size() < kMaxHeader) header_.append(data, take < kMaxHeader - header_.size() ? take : kMaxHeader - header_.size());
      if (!nul) return true;
      inContent_ = true;
      n -= take + 1;
    }
    content_ += n;
    return true;
  }
  bool HasHeader() const { return inContent_; }
  const std::string& Header() const { return header_; }
  uint64_t Content() const { return content_; }

 private:
  static constexpr size_t kMaxHeader = 65536;
  std::string header_;
  bool inContent_ = false;
  uint64_t content_ = 0;
};

uint16_t Word16(ByteSource& s, int64_t at) {
  uint8_t b[2] = {0, 0};
  return ReadExact(s, at, b, 2) ? uint16_t(b[0] | b[1] << 8) : 0;
}

// The kind of program the stub is, from its PE headers (at 256 in a stub).
std::string StubKind(ByteSource& s, int64_t& securityAt, int64_t& securitySize) {
  securityAt = securitySize = 0;
  if (!IsPEFile(s)) return "not a PE file";
  const uint16_t machine = Word16(s, kPEOffset + 4);
  const int64_t optional = kPEOffset + 24;
  const uint16_t magic = Word16(s, optional);
  const uint16_t subsystem = Word16(s, optional + 68);
  const char* format = magic == 0x10B ? "PE32" : magic == 0x20B ? "PE32+" : "PE (unknown optional header)";
  const char* cpu = machine == 0x14C ? "i386" : machine == 0x8664 ? "x86-64" : machine == 0xAA64 ? "arm64" : "other CPU";
  const char* ui = subsystem == 2 ? "GUI" : subsystem == 3 ? "console" : "other subsystem";
  // Data directory 4, the certificate table: a file offset and a size.
  const int64_t directory = optional + (magic == 0x20B ? 112 : 96) + 4 * 8;
  uint32_t at = 0, size = 0;
  if ((magic == 0x10B || magic == 0x20B) && ReadWord(s, directory, at) && ReadWord(s, directory + 4, size)) {
    securityAt = at;
    securitySize = size;
  }
  char text[96];
  std::snprintf(text, sizeof text, "%s %s %s", format, cpu, ui);
  return text;
}

std::string Hex32(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

bool TokenState(const std::string& stored, std::string& plain) { return DescrambleTokenChecked(stored, plain); }

// "not set", "set", or with showTokens the plain text.
std::string TokenText(const std::string& stored, bool showTokens) {
  if (stored.empty()) return "not set";
  std::string plain;
  if (!TokenState(stored, plain)) return "set, but damaged (does not descramble)";
  return showTokens ? "set: " + Quoted(plain) : "set";
}

std::string FlagNames(const TrailerCopy& t) {
  std::string names;
  for (const auto& f : kTrailerFlagNames)
    if (t.Flag(f.offset)) names += (names.empty() ? "" : " ") + std::string(f.name);
  return names.empty() ? "none" : names;
}

bool StoredChecksumMatches(const PackageFacts& f) { return f.computedChecksum == f.trailer.Word(kTrailerChecksum); }

// --- A little JSON ----------------------------------------------------------------

class Json {
 public:
  Json& Open(const char* key, char bracket) {
    Key(key);
    out_ += bracket;
    first_ = true;
    return *this;
  }
  Json& Close(char bracket) {
    out_ += bracket;
    first_ = false;
    return *this;
  }
  Json& Str(const char* key, const std::string& v) {
    Key(key);
    out_ += JsonString(v);
    return *this;
  }
  Json& Num(const char* key, int64_t v) {
    Key(key);
    out_ += IntToText(v);
    return *this;
  }
  Json& Bool(const char* key, bool v) {
    Key(key);
    out_ += v ? "true" : "false";
    return *this;
  }
  Json& Null(const char* key) {
    Key(key);
    out_ += "null";
    return *this;
  }
  std::string Text() const { return out_ + "\n"; }

 private:
  void Key(const char* key) {
    if (!first_) out_ += ",";
    first_ = false;
    if (key) out_ += JsonString(key) + ":";
  }
  std::string out_;
  bool first_ = true;
};

void JsonToken(Json& j, const char* key, const std::string& stored, bool showTokens) {
  std::string plain;
  j.Open(key, '{').Bool("set", !stored.empty());
  if (!stored.empty()) {
    j.Bool("valid", TokenState(stored, plain));
    if (showTokens && !plain.empty()) j.Str("plain", plain);
  }
  j.Close('}');
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const uint8_t b = uint8_t(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 32 || b >= 127) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", b);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool ReadPackageFacts(ByteSource& s, PackageFacts& f) {
  f = PackageFacts();
  f.fileSize = s.Size();
  if (f.fileSize < 0) return false;
  f.logicalEnd = LogicalEnd(s);
  uint32_t lead = 0;
  f.logicalEndStored = IsPEFile(s) && ReadWord(s, kLogicalEndOffset, lead) && int32_t(lead) > 0;
  f.stubKind = StubKind(s, f.signatureAt, f.signatureSize);
  if (f.signatureAt < f.logicalEnd || f.signatureAt == 0) f.signatureAt = f.signatureSize = 0;
  f.trailerRead = ReadTrailer(s, f.trailer);
  f.info.Create(s);
  f.computedChecksum = PackageChecksum(s, f.trailer.length);
  f.trailerAt = f.logicalEnd - int64_t(f.trailer.length);
  if (!f.info.HasPackage()) {
    f.stubSize = f.logicalEnd < f.fileSize ? f.logicalEnd : f.fileSize;
    return true;
  }
  f.stubSize = f.trailer.Word(kTrailerHeaderOffset);

  // The members, walked as extraction walks them: from the first one until
  // no more than a trailer is left before the logical end.
  int64_t at = f.info.FirstMemberOffset();
  f.membersEnd = at;
  while (f.logicalEnd - at > int64_t(kTrailerLength)) {
    MemberFacts m;
    m.offset = at;
    if (!ReadWord(s, at, m.packed)) {
      m.damage = "its length word lies past the end of the file";
      f.members.push_back(m);
      break;
    }
    at += 4 + int64_t(m.packed);
    if (at > f.logicalEnd) m.damage = "its " + IntToText(m.packed) + " bytes run past the logical end";
    MemberCounter counter;
    const EZLibError e = InflateMemberFrom(s, m.offset + 4, m.packed, counter);
    if (e.raised && m.damage.empty()) m.damage = "does not inflate: " + e.message;
    m.hasHeader = counter.HasHeader();
    if (m.hasHeader) m.header = ParseMemberHeader(counter.Header());
    m.size = counter.Content();
    f.members.push_back(m);
    f.membersEnd = at;
    if (!m.damage.empty()) break;
  }
  return true;
}

std::vector<std::string> PackageProblems(const PackageFacts& f, const std::string* token) {
  std::vector<std::string> p;
  if (f.logicalEnd > f.fileSize)
    p.push_back("truncated: the logical end (" + IntToText(f.logicalEnd) + ") lies past the end of the file (" +
                IntToText(f.fileSize) + " bytes)");
  if (!f.trailerRead) {
    p.push_back("no package: no trailer at the logical end");
    return p;
  }
  if (!f.trailer.HasMagic()) {
    p.push_back("no package: the trailer's magic is " + Hex32(f.trailer.Word(kTrailerMagic)) + ", not " + Hex32(kPackageMagic));
    return p;
  }
  if (!f.info.HasPackage()) {
    p.push_back("the header records run past the end of the file");
    return p;
  }
  if (f.trailer.length != kTrailerLength)
    p.push_back("the trailer length is " + IntToText(f.trailer.length) + ", not " + IntToText(kTrailerLength));
  if (!StoredChecksumMatches(f))
    p.push_back("checksum mismatch: the trailer holds " + Hex32(f.trailer.Word(kTrailerChecksum)) + ", the file sums to " +
                Hex32(f.computedChecksum));

  uint64_t table[9] = {};
  std::vector<std::string> marked;
  for (size_t i = 0; i < f.members.size(); ++i) {
    const MemberFacts& m = f.members[i];
    const std::string which = "member " + IntToText(int64_t(i) + 1) +
                              (m.hasHeader ? " (" + Quoted(m.header.fileName) + ")" : std::string());
    if (!m.damage.empty()) {
      p.push_back(which + ": " + m.damage);
      continue;
    }
    if (!m.hasHeader) {
      p.push_back(which + ": no header (no NUL after \"|name|date|\")");
      continue;
    }
    const std::string why = MemberNameProblem(m.header.fileName);
    if (!why.empty()) p.push_back(which + ": not a plain file name (" + why + "); extraction skips it");
    for (size_t k = 0; k < i; ++k)
      if (f.members[k].hasHeader && TextEquals(f.members[k].header.fileName, m.header.fileName))
        p.push_back(which + ": the same name as member " + IntToText(int64_t(k) + 1) + " (letter case aside)");
    if (m.header.isRunTarget) marked.push_back(Quoted(m.header.fileName));
    AddToSpaceTable(table, m.size);
  }
  if (marked.size() > 1) {
    std::string list;
    for (const auto& n : marked) list += (list.empty() ? "" : ", ") + n;
    p.push_back("more than one member is marked to run (" + list + "); only the last one runs");
  }
  const bool walked = f.members.empty() || f.members.back().damage.empty();
  if (walked && f.members.size() != f.info.MemberCount())
    p.push_back("the trailer counts " + IntToText(f.info.MemberCount()) + " members, the package holds " +
                IntToText(int64_t(f.members.size())));
  if (walked && f.membersEnd != f.trailerAt)
    p.push_back(IntToText(f.trailerAt - f.membersEnd) + " stray bytes between the last member and the trailer");
  if (walked)
    for (int i = 0; i <= 8; ++i)
      if (uint64_t(f.trailer.Word(kTrailerSpaceTable + 4 * uint32_t(i))) != table[i]) {
        p.push_back("the required-space table is wrong: entry " + IntToText(i) + " holds " +
                    IntToText(f.trailer.Word(kTrailerSpaceTable + 4 * uint32_t(i))) + ", the members need " +
                    IntToText(int64_t(table[i])));
        break;
      }

  if (token) {
    const std::pair<const char*, std::string> records[] = {{"web-setup", f.info.WebToken(false)},
                                                           {"auto-update", f.info.UpdateToken(false)}};
    bool any = false;
    for (const auto& r : records) {
      if (r.second.empty()) continue;
      any = true;
      std::string plain;
      if (!DescrambleTokenChecked(r.second, plain))
        p.push_back(std::string("--token: the ") + r.first + " record's token is damaged (it does not descramble)");
      else if (plain != *token)
        p.push_back(std::string("--token: the ") + r.first + " record's token is not the one given");
    }
    if (!any) p.push_back("--token: the package carries no token");
  }
  return p;
}

std::string InfoText(const std::string& path, const PackageFacts& f, bool showTokens) {
  const TGFileInfo& i = f.info;
  std::string t;
  auto line = [&t](const std::string& s) { t += s + "\n"; };
  line(path + ": " + IntToText(f.fileSize) + " bytes");
  line("stub:        " + IntToText(f.stubSize) + " bytes, " + f.stubKind);
  line("logical end: " + IntToText(f.logicalEnd) +
       (f.logicalEndStored ? " (stored at offset 252)" : " (the physical end: nothing at offset 252)"));
  if (!i.HasPackage()) {
    line("package:     none" + std::string(f.trailerRead && !f.trailer.HasMagic() ? " (the trailer's magic is wrong)" : ""));
    return t;
  }
  line("web-setup record (" + IntToText(int64_t(i.WebSetupText().size())) + " bytes)");
  line("  download location:  " + Quoted(i.DownloadLocation()));
  line("  package file name:  " + Quoted(i.PackageFileName()));
  line("  always download:    " + std::string(i.AlwaysDownload() ? "yes" : "no"));
  line("  token:              " + TokenText(i.WebToken(false), showTokens));
  line("  package size:       " + Quoted(i.PackageSizeText()));
  line("auto-update record (" + IntToText(int64_t(i.AutoUpdateText().size())) + " bytes)");
  line("  update location:    " + Quoted(i.UpdateLocation()));
  line("  info file:          " + Quoted(GetField(i.AutoUpdateText(), kUpdateInfoFile)) + " (read as " +
       Quoted(i.InfoFileName()) + ")");
  line("  auto-update program: " + Quoted(i.AutoUpdateExeName()));
  line("  token:              " + TokenText(i.UpdateToken(false), showTokens));
  line("  run hidden:         " + std::string(i.RunSetupHidden() ? "yes" : "no"));
  line("trailer:     " + IntToText(f.trailer.length) + " bytes at " + IntToText(f.trailerAt) + ", header offset " +
       IntToText(f.trailer.Word(kTrailerHeaderOffset)) + ", " + IntToText(i.MemberCount()) + " members");
  line("  flags:              " + FlagNames(f.trailer));
  std::string table;
  for (uint32_t k = 0; k <= 8; ++k) table += (k ? " " : "") + IntToText(f.trailer.Word(kTrailerSpaceTable + 4 * k));
  line("  required space:     " + table + " (bytes; then in clusters of 512 to 65536)");
  line("members:");
  for (size_t k = 0; k < f.members.size(); ++k) {
    const MemberFacts& m = f.members[k];
    std::string s = "  " + IntToText(int64_t(k) + 1) + ". ";
    if (!m.hasHeader) {
      s += "(no header)";
    } else {
      s += Quoted(m.header.fileName) + "  " + IntToText(int64_t(m.size)) + " bytes, packed " + IntToText(m.packed) +
           ", " + DosDateText(m.header.dosDate);
      if (m.header.isRunTarget) s += ", runs" + (m.header.arguments.empty() ? std::string() : " with " + Quoted(m.header.arguments));
    }
    if (!m.damage.empty()) s += "  DAMAGED: " + m.damage;
    line(s);
  }
  const int64_t after = f.fileSize - f.logicalEnd;
  if (after > 0)
    line("after the end: " + IntToText(after) + " bytes" +
         (f.signatureSize ? " (a signature: the certificate table, " + IntToText(f.signatureSize) + " bytes at " +
                                IntToText(f.signatureAt) + ")"
                          : ""));
  else
    line("after the end: nothing");
  line("checksum:    " + std::string(StoredChecksumMatches(f) ? "ok, " + Hex32(f.computedChecksum)
                                                             : "MISMATCH: stored " + Hex32(f.trailer.Word(kTrailerChecksum)) +
                                                                   ", computed " + Hex32(f.computedChecksum)));
  return t;
}

std::string InfoJson(const std::string& path, const PackageFacts& f, bool showTokens) {
  const TGFileInfo& i = f.info;
  Json j;
  j.Open(nullptr, '{').Str("file", path).Num("size", f.fileSize);
  j.Open("stub", '{').Num("size", f.stubSize).Str("kind", f.stubKind).Close('}');
  j.Open("logicalEnd", '{').Num("offset", f.logicalEnd).Bool("stored", f.logicalEndStored).Close('}');
  j.Bool("package", i.HasPackage());
  if (i.HasPackage()) {
    j.Open("webSetupRecord", '{')
        .Str("downloadLocation", i.DownloadLocation())
        .Str("packageFileName", i.PackageFileName())
        .Bool("alwaysDownload", i.AlwaysDownload());
    JsonToken(j, "token", i.WebToken(false), showTokens);
    j.Str("packageSize", i.PackageSizeText()).Close('}');
    j.Open("autoUpdateRecord", '{')
        .Str("updateLocation", i.UpdateLocation())
        .Str("infoFile", GetField(i.AutoUpdateText(), kUpdateInfoFile))
        .Str("autoUpdateProgram", i.AutoUpdateExeName());
    JsonToken(j, "token", i.UpdateToken(false), showTokens);
    j.Bool("runHidden", i.RunSetupHidden()).Close('}');
    j.Open("trailer", '{')
        .Num("offset", f.trailerAt)
        .Num("length", f.trailer.length)
        .Num("headerOffset", f.trailer.Word(kTrailerHeaderOffset))
        .Num("memberCount", i.MemberCount());
    j.Open("flags", '[');
    for (const auto& fl : kTrailerFlagNames)
      if (f.trailer.Flag(fl.offset)) j.Str(nullptr, fl.name);
    j.Close(']').Open("requiredSpace", '[');
    for (uint32_t k = 0; k <= 8; ++k) j.Num(nullptr, f.trailer.Word(kTrailerSpaceTable + 4 * k));
    j.Close(']').Close('}');
    j.Open("members", '[');
    for (const auto& m : f.members) {
      j.Open(nullptr, '{').Num("offset", m.offset).Num("packed", m.packed);
      if (m.hasHeader) {
        j.Str("name", m.header.fileName).Num("size", int64_t(m.size)).Num("dosDate", m.header.dosDate);
        j.Str("date", DosDateText(m.header.dosDate)).Bool("run", m.header.isRunTarget);
        if (m.header.isRunTarget) j.Str("arguments", m.header.arguments);
      }
      if (!m.damage.empty()) j.Str("damage", m.damage);
      j.Close('}');
    }
    j.Close(']');
    j.Open("checksum", '{')
        .Num("stored", f.trailer.Word(kTrailerChecksum))
        .Num("computed", f.computedChecksum)
        .Bool("ok", StoredChecksumMatches(f))
        .Close('}');
  }
  j.Open("afterEnd", '{').Num("bytes", f.fileSize > f.logicalEnd ? f.fileSize - f.logicalEnd : 0);
  if (f.signatureSize) j.Num("signatureOffset", f.signatureAt).Num("signatureSize", f.signatureSize);
  j.Close('}').Close('}');
  return j.Text();
}

std::string VerifyText(const std::string& path, const PackageFacts& f, const std::vector<std::string>& problems) {
  std::string t;
  for (const auto& p : problems) t += path + ": " + p + "\n";
  if (problems.empty())
    t = path + ": ok (" + IntToText(int64_t(f.members.size())) + " members inflate, checksum " + Hex32(f.computedChecksum) +
        ")\n";
  return t;
}

std::string VerifyJson(const std::string& path, const PackageFacts& f, const std::vector<std::string>& problems) {
  Json j;
  j.Open(nullptr, '{').Str("file", path).Bool("ok", problems.empty()).Num("members", int64_t(f.members.size()));
  j.Num("checksum", f.computedChecksum).Open("problems", '[');
  for (const auto& p : problems) j.Str(nullptr, p);
  j.Close(']').Close('}');
  return j.Text();
}

}  // namespace kpack
