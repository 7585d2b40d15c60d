#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Builder.h"
#include "Inspect.h"
#include "common/package_fixtures.h"
#include "package/PackageReader.h"
#include "package/Inflate.h"

#ifdef _WIN32
#include <sys/utime.h>
#include <windows.h>

#include "package/PackageReaderWin.h"
#else
#include <utime.h>
#endif

namespace fs = std::filesystem;
using std::string;
using namespace fixtures;

namespace {

void SetModified(const string& path, time_t t) {
#ifdef _WIN32
  struct _utimbuf times = {t, t};
  ASSERT_EQ(_utime(path.c_str(), &times), 0);
#else
  struct utimbuf times = {t, t};
  ASSERT_EQ(utime(path.c_str(), &times), 0);
#endif
}

uint32_t LocalDosDate(time_t t) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return kpack::DosDateOf(local);
}

class Builder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           (string("kpack_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Write("stub.exe", FakeStub(4096));
    options_.stubPath = Path("stub.exe");
    options_.outPath = Path("out.exe");
  }
  void TearDown() override { fs::remove_all(dir_); }

  string Path(const string& name) const { return (dir_ / name).string(); }
  void Write(const string& name, const string& bytes) const {
    std::ofstream(Path(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }
  string Read(const string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<string> Listing() const {
    std::vector<string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  bool Build(std::string* error = nullptr) {
    string e;
    const bool ok = kpack::BuildPackage(options_, report_, e);
    if (error) *error = e;
    EXPECT_TRUE(ok || !e.empty());
    return ok;
  }

  fs::path dir_;
  kpack::BuildOptions options_;
  kpack::BuildReport report_;
};

struct Member {
  string name;
  uint32_t date;
  string content;
  string stored;
};

// Walks the members from the first-member offset, as extraction will.
std::vector<Member> Members(const string& file, const TGFileInfo& info) {
  std::vector<Member> out;
  size_t at = info.FirstMemberOffset();
  for (uint32_t i = 0; i < info.MemberCount(); ++i) {
    const uint32_t n = Word(file, at);
    Member m;
    m.stored = file.substr(at + 4, n);
    at += 4 + n;
    string inflated;
    EZLibError e = InflateMember(m.stored, inflated);
    EXPECT_FALSE(e.raised) << e.message;
    MemberHeader h;
    size_t content = 0;
    EXPECT_TRUE(SplitMember(inflated, h, content));
    m.name = h.name;
    m.date = h.dosDate;
    m.content = inflated.substr(content);
    out.push_back(m);
  }
  EXPECT_EQ(at, file.size() - kTrailerLength) << "the trailer follows the last member";
  return out;
}

TEST_F(Builder, RoundTripThroughTheReader) {
  const string setup = RandomBytes(300000, 1) + string(200000, 'S');
  const string readme = "Read me\r\nplease\r\n";
  const string big = RandomBytes(5000, 2);
  Write("Setup.exe", setup);
  Write("readme-source.txt", readme);
  Write("empty.dat", "");
  Write("big.bin", big);
  const time_t when = 1700000000;
  for (const char* name : {"Setup.exe", "readme-source.txt", "empty.dat", "big.bin"}) SetModified(Path(name), when);

  options_.files = {{Path("readme-source.txt"), "ReadMe.txt"}, {Path("Setup.exe"), "Setup.exe"},
                    {Path("empty.dat"), "empty.dat"}, {Path("big.bin"), "big.bin"}};
  options_.run = "setup.EXE*/S /D=C:\\x";
  options_.webUrl = "http://example.test/dl/";
  options_.webPackage = "full.exe";
  options_.webSize = "123456";
  options_.webToken = "web secret";
  options_.updateUrl = "http://example.test/upd/";
  options_.updateInfo = "MyApp.cfg";
  options_.updateExe = "MyAppUpdate.exe";
  options_.updateToken = "update secret";
  options_.runHidden = true;
  options_.confirmTempDrive = true;
  options_.installAutoUpdate = true;
  ASSERT_TRUE(Build());
  EXPECT_EQ(Listing(), (std::vector<string>{"Setup.exe", "big.bin", "empty.dat", "out.exe", "readme-source.txt",
                                            "stub.exe"}));

  const string file = Read("out.exe");
  const string stub = Read("stub.exe");
  ASSERT_EQ(report_.packageSize, file.size());
  EXPECT_EQ(report_.headerOffset, stub.size());
  EXPECT_EQ(file.substr(0, 252), stub.substr(0, 252));
  EXPECT_EQ(file.substr(256, stub.size() - 256), stub.substr(256));
  EXPECT_EQ(Word(file, 252), file.size()) << "logical end";

  const string t = file.substr(file.size() - kTrailerLength);
  EXPECT_EQ(Word(t, 0), 1u);
  EXPECT_EQ(Word(t, 4), stub.size());
  EXPECT_EQ(Word(t, 8), 4u);
  EXPECT_EQ(Word(t, 12), kPackageMagic);
  EXPECT_EQ(t.substr(20, 8), string(8, '\0'));
  EXPECT_EQ(t.substr(64, 6), string("\0\1\0\0\1\0", 6));
  EXPECT_EQ(Word(t, 70), 74u);

  StdioFileSource src(Path("out.exe"));
  EXPECT_EQ(Word(t, 16), PackageChecksum(src, 74));
  EXPECT_EQ(Word(t, 16), report_.checksum);

  TGFileInfo info;
  info.Create(src);
  ASSERT_TRUE(info.HasPackage());
  EXPECT_TRUE(info.ConfirmTempDrive());
  EXPECT_TRUE(info.InstallAutoUpdateProgram());
  EXPECT_FALSE(info.IsWebSetup() || info.AskBeforeDownload() || info.IsAutoUpdateProgram());
  EXPECT_EQ(info.DownloadLocation(), "http://example.test/dl/");
  EXPECT_EQ(info.PackageFileName(), "full.exe");
  EXPECT_FALSE(info.AlwaysDownload());
  EXPECT_EQ(info.PackageSizeText(), "123456");
  EXPECT_EQ(info.WebToken(true), "web secret");
  EXPECT_EQ(info.UpdateLocation(), "http://example.test/upd/");
  EXPECT_EQ(info.InfoFileName(), "MyApp.info");
  EXPECT_EQ(info.AutoUpdateExeName(), "MyAppUpdate.exe");
  EXPECT_EQ(info.UpdateToken(true), "update secret");
  EXPECT_TRUE(info.RunSetupHidden());
  const string stored = info.UpdateToken(false);
  EXPECT_EQ(stored.find_first_not_of("bcdefghijkstuvwx"), string::npos) << stored;

  const std::vector<Member> members = Members(file, info);
  ASSERT_EQ(members.size(), 4u);
  const string names[] = {"ReadMe.txt", "Setup.exe*/S /D=C:\\x", "empty.dat", "big.bin"};
  const string contents[] = {readme, setup, "", big};
  uint64_t table[9] = {};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(members[i].name, names[i]);
    EXPECT_EQ(members[i].date, LocalDosDate(when));
    EXPECT_EQ(members[i].content, contents[i]) << names[i];
    EXPECT_EQ(members[i].stored.substr(0, 2), "\x78\x9C") << names[i];
    table[0] += contents[i].size();
    for (int k = 1; k <= 8; ++k) {
      const uint64_t unit = uint64_t(256) << k;
      table[k] += (contents[i].size() + unit - 1) / unit * unit;
    }
  }
  for (int k = 0; k <= 8; ++k) EXPECT_EQ(Word(t, 28 + 4 * size_t(k)), table[k]) << "entry " << k;
  EXPECT_EQ(info.RequiredSpaceForCluster(4096), double(table[4]));
  EXPECT_GT(info.RequiredSpaceForCluster(4096), info.RequiredSpaceForCluster(512));

  // A signature appended later changes neither trailer nor checksum.
  std::ofstream(Path("out.exe"), std::ios::binary | std::ios::app) << "SIGNED!!";
  StdioFileSource signedFile(Path("out.exe"));
  TGFileInfo again;
  again.Create(signedFile);
  EXPECT_TRUE(again.HasPackage());
  EXPECT_EQ(PackageChecksum(signedFile, 74), report_.checksum);
  EXPECT_TRUE(again.SameWebToken(info));
  EXPECT_TRUE(again.SameUpdateToken(info));
}

TEST_F(Builder, Dates) {
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 2;
  tm.tm_mday = 15;
  tm.tm_hour = 13;
  tm.tm_min = 45;
  tm.tm_sec = 30;
  EXPECT_EQ(kpack::DosDateOf(tm), 1483697583u);
  tm.tm_year = 1979 - 1900;
  EXPECT_EQ(kpack::DosDateOf(tm), 0u);

  struct Case { string text; bool ok; uint32_t value; } cases[] = {
      {"2024-03-15 13:45:30", true, 1483697583u}, {"2024-03-15T13:45:30", true, 1483697583u},
      {"0", true, 0}, {"1483697583", true, 1483697583u}, {"1979-12-31 23:59:59", false, 0},
      {"2024-13-01 00:00:00", false, 0}, {"2024-03-15 13:45:30x", false, 0}, {"-1", false, 0},
      {"4294967296", false, 0}, {"yesterday", false, 0},
  };
  for (const auto& c : cases) {
    uint32_t v = 0;
    EXPECT_EQ(kpack::ParseDate(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }

  // The override stamps every member.
  Write("a.txt", "a");
  options_.files = {{Path("a.txt"), "a.txt"}};
  options_.overrideDate = true;
  options_.dosDate = 1483697583u;
  ASSERT_TRUE(Build());
  const string file = Read("out.exe");
  MemorySource src(file);
  TGFileInfo info;
  info.Create(src);
  const auto members = Members(file, info);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].date, 1483697583u);
}

TEST_F(Builder, DeliberatelyBrokenPackages) {
  Write("a.txt", RandomBytes(20000, 4));
  options_.files = {{Path("a.txt"), "a.txt"}};
  options_.webToken = "t";

  options_.corruption = kpack::Corruption::Checksum;
  ASSERT_TRUE(Build());
  {
    StdioFileSource src(Path("out.exe"));
    TGFileInfo info;
    info.Create(src);
    EXPECT_TRUE(info.HasPackage());
    EXPECT_NE(info.Checksum(), PackageChecksum(src, 74));
    EXPECT_EQ(PackageChecksum(src, 74), report_.checksum);
  }

  options_.corruption = kpack::Corruption::Magic;
  ASSERT_TRUE(Build());
  {
    StdioFileSource src(Path("out.exe"));
    TGFileInfo info;
    info.Create(src);
    EXPECT_FALSE(info.HasPackage());
    EXPECT_EQ(info.WebToken(false), "");
    EXPECT_EQ(info.Checksum(), PackageChecksum(src, 74));
  }

  options_.corruption = kpack::Corruption::Truncate;
  ASSERT_TRUE(Build());
  {
    const string file = Read("out.exe");
    EXPECT_LT(file.size(), 4096u + 20000u);
    EXPECT_GT(Word(file, 252), file.size()) << "the logical end lies past the cut";
    MemorySource src(file);
    TrailerCopy t;
    EXPECT_FALSE(ReadTrailer(src, t));
    TGFileInfo info;
    info.Create(src);
    EXPECT_FALSE(info.HasPackage());
  }
}

TEST_F(Builder, WithoutLogicalEndTheTrailerIsAtThePhysicalEnd) {
  Write("plain.bin", string(3000, 'p'));  // not a PE file
  Write("a.txt", "abc");
  options_.stubPath = Path("plain.bin");
  options_.files = {{Path("a.txt"), "a.txt"}};
  options_.writeLogicalEnd = false;
  ASSERT_TRUE(Build());
  const string file = Read("out.exe");
  EXPECT_EQ(file.substr(0, 3000), string(3000, 'p'));
  MemorySource src(file);
  TGFileInfo info;
  info.Create(src);
  ASSERT_TRUE(info.HasPackage());
  EXPECT_EQ(info.Checksum(), PackageChecksum(src, 74));
  EXPECT_EQ(Members(file, info)[0].content, "abc");
}

TEST_F(Builder, BadInputFailsCleanlyAndKeepsTheOldOutput) {
  Write("a.txt", "a");
  Write("out.exe", "previous output");
  Write("plain.bin", string(3000, 'p'));
  string withPackage = FakeStub(4096);
  withPackage.replace(252, 4, string("\x10\x27\0\0", 4));
  Write("packaged.exe", withPackage);
  {
    // A package with its trailer at the physical end and 0 at 252, as the
    // auto-update copy beside an extracted setup is written.
    kpack::BuildOptions copy = options_;
    copy.outPath = Path("copy.exe");
    copy.files = {{Path("a.txt"), "a.txt"}};
    copy.writeLogicalEnd = false;
    string error;
    ASSERT_TRUE(kpack::BuildPackage(copy, report_, error)) << error;
  }

  struct Case {
    const char* what;
    void (*change)(kpack::BuildOptions&, const string& dir);
    const char* errorPart;
  } cases[] = {
      {"no stub", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d + "/missing.exe"; }, "missing.exe: no such file"},
      {"stub not PE", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d + "/plain.bin"; }, "\"PE\" at 256"},
      {"stub already packaged", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d + "/packaged.exe"; },
       "already carries a package"},
      {"missing member", [](kpack::BuildOptions& o, const string& d) { o.files.push_back({d + "/nope.txt", "nope.txt"}); },
       "nope.txt"},
      {"folder as member", [](kpack::BuildOptions& o, const string& d) { o.files.push_back({d, "dir"}); }, "not a file"},
      {"name with path", [](kpack::BuildOptions& o, const string& d) { o.files[0].name = "..\\evil.txt"; }, "not allowed"},
      {"dot-dot", [](kpack::BuildOptions& o, const string& d) { o.files[0].name = ".."; }, "not a file name"},
      {"run marker in name", [](kpack::BuildOptions& o, const string& d) { o.files[0].name = "a*b"; }, "not allowed"},
      {"name too long", [](kpack::BuildOptions& o, const string& d) { o.files[0].name = string(256, 'n'); },
       "longer than 255 characters"},
      {"device name", [](kpack::BuildOptions& o, const string&) { o.files[0].name = "nul.bin"; }, "device"},
      {"device name, no extension", [](kpack::BuildOptions& o, const string&) { o.files[0].name = "COM1"; }, "device"},
      {"trailing dot", [](kpack::BuildOptions& o, const string&) { o.files[0].name = "readme."; }, "trim"},
      {"duplicate names", [](kpack::BuildOptions& o, const string& d) { o.files.push_back({d + "/a.txt", "A.TXT"}); },
       "a second member named \"A.TXT\""},
      {"output is the stub", [](kpack::BuildOptions& o, const string& d) { o.outPath = d + "/stub.exe"; },
       "is the stub"},
      {"output is a member", [](kpack::BuildOptions& o, const string& d) { o.outPath = d + "/./a.txt"; },
       "is one of the inputs"},
      {"output is a folder", [](kpack::BuildOptions& o, const string& d) { o.outPath = d; }, "--out"},
      {"stub is a folder", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d; }, "is a folder"},
      {"stub carries a package at its end", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d + "/copy.exe"; },
       "already carries a package"},
      {"level beyond the compressor", [](kpack::BuildOptions& o, const string&) {
         o.compressor = kpack::Compressor::Zlib;
         o.level = 10;
       }, "--level 10"},
      {"run names no member", [](kpack::BuildOptions& o, const string&) { o.run = "setup.exe*/S"; }, "not one of"},
      {"delimiter in a field", [](kpack::BuildOptions& o, const string&) { o.webUrl = "http://a|b"; }, "'|'"},
      {"level", [](kpack::BuildOptions& o, const string&) { o.level = 13; }, "--level 13"},
  };
  for (const auto& c : cases) {
    options_ = kpack::BuildOptions();
    options_.stubPath = Path("stub.exe");
    options_.outPath = Path("out.exe");
    options_.files = {{Path("a.txt"), "a.txt"}};
    c.change(options_, dir_.string());
    string error;
    EXPECT_FALSE(Build(&error)) << c.what;
    EXPECT_NE(error.find(c.errorPart), string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.find('\n'), string::npos) << c.what << ": one line";
    EXPECT_EQ(report_.failure, kpack::Failure::Input) << c.what;
    EXPECT_EQ(Read("out.exe"), "previous output") << c.what;
    EXPECT_EQ(Read("a.txt"), "a") << c.what;
    EXPECT_EQ(Listing(), (std::vector<string>{"a.txt", "copy.exe", "out.exe", "packaged.exe", "plain.bin", "stub.exe"}))
        << c.what << ": no temporary file left";
  }
}

#ifdef _WIN32
// The file-name forms open the package with deny-none sharing: a package that
// another program holds open for writing can still be read.
TEST_F(Builder, Win32FileFormsReadAPackageHeldOpenElsewhere) {
  Write("a.txt", RandomBytes(10000, 8));
  options_.files = {{Path("a.txt"), "a.txt"}};
  options_.webToken = "tok";
  ASSERT_TRUE(Build());
  const string name = Path("out.exe");
  HANDLE holder = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_TRUE(IsPEFile(name));
  TrailerCopy t;
  EXPECT_TRUE(ReadTrailer(name, t));
  EXPECT_EQ(t.Word(kTrailerMagic), kPackageMagic);
  EXPECT_EQ(PackageChecksum(name, 74), report_.checksum);
  TGFileInfo info;
  info.Create(name);
  EXPECT_TRUE(info.HasPackage());
  EXPECT_EQ(info.WebToken(true), "tok");
  CloseHandle(holder);

  const uint32_t cluster = ClusterSize(name);
  EXPECT_GE(cluster, 512u);
  EXPECT_EQ(cluster & (cluster - 1), 0u) << cluster;
  EXPECT_EQ(info.RequiredSpace(name), info.RequiredSpaceForCluster(cluster));
  EXPECT_EQ(ClusterSize("?:\\"), 0u);
  EXPECT_EQ(info.RequiredSpace("?:\\"), info.RequiredSpaceForCluster(0));

  TGFileInfo missing;
  missing.Create(Path("missing.exe"));
  EXPECT_FALSE(missing.HasPackage());
  EXPECT_FALSE(IsPEFile(Path("missing.exe")));
  EXPECT_EQ(PackageChecksum(Path("missing.exe"), 74), 0u);
}
#endif

TEST(BuilderCommandLine, ParsesTheDocumentedForms) {
  kpack::CommandLine line;
  const kpack::BuildOptions& o = line.build;
  string error;
  const std::vector<string> args = {"--stub", "s.exe", "--out=o.exe", "--file", "dir/x.bin", "--file",
                                    "src/path=Name.exe", "--run", "Name.exe*/S", "--token", "sec", "--web-size",
                                    "42", "--always-download", "--auto-update-program", "--corrupt=magic",
                                    "--date", "2024-03-15 13:45:30", "--level", "9", "--threads", "3",
                                    "--compressor", "zlib", "--quiet"};
  ASSERT_EQ(kpack::ParseCommandLine(args, line, error), kpack::ParseResult::Build) << error;
  EXPECT_EQ(o.stubPath, "s.exe");
  EXPECT_EQ(o.outPath, "o.exe");
  ASSERT_EQ(o.files.size(), 2u);
  EXPECT_EQ(o.files[0].path, "dir/x.bin");
  EXPECT_EQ(o.files[0].name, "x.bin");
  EXPECT_EQ(o.files[1].path, "src/path");
  EXPECT_EQ(o.files[1].name, "Name.exe");
  EXPECT_EQ(o.run, "Name.exe*/S");
  EXPECT_EQ(o.webToken, "sec");
  EXPECT_EQ(o.updateToken, "sec");
  EXPECT_EQ(o.webSize, "42");
  EXPECT_TRUE(o.alwaysDownload && o.isAutoUpdateProgram && o.overrideDate && line.quiet);
  EXPECT_EQ(o.dosDate, 1483697583u);
  EXPECT_EQ(o.level, 9);
  EXPECT_EQ(o.threads, 3u);
  EXPECT_EQ(o.compressor, kpack::Compressor::Zlib);
  EXPECT_EQ(o.corruption, kpack::Corruption::Magic);

  EXPECT_EQ(kpack::ParseCommandLine({"--help"}, line, error), kpack::ParseResult::Help);
  EXPECT_NE(kpack::UsageText().find("kpack --stub stub.exe --out"), string::npos);
  // Without --stub the installed stub is used (the program fills it in).
  ASSERT_EQ(kpack::ParseCommandLine({"--out", "o.exe"}, line, error), kpack::ParseResult::Build) << error;
  EXPECT_EQ(line.build.stubPath, "");

  ASSERT_EQ(kpack::ParseCommandLine({"info", "p.exe", "--json", "--show-tokens"}, line, error),
            kpack::ParseResult::Info) << error;
  EXPECT_EQ(line.package, "p.exe");
  EXPECT_TRUE(line.json && line.showTokens);
  ASSERT_EQ(kpack::ParseCommandLine({"verify", "--token=t", "p.exe"}, line, error), kpack::ParseResult::Verify)
      << error;
  EXPECT_EQ(line.package, "p.exe");
  EXPECT_TRUE(line.hasToken);
  EXPECT_EQ(line.token, "t");
  EXPECT_EQ(line.build.webToken, "") << "verify's --token is the expected token, not one to write";

  struct Bad { std::vector<string> args; const char* part; } bad[] = {
      {{"--stub", "s", "--out", "o", "--bogus"}, "--bogus"}, {{"--stub", "s", "--out"}, "--out: needs a value"},
      {{"--stub", "s", "--out", "o", "--corrupt=x"}, "--corrupt x"}, {{"--out", "o", "--web-setup=1"}, "--web-setup"},
      {{"--out", "o", "--date", "soon"}, "--date soon"}, {{"--out", "o", "--web-size", "big"}, "--web-size big"},
      {{"--stub", "s"}, "--out is required"}, {{"--out", "o", "--level", "13"}, "--level 13"},
      {{"--out", "o", "--threads", "0"}, "--threads 0"}, {{"--out", "o", "--compressor", "lzma"}, "--compressor lzma"},
      {{"--out", "o", "stray"}, "stray"}, {{"info"}, "which package"}, {{"info", "a.exe", "b.exe"}, "b.exe"},
      {{"info", "a.exe", "--token", "t"}, "--token: not an option for info"},
      {{"verify", "a.exe", "--file", "x"}, "--file: not an option for verify"},
      {{"--out", "o", "--json"}, "--json: not an option for building"},
  };
  for (const auto& b : bad) {
    error.clear();
    EXPECT_EQ(kpack::ParseCommandLine(b.args, line, error), kpack::ParseResult::Error) << b.part;
    EXPECT_NE(error.find(b.part), string::npos) << error;
  }
}

TEST_F(Builder, ArgumentFiles) {
  Write("setup.args",
        "# the product's setup\r\n"
        "--out " + Path("o.exe") + "\r\n"
        "\n"
        "   --file " + Path("a b.txt") + "=ReadMe.txt\n"
        "--run=ReadMe.txt*/S /D=x\n"
        "  # indented comment\n"
        "--token  two words \n"
        "@" + Path("more.args") + "\n"
        "--level\n"
        "9\n");
  Write("more.args", "--quiet\n--date 2024-03-15 13:45:30\n");
  kpack::CommandLine line;
  string error;
  ASSERT_EQ(kpack::ParseCommandLine({"@" + Path("setup.args"), "--stub", "s.exe"}, line, error),
            kpack::ParseResult::Build) << error;
  const kpack::BuildOptions& o = line.build;
  EXPECT_EQ(o.outPath, Path("o.exe"));
  ASSERT_EQ(o.files.size(), 1u);
  EXPECT_EQ(o.files[0].path, Path("a b.txt"));
  EXPECT_EQ(o.files[0].name, "ReadMe.txt");
  EXPECT_EQ(o.run, "ReadMe.txt*/S /D=x");
  EXPECT_EQ(o.webToken, "two words");
  EXPECT_TRUE(line.quiet && o.overrideDate);
  EXPECT_EQ(o.level, 9);
  EXPECT_EQ(o.stubPath, "s.exe");

  // A value is never read as an argument file.
  ASSERT_EQ(kpack::ParseCommandLine({"--out", "o", "--token", "@notafile"}, line, error), kpack::ParseResult::Build);
  EXPECT_EQ(line.build.webToken, "@notafile");

  Write("self.args", "--quiet\n@" + Path("self.args") + "\n");
  EXPECT_EQ(kpack::ParseCommandLine({"@" + Path("self.args")}, line, error), kpack::ParseResult::Error);
  EXPECT_NE(error.find("argument files"), string::npos) << error;
  EXPECT_EQ(kpack::ParseCommandLine({"@" + Path("missing.args")}, line, error), kpack::ParseResult::Error);
  EXPECT_NE(error.find("missing.args: no such file"), string::npos) << error;
  EXPECT_EQ(kpack::ParseCommandLine({"@" + dir_.string()}, line, error), kpack::ParseResult::Error);
  EXPECT_NE(error.find("is a folder"), string::npos) << error;
}


// Text-like bytes: compressible, but not trivially.
string TextLike(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  static const char* words[] = {"setup", "the", "package", "member", "of", "kovrex", "stub", "and", "file", "run"};
  string s;
  while (s.size() < n) s += string(words[rng() % 10]) + (rng() % 7 ? " " : ".\r\n");
  s.resize(n);
  return s;
}

// Pieces in the middle of a member end open (an empty stored block after
// the cleared final bit), so any split joins into one stream that inflates to
// the whole. Sizes and contents vary, so every bit position of a piece's end
// comes up.
TEST(Pieces, JoinIntoOneStreamForEveryCompressorAndLevel) {
  std::vector<kpack::Compressor> compressors = {kpack::Compressor::Zlib};
  if (kpack::HaveCompressor(kpack::Compressor::Libdeflate)) compressors.push_back(kpack::Compressor::Libdeflate);
  std::mt19937 rng(11);
  for (kpack::Compressor c : compressors)
    for (int level : {0, 1, 6, 9, kpack::MaxLevel(c)})
      for (int round = 0; round < 12; ++round) {
        const size_t n = 1 + rng() % 200000;
        const string whole = round % 3 == 0 ? RandomBytes(n, rng()) : round % 3 == 1 ? TextLike(n, rng())
                                                                                       : string(n, char(round));
        // Cut into up to four pieces at random places.
        std::vector<size_t> cuts = {0, rng() % n, rng() % n, rng() % n, n};
        std::sort(cuts.begin(), cuts.end());
        string stream = kpack::ZlibHeader(level);
        uint32_t adler = 1;
        for (size_t k = 0; k + 1 < cuts.size(); ++k) {
          kpack::Piece p;
          p.input = whole.substr(cuts[k], cuts[k + 1] - cuts[k]);
          p.window = whole.substr(cuts[k] > 32768 ? cuts[k] - 32768 : 0, cuts[k] > 32768 ? 32768 : cuts[k]);
          p.last = k + 2 == cuts.size();
          ASSERT_TRUE(kpack::CompressPiece(c, level, p)) << kpack::CompressorName(c) << " " << level;
          stream += p.output;
          adler = kpack::CombineAdler(adler, p.adler, p.input.size());
        }
        for (int i = 3; i >= 0; --i) stream += char(adler >> (8 * i));
        string back;
        const EZLibError e = InflateMember(stream, back);
        ASSERT_FALSE(e.raised) << kpack::CompressorName(c) << " level " << level << " round " << round << ": " << e.message;
        ASSERT_EQ(back.size(), whole.size());
        EXPECT_TRUE(back == whole) << kpack::CompressorName(c) << " level " << level << " round " << round;
      }
  EXPECT_EQ(kpack::ZlibHeader(6), "\x78\x9C");
  EXPECT_EQ(kpack::ZlibHeader(9), "\x78\xDA");
  EXPECT_EQ(kpack::ZlibHeader(1), "\x78\x01");
}

// Members larger than a piece, with either compressor: the stub's inflate
// reads them back whole, and the package does not depend on the threads.
TEST_F(Builder, LargeMembersInPiecesOnAnyNumberOfThreads) {
  const string big = TextLike(kpack::kPieceSize * 2 + 12345, 3) + RandomBytes(kpack::kPieceSize / 2, 4);
  // With its header, exactly one piece.
  const string exact(kpack::kPieceSize - MemberHeaderText("exact.bin", 1483697583u).size() - 1, 'x');
  Write("big.bin", big);
  Write("exact.bin", exact);
  Write("small.txt", "small");
  options_.files = {{Path("big.bin"), "big.bin"}, {Path("exact.bin"), "exact.bin"}, {Path("small.txt"), "small.txt"}};
  options_.overrideDate = true;
  options_.dosDate = 1483697583u;
  std::vector<kpack::Compressor> compressors = {kpack::Compressor::Zlib};
  if (kpack::HaveCompressor(kpack::Compressor::Libdeflate)) compressors.push_back(kpack::Compressor::Libdeflate);
  for (kpack::Compressor c : compressors) {
    options_.compressor = c;
    string first;
    for (unsigned threads : {1u, 3u}) {
      options_.threads = threads;
      ASSERT_TRUE(Build());
      const string file = Read("out.exe");
      MemorySource src(file);
      TGFileInfo info;
      info.Create(src);
      const auto members = Members(file, info);
      ASSERT_EQ(members.size(), 3u);
      EXPECT_TRUE(members[0].content == big) << kpack::CompressorName(c);
      EXPECT_EQ(members[1].name, "exact.bin");
      EXPECT_EQ(MemberHeaderText(members[1].name, members[1].date).size() + 1 + exact.size(), kpack::kPieceSize);
      EXPECT_TRUE(members[1].content == exact);
      EXPECT_EQ(members[2].content, "small");
      EXPECT_EQ(members[0].stored.substr(0, 2), "\x78\x9C");
      if (first.empty()) first = file;
      else EXPECT_TRUE(file == first) << kpack::CompressorName(c) << ": other bytes on " << threads << " threads";
    }
  }
}

// Only a test package can have a header this long, but its content must not
// be lost behind it.
TEST_F(Builder, AHeaderOfAPieceOrMoreStillCarriesItsContent) {
  Write("a.txt", "abc");
  options_.allowUnsafeNames = true;
  for (size_t n : {kpack::kPieceSize - 14, kpack::kPieceSize + 10}) {
    options_.files = {{Path("a.txt"), string(n, 'n')}};
    ASSERT_TRUE(Build());
    const string file = Read("out.exe");
    MemorySource src(file);
    TGFileInfo info;
    info.Create(src);
    const auto members = Members(file, info);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].name.size(), n);
    EXPECT_EQ(members[0].content, "abc") << n;
  }
}

TEST_F(Builder, SameInputsSameBytes) {
  Write("a.txt", TextLike(50000, 1));
  Write("b.bin", RandomBytes(3000, 2));
  SetModified(Path("a.txt"), 1700000000);
  SetModified(Path("b.bin"), 1700000000);
  options_.files = {{Path("a.txt"), "a.txt"}, {Path("b.bin"), "b.bin"}};
  options_.run = "a.txt";
  options_.webToken = options_.updateToken = "the product secret";
  ASSERT_TRUE(Build());
  const string once = Read("out.exe");
  ASSERT_TRUE(Build());
  EXPECT_TRUE(Read("out.exe") == once) << "two runs, one file";

  auto webToken = [this] {
    StdioFileSource src(Path("out.exe"));
    TGFileInfo info;
    info.Create(src);
    EXPECT_EQ(info.WebToken(true), "the product secret");
    return info.WebToken(false);
  };
  const string token = webToken();
  // Without SOURCE_DATE_EPOCH the filler follows the inputs ...
  Write("b.bin", RandomBytes(3001, 2));
  SetModified(Path("b.bin"), 1700000000);
  ASSERT_TRUE(Build());
  EXPECT_NE(webToken(), token);
  // ... with it, the epoch and the token alone.
  options_.sourceDateEpoch = "1700000000";
  ASSERT_TRUE(Build());
  const string withEpoch = webToken();
  Write("b.bin", RandomBytes(3002, 2));
  ASSERT_TRUE(Build());
  EXPECT_EQ(webToken(), withEpoch);
  options_.sourceDateEpoch = "1700000001";
  ASSERT_TRUE(Build());
  EXPECT_NE(webToken(), withEpoch);
}

TEST_F(Builder, ProgressCountsTheContentUpToTheTotal) {
  Write("a.bin", TextLike(kpack::kPieceSize * 3, 5));
  Write("b.bin", "bb");
  options_.files = {{Path("a.bin"), "a.bin"}, {Path("b.bin"), "b.bin"}};
  std::vector<std::pair<uint64_t, uint64_t>> calls;
  options_.progress = [&calls](uint64_t done, uint64_t total) { calls.push_back({done, total}); };
  ASSERT_TRUE(Build());
  ASSERT_GE(calls.size(), 4u);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_LE(calls[i - 1].first, calls[i].first);
  EXPECT_EQ(calls.back(), std::make_pair(uint64_t(kpack::kPieceSize * 3 + 2), uint64_t(kpack::kPieceSize * 3 + 2)));
}

// --- info and verify ---------------------------------------------------------------

kpack::PackageFacts FactsOf(const string& file) {
  MemorySource src(file);
  kpack::PackageFacts f;
  EXPECT_TRUE(kpack::ReadPackageFacts(src, f));
  return f;
}

TEST_F(Builder, InfoShowsWhatThePackageHoldsAlsoWhenSigned) {
  // A PE32 i386 GUI stub, so that the kind and the certificate table show.
  string stub = FakeStub(4096);
  Put32(stub, 260, 0x14C);
  stub.replace(280, 2, string("\x0B\x01", 2));
  stub.replace(280 + 68, 2, string("\x02\x00", 2));
  Put32(stub, 408, 0);
  Put32(stub, 412, 0);
  Write("stub.exe", stub);
  Write("Setup.exe", TextLike(70000, 9));
  Write("ReadMe.txt", "read me");
  options_.files = {{Path("Setup.exe"), "Setup.exe"}, {Path("ReadMe.txt"), "ReadMe.txt"}};
  options_.run = "Setup.exe*/S /D=C:\\x";
  options_.overrideDate = true;
  options_.dosDate = 1483697583u;
  options_.updateToken = "update secret";
  options_.updateUrl = "http://example.test/upd/";
  options_.confirmTempDrive = options_.installAutoUpdate = true;
  ASSERT_TRUE(Build());
  string file = Read("out.exe");
  // Signed afterwards: the certificate table after the logical end.
  const uint32_t end = uint32_t(file.size());
  Put32(file, 408, end);
  Put32(file, 412, 24);
  file += string(24, 'S');

  const kpack::PackageFacts f = FactsOf(file);
  EXPECT_TRUE(kpack::PackageProblems(f, nullptr).empty());
  const string text = kpack::InfoText("out.exe", f, false);
  for (const char* part : {"stub:        4096 bytes, PE32 i386 GUI", "stored at offset 252",
                           "update location:    \"http://example.test/upd/\"", "token:              not set",
                           "token:              set\n", "flags:              confirm-temp-drive install-auto-update",
                           "1. \"Setup.exe\"  70000 bytes, packed ", "2024-03-15 13:45:30, runs with \"/S /D=C:\\x\"",
                           "2. \"ReadMe.txt\"  7 bytes", "after the end: 24 bytes (a signature", "checksum:    ok"})
    EXPECT_NE(text.find(part), string::npos) << part << "\n" << text;
  EXPECT_EQ(text.find("update secret"), string::npos) << "tokens only when asked";
  EXPECT_NE(kpack::InfoText("out.exe", f, true).find("set: \"update secret\""), string::npos);

  const string json = kpack::InfoJson("out.exe", f, false);
  for (const char* part : {"\"stub\":{\"size\":4096,\"kind\":\"PE32 i386 GUI\"}", "\"flags\":[\"confirm-temp-drive\",\"install-auto-update\"]",
                           "\"name\":\"Setup.exe\",\"size\":70000", "\"run\":true,\"arguments\":\"/S /D=C:\\\\x\"",
                           "\"token\":{\"set\":true,\"valid\":true}", "\"afterEnd\":{\"bytes\":24,\"signatureOffset\":"})
    EXPECT_NE(json.find(part), string::npos) << part << "\n" << json;
  EXPECT_EQ(kpack::JsonString(string("a\"\\\n\xE9", 5)), "\"a\\\"\\\\\\u000a\\u00e9\"");
}

TEST_F(Builder, VerifyFindsEveryProblem) {
  Write("a.txt", TextLike(40000, 2));
  Write("b.txt", "b");
  options_.files = {{Path("a.txt"), "a.txt"}, {Path("b.txt"), "b.txt"}};
  options_.webToken = options_.updateToken = "right";
  auto problems = [this](const string* token) {
    const auto p = kpack::PackageProblems(FactsOf(Read("out.exe")), token);
    string all;
    for (const auto& line : p) all += line + "\n";
    return all;
  };
  ASSERT_TRUE(Build());
  const string right = "right", wrong = "wrong";
  EXPECT_EQ(problems(nullptr), "");
  EXPECT_EQ(problems(&right), "");
  EXPECT_NE(problems(&wrong).find("--token: the web-setup record's token is not the one given"), string::npos);

  struct Case { kpack::Corruption kind; const char* part; } cases[] = {
      {kpack::Corruption::Checksum, "checksum mismatch"},
      {kpack::Corruption::Magic, "no package: the trailer's magic"},
      {kpack::Corruption::Truncate, "truncated"},
      {kpack::Corruption::Member, "member 2 (\"b.txt\")"},
      {kpack::Corruption::MemberLength, "member 2 (\"b.txt\"): its "},
  };
  for (const auto& c : cases) {
    options_.corruption = c.kind;
    ASSERT_TRUE(Build());
    EXPECT_NE(problems(nullptr).find(c.part), string::npos) << c.part << "\n" << problems(nullptr);
    if (c.kind == kpack::Corruption::MemberLength) {
      EXPECT_NE(problems(nullptr).find(" bytes run past the logical end"), string::npos) << problems(nullptr);
    }
  }

  // Hostile names and a second member of the same name: packages kpack only
  // writes for tests.
  options_.corruption = kpack::Corruption::None;
  options_.allowUnsafeNames = true;
  options_.files = {{Path("a.txt"), "..\\evil.txt"}, {Path("b.txt"), "B.TXT"}, {Path("b.txt"), "b.txt"}};
  ASSERT_TRUE(Build());
  const string all = problems(nullptr);
  EXPECT_NE(all.find("member 1 (\"..\\evil.txt\"): not a plain file name"), string::npos) << all;
  EXPECT_NE(all.find("member 3 (\"b.txt\"): the same name as member 2"), string::npos) << all;

  options_.allowUnsafeNames = false;
  options_.files = {{Path("b.txt"), "b.txt"}};
  options_.webToken = options_.updateToken = "";
  ASSERT_TRUE(Build());
  EXPECT_NE(problems(&right).find("--token: the package carries no token"), string::npos);
  EXPECT_NE(kpack::PackageProblems(FactsOf(Read("stub.exe")), nullptr)[0].find("no package"), string::npos);
}

}  // namespace
