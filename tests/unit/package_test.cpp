#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "common/checksum_reference.h"
#include "common/package_fixtures.h"
#include "package/PackageReader.h"
#include "package/Inflate.h"

using std::string;
using namespace fixtures;

namespace {

string Compress(const string& plain) {
  uLongf n = compressBound(uLong(plain.size()));
  string out(n, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(plain.data()),
                      uLong(plain.size()), 6),
            Z_OK);
  out.resize(n);
  return out;
}

// A package laid out by hand, independent of the builder tool.
struct Layout {
  string stub = FakeStub(1024);
  string web = "||";
  string update = "||";
  std::vector<string> members;  // stored bytes
  uint32_t table[9] = {};
  uint8_t flags[5] = {};        // offsets 65..69
  bool logicalEnd = true;

  string Build() const {
    string f = stub + Le32(uint32_t(web.size())) + web + Le32(uint32_t(update.size())) + update;
    for (const auto& m : members) f += Le32(uint32_t(m.size())) + m;
    string t = Le32(1) + Le32(uint32_t(stub.size())) + Le32(uint32_t(members.size())) + Le32(kPackageMagic) +
               Le32(0) + string(8, '\0');
    for (uint32_t e : table) t += Le32(e);
    t += '\0';
    for (uint8_t fl : flags) t += char(fl);
    t += Le32(74);
    f += t;
    if (logicalEnd) Put32(f, 252, uint32_t(f.size()));
    return f;
  }
};

TGFileInfo Read(const string& bytes) {
  MemorySource src(bytes);
  TGFileInfo info;
  info.Create(src);
  return info;
}

// --- Checksum ------------------------------------------------------------------

TEST(Checksum, HandComputedValues) {
  // Not a PE file: 25 words 1..25, tail 74: remaining starts at 26 and the
  // words count while it stays above 4 after each step of 4: 1+2+3+4+5.
  string small;
  for (uint32_t i = 1; i <= 25; ++i) small += Le32(i);
  MemorySource a(small);
  EXPECT_EQ(PackageChecksum(a, 74), 15u);

  // Two full zero blocks, each followed by remaining > 4: 2 x 1234.
  string zeros(8192 + 100, '\0');
  MemorySource b(zeros);
  EXPECT_EQ(PackageChecksum(b, 74), 2468u);
}

TEST(Checksum, MatchesTheStepByStepSumForManyShapes) {
  // Sizes around the block and chunk edges, with and without a logical end,
  // with the logical end inside, at and past the physical end.
  const size_t sizes[] = {0, 3, 258, 511, 600, 4095, 4096, 4097, 4170, 8192, 65536, 65536 + 512, 65537, 131072 + 77};
  for (size_t size : sizes)
    for (int shape = 0; shape < 4; ++shape)
      for (uint32_t tail : {74u, 0u, 9000u}) {
        string f = RandomBytes(size, uint32_t(size) + 31 * uint32_t(shape));
        if (shape > 0 && size >= 258) {
          f.replace(0, 2, "MZ");
          f.replace(256, 2, "PE");
          const uint32_t lead[] = {0, uint32_t(size), uint32_t(size / 2), uint32_t(size + 5000)};
          Put32(f, 252, lead[shape]);
        }
        MemorySource src(f);
        EXPECT_EQ(PackageChecksum(src, tail), ReferenceChecksum(f, tail)) << size << " shape " << shape;
      }
}

// A random file of fewer than maxSize bytes; most of those long enough are
// PE files with a random lead value at 252 (sometimes 0, sometimes past the end).
string RandomFileWithLead(std::mt19937& rng, size_t maxSize) {
  const size_t size = rng() % maxSize;
  string f = RandomBytes(size, rng());
  if (size >= 258 && rng() % 4 != 0) {
    f.replace(0, 2, "MZ");
    f.replace(256, 2, "PE");
    Put32(f, 252, rng() % 5 == 0 ? 0 : uint32_t(rng() % (size + 9000)));
  }
  return f;
}

TEST(Checksum, MatchesTheStepByStepSumOnRandomPackages) {
  // Random sizes, logical ends and tails: every count of words left over by
  // the vector loop, at every place in a block, meets the plain sum.
  std::mt19937 rng(15);
  for (int round = 0; round < 400; ++round) {
    const string f = RandomFileWithLead(rng, 140000);
    const uint32_t tail = rng() % 3 == 0 ? 74u : uint32_t(rng() % 20000);
    MemorySource src(f);
    ASSERT_EQ(PackageChecksum(src, tail), ReferenceChecksum(f, tail)) << "size " << f.size() << " tail " << tail;
  }
}

TEST(Checksum, TheSumOfPassingReadsEqualsTheWholePass) {
  // Reads as an extraction makes them (forward, with small gaps between
  // members), and stranger ones (odd sizes splitting words and blocks,
  // overlaps, reads backwards and past the end): the bytes pass unchanged
  // and the sum is the reference's.
  std::mt19937 rng(16);
  for (int round = 0; round < 300; ++round) {
    const string f = RandomFileWithLead(rng, 200000);
    const uint32_t tail = rng() % 3 == 0 ? 74u : uint32_t(rng() % 9000);
    MemorySource plain(f);
    ChecksummingSource sum(plain, tail);
    int64_t at = int64_t(rng() % 3000);
    const int reads = int(rng() % 40);
    for (int i = 0; i < reads; ++i) {
      const size_t n = rng() % 4 == 0 ? rng() % 7 : rng() % 70000;
      string got(n, '\0'), want(n, '\0');
      const size_t k = sum.ReadAt(at, &got[0], n);
      ASSERT_EQ(k, plain.ReadAt(at, &want[0], n));
      ASSERT_EQ(got.substr(0, k), want.substr(0, k));
      const unsigned move = rng() % 10;
      at = move == 0 ? at / 2 : move == 1 ? at + int64_t(k) - int64_t(rng() % 9) : at + int64_t(k) + int64_t(rng() % 9);
      if (at < 0) at = 0;
    }
    ASSERT_EQ(sum.Finish(), ReferenceChecksum(f, tail)) << "round " << round << " size " << f.size() << " tail " << tail;
  }
}

TEST(Checksum, LogicalEndExcludesTheFirst512BytesAndAnythingAppended) {
  Layout l;
  l.members = {Compress(string("|a.txt|0|") + '\0' + "hello")};
  const string pkg = l.Build();
  MemorySource src(pkg);
  const uint32_t sum = PackageChecksum(src, 74);

  string appended = pkg + "SIGNATUR";
  MemorySource withTail(appended);
  EXPECT_EQ(PackageChecksum(withTail, 74), sum);

  string headChanged = pkg;
  headChanged[300] ^= 0x55;  // inside the first 512 bytes
  MemorySource h(headChanged);
  EXPECT_EQ(PackageChecksum(h, 74), sum);

  string bodyChanged = pkg;
  bodyChanged[700] ^= 0x55;
  MemorySource b(bodyChanged);
  EXPECT_NE(PackageChecksum(b, 74), sum);
}

TEST(Checksum, ZeroAt252SumsFromTheStartToThePhysicalEnd) {
  Layout l;
  l.logicalEnd = false;
  const string pkg = l.Build();
  MemorySource src(pkg);
  const uint32_t sum = PackageChecksum(src, 74);
  EXPECT_EQ(sum, ReferenceChecksum(pkg, 74));

  string headChanged = pkg;
  headChanged[300] ^= 0x55;
  MemorySource h(headChanged);
  EXPECT_NE(PackageChecksum(h, 74), sum);

  // Without a logical end, bytes appended become part of the sum.
  string appended = pkg + "SIGNATUR";
  MemorySource a(appended);
  EXPECT_NE(PackageChecksum(a, 74), sum);
}

// --- Trailer and reader ------------------------------------------------------------

TEST(Reader, ReadsFlagsFieldsAndTheFirstMemberOffset) {
  Layout l;
  l.web = "|http://host/dir/|Setup.pkg|1||12345|";
  l.update = "|http://host/upd/|sub\\MyApp.cfg|MyAppUpdate.exe||1|";
  l.members = {Compress(string("|a|0|") + '\0'), Compress(string("|b|0|") + '\0')};
  for (int i = 0; i < 9; ++i) l.table[i] = 1000u * uint32_t(i + 1);
  l.flags[0] = 1;
  l.flags[2] = 7;
  l.flags[4] = 1;
  const string pkg = l.Build();
  MemorySource src(pkg);
  EXPECT_TRUE(IsPEFile(src));
  EXPECT_EQ(LogicalEnd(src), int64_t(pkg.size()));

  TGFileInfo info = Read(pkg);
  ASSERT_TRUE(info.HasPackage());
  EXPECT_EQ(info.WebSetupText(), l.web);
  EXPECT_EQ(info.AutoUpdateText(), l.update);
  EXPECT_EQ(info.FirstMemberOffset(), 1024u + 4 + l.web.size() + 4 + l.update.size());
  EXPECT_EQ(info.MemberCount(), 2u);
  EXPECT_EQ(info.Trailer().length, 74u);
  EXPECT_TRUE(info.ConfirmTempDrive());
  EXPECT_FALSE(info.IsWebSetup());
  EXPECT_TRUE(info.AskBeforeDownload());
  EXPECT_FALSE(info.InstallAutoUpdateProgram());
  EXPECT_TRUE(info.IsAutoUpdateProgram());
  EXPECT_EQ(info.DownloadLocation(), "http://host/dir/");
  EXPECT_EQ(info.PackageFileName(), "Setup.pkg");
  EXPECT_TRUE(info.AlwaysDownload());
  EXPECT_EQ(info.WebToken(false), "");
  EXPECT_EQ(info.PackageSizeText(), "12345");
  EXPECT_EQ(info.UpdateLocation(), "http://host/upd/");
  EXPECT_EQ(info.AutoUpdateExeName(), "MyAppUpdate.exe");
  EXPECT_EQ(info.InfoFileName(), "MyApp.info");
  EXPECT_EQ(info.OriginalInfoFileName(), "MyApp.original");
  EXPECT_TRUE(info.RunSetupHidden());

  info.Destroy();
  EXPECT_FALSE(info.HasPackage());
  EXPECT_FALSE(info.IsAutoUpdateProgram());
  EXPECT_EQ(info.UpdateLocation(), "");
}

TEST(Reader, InfoFileNames) {
  struct Case { string field, info, original; } cases[] = {
      {".info", ".info", ".original"},  // as in the shipped stub
      {"MyApp", "MyApp.info", "MyApp.original"},
      {"C:\\a.dir\\app.v2.cfg", "app.v2.info", "app.v2.original"},
      {"a.dir\\app", "app.info", "app.original"},
      {"", ".info", ".original"},
  };
  for (const auto& c : cases) {
    Layout l;
    l.update = "||" + c.field + "|";
    TGFileInfo info = Read(l.Build());
    EXPECT_EQ(info.InfoFileName(), c.info) << c.field;
    EXPECT_EQ(info.OriginalInfoFileName(), c.original) << c.field;
  }
}

TEST(Reader, OnlyTheExactTextOneSwitchesAlwaysDownloadAndRunSetupHidden) {
  struct Case { string text; bool on; } cases[] = {
      {"1", true}, {"01", false}, {"true", false}, {" 1", false}, {"1 ", false}, {"", false}, {"0", false},
  };
  for (const auto& c : cases) {
    Layout l;
    l.web = "|||" + c.text + "|";
    l.update = "|||||" + c.text + "|";
    TGFileInfo info = Read(l.Build());
    EXPECT_EQ(info.AlwaysDownload(), c.on) << "[" << c.text << "]";
    EXPECT_EQ(info.RunSetupHidden(), c.on) << "[" << c.text << "]";
  }
}

TEST(Reader, MissingOrUnreadableSourceGivesAnEmptyReader) {
  StdioFileSource missing("/nonexistent/dir/setup.exe");
  EXPECT_FALSE(missing.IsOpen());
  TGFileInfo info;
  info.Create(missing);
  EXPECT_FALSE(info.HasPackage());
  EXPECT_FALSE(info.ConfirmTempDrive());
  EXPECT_EQ(info.RequiredSpaceForCluster(4096), 0.0);
  EXPECT_EQ(info.MemberCount(), 0u);
  EXPECT_EQ(info.WebSetupText(), "");
  EXPECT_EQ(PackageChecksum(missing, 74), 0u);
}

// A source that exists but cannot be read (opened without sharing by another
// program, no access).
struct UnreadableSource : ByteSource {
  int64_t Size() override { return -1; }
  size_t ReadAt(int64_t, void*, size_t) override { return 0; }
};

// The checksum verdict needs a trailer to compare with: a file that cannot be
// read, or has none, sums to what its zeroed trailer copy holds, and must not
// pass for a good package on that.
TEST(Checksum, VerdictIsFalseWithoutAReadableTrailer) {
  Layout l;
  l.members = {Compress(string("|Setup.exe*|0|") + '\0' + "MZ program")};
  string good = l.Build();
  {
    MemorySource s(good);
    Put32(good, good.size() - 74 + kTrailerChecksum, PackageChecksum(s, 74));
  }
  string badSum = good;
  Put32(badSum, badSum.size() - 74 + kTrailerChecksum, Word(good, good.size() - 74 + kTrailerChecksum) + 1);
  string noLogicalEnd = FakeStub(1024);  // 0 at 252, and its last word is no trailer length
  noLogicalEnd.replace(noLogicalEnd.size() - 4, 4, Le32(0));
  struct Case { const char* what; string bytes; bool verdict; } cases[] = {
      {"a good package", good, true},
      {"a wrong sum", badSum, false},
      {"empty", "", false},
      {"too short for a length word", "MZ\x01", false},
      {"trailer-less stub image", noLogicalEnd, false},
      {"zeros", string(600, '\0'), false},
      {"cut before its trailer", good.substr(0, good.size() - 10), false},
      {"cut inside the header", good.substr(0, 1030), false},
  };
  for (const auto& c : cases) {
    MemorySource s(c.bytes);
    EXPECT_EQ(ChecksumVerdict(s), c.verdict) << c.what;
  }
  UnreadableSource unreadable;
  EXPECT_FALSE(ChecksumVerdict(unreadable)) << "unreadable";
}

TEST(Reader, WrongMagicLeavesRecordsEmptyButFlagsAsRead) {
  Layout l;
  l.web = "|x|y|";
  l.flags[1] = 1;
  string pkg = l.Build();
  Put32(pkg, pkg.size() - 74 + kTrailerMagic, 0x12345678);
  TGFileInfo info = Read(pkg);
  EXPECT_FALSE(info.HasPackage());
  EXPECT_EQ(info.WebSetupText(), "");
  EXPECT_EQ(info.PackageFileName(), "");
  EXPECT_TRUE(info.IsWebSetup());
  EXPECT_EQ(info.FirstMemberOffset(), 1024u);  // untouched
}

TEST(Reader, ExtraBytesAfterTheLogicalEndChangeNothing) {
  Layout l;
  l.web = "|w|";
  l.flags[3] = 1;
  const string pkg = l.Build();
  TGFileInfo a = Read(pkg), b = Read(pkg + "12345678");
  ASSERT_TRUE(b.HasPackage());
  EXPECT_EQ(b.WebSetupText(), a.WebSetupText());
  EXPECT_EQ(b.Trailer().Serialize(), a.Trailer().Serialize());
}

TEST(Reader, RecordRunningPastTheFileIsNoPackage) {
  Layout l;
  string pkg = l.Build();
  Put32(pkg, 1024, 0xFFFFFFF0u);  // WebSetupRecord length
  TGFileInfo info = Read(pkg);
  EXPECT_FALSE(info.HasPackage());
  EXPECT_EQ(info.WebSetupText(), "");
  EXPECT_EQ(info.AutoUpdateText(), "");
}

// A file whose trailer is `body` (its last 4 bytes are the length word),
// preceded by a stub and a valid header.
string WithTrailer(const string& body, bool logicalEnd) {
  string f = FakeStub(1024) + Le32(3) + "|w|" + Le32(2) + "||" + body;
  if (logicalEnd) Put32(f, 252, uint32_t(f.size()));
  return f;
}

string TrailerBody(uint32_t lengthWord, size_t totalBytes) {
  string t = Le32(1) + Le32(1024) + Le32(0) + Le32(kPackageMagic) + Le32(0) + string(8, '\0');
  for (uint32_t i = 0; i < 9; ++i) t += Le32(100 + i);
  t += string(1, '\0') + string(5, '\1');
  t.resize(totalBytes - 4, 'z');
  return t + Le32(lengthWord);
}

TEST(Trailer, LengthWordAbove74IsCutBelow74ReadsLessBelow4IsNoPackage) {
  for (bool logicalEnd : {true, false}) {
    // Above 74: read 70 bytes from the position it gives, length 74.
    TGFileInfo big = Read(WithTrailer(TrailerBody(100, 100), logicalEnd));
    EXPECT_TRUE(big.HasPackage());
    EXPECT_EQ(big.Trailer().length, 74u);
    EXPECT_TRUE(big.IsAutoUpdateProgram());
    EXPECT_EQ(big.RequiredSpaceForCluster(4096), 104.0);
    EXPECT_EQ(big.WebSetupText(), "|w|");

    // Below 74: only n - 4 bytes are read; the rest of the copy stays 0.
    TGFileInfo small = Read(WithTrailer(TrailerBody(36, 36), logicalEnd));
    EXPECT_TRUE(small.HasPackage());
    EXPECT_EQ(small.Trailer().length, 36u);
    EXPECT_EQ(small.RequiredSpaceForCluster(65536), 0.0);  // entry 8 was not read
    EXPECT_EQ(small.RequiredSpaceForCluster(0), 100.0);    // entry 0 was (bytes 28..31)
    EXPECT_FALSE(small.ConfirmTempDrive());

    for (uint32_t word : {0u, 1u, 3u}) {
      TrailerCopy t;
      string f = WithTrailer(TrailerBody(word, 74), logicalEnd);
      MemorySource src(f);
      EXPECT_FALSE(ReadTrailer(src, t)) << word;
      EXPECT_EQ(t.length, 0u);
      EXPECT_FALSE(Read(f).HasPackage()) << word;
    }
  }
}

TEST(Trailer, PositionOutsideTheFileIsNoPackage) {
  struct Case { const char* what; string file; } cases[] = {
      {"length word larger than the file", WithTrailer(TrailerBody(5000, 74), true)},
      {"length word 0xFFFFFFFF", WithTrailer(TrailerBody(0xFFFFFFFFu, 74), false)},
      {"file shorter than a length word", string("\x4a\x00", 2)},
      {"empty file", string()},
  };
  for (const auto& c : cases) {
    MemorySource src(c.file);
    TrailerCopy t;
    EXPECT_FALSE(ReadTrailer(src, t)) << c.what;
    EXPECT_FALSE(Read(c.file).HasPackage()) << c.what;
  }
  // Logical end beyond the physical end, and a logical end below 4.
  for (uint32_t lead : {1u << 20, 3u}) {
    string f = WithTrailer(TrailerBody(74, 74), false);
    Put32(f, 252, lead);
    MemorySource src(f);
    TrailerCopy t;
    EXPECT_FALSE(ReadTrailer(src, t)) << lead;
  }
}

TEST(Trailer, NegativeValueAt252MeansPhysicalEnd) {
  string f = WithTrailer(TrailerBody(74, 74), false);
  Put32(f, 252, 0x80000000u);
  MemorySource src(f);
  EXPECT_EQ(LogicalEnd(src), int64_t(f.size()));
  EXPECT_TRUE(Read(f).HasPackage());
}

// --- Required space ------------------------------------------------------------

TEST(RequiredSpace, PicksTheEntryForTheClusterSize) {
  TrailerCopy t;
  for (uint32_t i = 0; i < 9; ++i) t.SetWord(kTrailerSpaceTable + 4 * i, 10 + i);
  struct Case { uint32_t cluster; double expected; } cases[] = {
      {0, 10}, {511, 10}, {512, 11}, {1024, 12}, {3000, 13}, {4096, 14}, {65536, 18}, {1u << 20, 18},
  };
  for (const auto& c : cases) EXPECT_EQ(RequiredSpaceForCluster(t, c.cluster), c.expected) << c.cluster;
  t.SetWord(kTrailerSpaceTable + 4, 0xFFFFFFFFu);
  EXPECT_EQ(RequiredSpaceForCluster(t, 512), 4294967295.0);  // unsigned
}

// --- Token ----------------------------------------------------------------

bool IsStoredTokenChar(char c) { return (c >= 'b' && c <= 'k') || (c >= 's' && c <= 'x'); }

TEST(Token, HandMadeTokenDescrambles) {
  // B1=10 B2=0^3 B3=1^3 "A"^3 check Bk=13: key 3, no filler, one byte.
  EXPECT_EQ(DescrambleToken("cbbebdfdhsce"), "A");
  // The hex digits may be lower-case after the shift ('a' + 50 = 0x93).
  string lower = "cbbebdfdh";
  lower += char(0x93);
  lower += "ce";
  EXPECT_EQ(DescrambleToken(lower), "A");
}

TEST(Token, ScrambledTokensComeBackForAnyLengthAndByte) {
  std::mt19937 rng(5);
  for (size_t len = 0; len < 300; len += (len < 20 ? 1 : 37)) {
    string plain = RandomBytes(len, uint32_t(len));
    if (len == 5) plain = "secret";
    for (int round = 0; round < 4; ++round) {
      const string stored = ScrambleToken(plain, uint64_t(rng()) << 32 | rng());
      for (char c : stored) ASSERT_TRUE(IsStoredTokenChar(c)) << stored;
      string back;
      ASSERT_TRUE(DescrambleTokenChecked(stored, back)) << len;
      EXPECT_EQ(back, plain);
      EXPECT_EQ(DescrambleToken(stored), plain);
    }
  }
}

// DescrambleToken's answer for a failing token: a number from 0 to 99998.
bool IsRandomResult(const string& s) {
  if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != string::npos) return false;
  return std::stol(s) <= 99998;
}

TEST(Token, ShortOrBadTokensFailTheChecks) {
  string good = ScrambleToken("secret", 1);
  string badCheck = good;
  // Change one filler-free byte: the first byte moves the sum.
  badCheck[1] = badCheck[1] == 'b' ? 'c' : 'b';
  const string cases[] = {"", "b", "bbbbbbbb", "cbbebdfd", good.substr(0, 8), badCheck};
  for (const auto& c : cases) {
    string plain = "x";
    EXPECT_FALSE(DescrambleTokenChecked(c, plain)) << c;
    EXPECT_EQ(plain, "");
    EXPECT_TRUE(IsRandomResult(DescrambleToken(c))) << c;
  }
}

TEST(Token, SameTokenNeedsTwoValidEqualTokens) {
  auto pkg = [](const string& webToken, const string& updateToken) {
    Layout l;
    l.web = "||||" + webToken + "|";
    l.update = "||||" + updateToken + "|";
    return Read(l.Build());
  };
  const string a = ScrambleToken("Product-A", 1), a2 = ScrambleToken("Product-A", 2),
               lowerA = ScrambleToken("product-a", 1);
  EXPECT_NE(a, a2);  // other filler, same plain text
  EXPECT_EQ(a, ScrambleToken("Product-A", 1)) << "the seed alone decides the filler";
  EXPECT_TRUE(pkg(a, a).SameWebToken(pkg(a2, a2)));
  EXPECT_TRUE(pkg(a, a).SameUpdateToken(pkg(a2, a2)));
  EXPECT_FALSE(pkg(a, a).SameWebToken(pkg(lowerA, lowerA)));
  EXPECT_FALSE(pkg(a, a).SameUpdateToken(pkg(lowerA, lowerA)));
  // Neither side valid: no match, even though both descramble to a number.
  EXPECT_FALSE(pkg("", "").SameWebToken(pkg("", "")));
  EXPECT_FALSE(pkg("bbbb", "bbbb").SameUpdateToken(pkg("bbbb", "bbbb")));
  EXPECT_FALSE(pkg(a, a).SameWebToken(pkg("", "")));
  EXPECT_FALSE(pkg("", "").SameUpdateToken(pkg(a, a)));
  // The records are compared field for field: web with web, update with update.
  EXPECT_FALSE(pkg(a, "").SameUpdateToken(pkg(a, "")));
  EXPECT_EQ(pkg(a, lowerA).WebToken(true), "Product-A");
  EXPECT_EQ(pkg(a, lowerA).UpdateToken(true), "product-a");
  EXPECT_EQ(pkg(a, lowerA).WebToken(false), a);
}

// --- Members ------------------------------------------------------------------

TEST(Member, HeaderFields) {
  struct Case { string header, name, file, args; bool run; uint32_t date; } cases[] = {
      {"|Setup.exe*/S /X=1|1483697583|", "Setup.exe*/S /X=1", "Setup.exe", "/S /X=1", true, 1483697583u},
      {"|Setup.exe*|5|", "Setup.exe*", "Setup.exe", "", true, 5},
      {"|a.txt|0|", "a.txt", "a.txt", "", false, 0},
      {"|a.txt|abc|", "a.txt", "a.txt", "", false, 0},
      {"|a.txt|-5|", "a.txt", "a.txt", "", false, 0},
      {"|a.txt|4294967296|", "a.txt", "a.txt", "", false, 0},
      {"|a.txt|4294967295|", "a.txt", "a.txt", "", false, 4294967295u},
      {"|a.txt|", "a.txt", "a.txt", "", false, 0},
      {"", "", "", "", false, 0},
  };
  for (const auto& c : cases) {
    MemberHeader h = ParseMemberHeader(c.header);
    EXPECT_EQ(h.name, c.name) << c.header;
    EXPECT_EQ(h.fileName, c.file) << c.header;
    EXPECT_EQ(h.arguments, c.args) << c.header;
    EXPECT_EQ(h.isRunTarget, c.run) << c.header;
    EXPECT_EQ(h.dosDate, c.date) << c.header;
  }
  MemberHeader h;
  size_t at = 0;
  EXPECT_TRUE(SplitMember(string("|x|1|") + '\0' + "body\0more", h, at));
  EXPECT_EQ(at, 6u);
  EXPECT_EQ(h.fileName, "x");
  EXPECT_FALSE(SplitMember("|x|1|no nul", h, at));
}

// --- Inflate ----------------------------------------------------------------

TEST(Inflate, RoundTripsAtSizesAroundBufferEdges) {
  for (size_t n : {size_t(0), size_t(1), size_t(255), size_t(256), size_t(257), size_t(70000), size_t(262143),
                   size_t(262144), size_t(262145), size_t(3) << 20}) {
    // Highly compressible data makes the output many times the stored size.
    string plain(n, 'a');
    for (size_t i = 0; i < n; i += 97) plain[i] = char(i);
    string out = "junk";
    EZLibError e = InflateMember(Compress(plain), out);
    EXPECT_FALSE(e.raised) << n << e.message;
    EXPECT_EQ(out, plain);
  }
}

string DictionaryStream() {
  const string dict = "a preset dictionary";
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, 6), Z_OK);
  EXPECT_EQ(deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dict.data()), uInt(dict.size())), Z_OK);
  string in = "a preset dictionary helps", out(256, '\0');
  z.next_in = reinterpret_cast<Bytef*>(&in[0]);
  z.avail_in = uInt(in.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Collect : InflateSink {
  string data;
  size_t refuseAfter = SIZE_MAX;
  bool Write(const char* p, size_t n) override {
    if (data.size() + n > refuseAfter) return false;
    data.append(p, n);
    return true;
  }
};

TEST(Inflate, CorruptStreamsRaiseWithZlibTextAndNoOutput) {
  const string good = Compress(RandomBytes(5000, 3) + string(5000, 'q'));
  string flipped = good;
  flipped[good.size() / 2] ^= 0x40;
  string badAdler = good;
  badAdler.back() ^= 1;
  struct Case { const char* what; string stored; const char* message; } cases[] = {
      {"not zlib", "hello world, not a zlib stream", "incorrect header check"},
      {"empty", "", "buffer error"},
      {"truncated", good.substr(0, good.size() / 2), "buffer error"},
      {"bad checksum", badAdler, "incorrect data check"},
      {"flipped bit", flipped, nullptr},
      {"preset dictionary", DictionaryStream(), "need dictionary"},
  };
  for (const auto& c : cases) {
    string out = "junk";
    EZLibError e = InflateMember(c.stored, out);
    EXPECT_TRUE(e.raised) << c.what;
    EXPECT_FALSE(e.message.empty()) << c.what;
    if (c.message) {
      EXPECT_EQ(e.message, c.message) << c.what;
    }
    EXPECT_EQ(out, "") << c.what;

    Collect sink;
    MemorySource src(c.stored);
    EZLibError s = InflateMemberFrom(src, 0, uint32_t(c.stored.size()), sink);
    EXPECT_TRUE(s.raised) << c.what;
    if (c.message) {
      EXPECT_EQ(s.message, c.message) << c.what;
    }
  }
}

TEST(Inflate, StreamingMatchesWholeInflationForAnyPieceSize) {
  string plain = RandomBytes(200000, 9) + string(300000, 'x') + RandomBytes(1000, 10);
  const string stored = Compress(plain) + "trailing bytes are ignored";
  std::mt19937 rng(1);
  for (size_t bufferSize : {size_t(1), size_t(100), size_t(65536)}) {
    Collect sink;
    StreamInflater inf(sink, bufferSize);
    for (size_t at = 0; at < stored.size();) {
      size_t n = std::min<size_t>(stored.size() - at, 1 + rng() % 5000);
      ASSERT_TRUE(inf.Feed(stored.data() + at, n));
      at += n;
    }
    EXPECT_TRUE(inf.Ended());
    EXPECT_FALSE(inf.Finish().raised);
    EXPECT_EQ(sink.data, plain) << bufferSize;
  }
  // From a source, with the member in the middle of other bytes.
  const string file = "prefix" + stored + "suffix";
  MemorySource src(file);
  Collect sink;
  EXPECT_FALSE(InflateMemberFrom(src, 6, uint32_t(stored.size()), sink).raised);
  EXPECT_EQ(sink.data, plain);
  // A member that runs past the end of the source.
  Collect cut;
  EXPECT_TRUE(InflateMemberFrom(src, int64_t(file.size()) - 100, uint32_t(stored.size()), cut).raised);
}

TEST(Inflate, ARefusingSinkStopsTheStream) {
  const string stored = Compress(string(1 << 20, 'z'));
  Collect sink;
  sink.refuseAfter = 100000;
  MemorySource src(stored);
  EZLibError e = InflateMemberFrom(src, 0, uint32_t(stored.size()), sink);
  EXPECT_TRUE(e.raised);
  EXPECT_LE(sink.data.size(), 100000u);
}

}  // namespace
