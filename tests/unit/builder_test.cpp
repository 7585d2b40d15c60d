#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Builder.h"
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

  struct Case {
    const char* what;
    void (*change)(kpack::BuildOptions&, const string& dir);
    const char* errorPart;
  } cases[] = {
      {"no stub", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d + "/missing.exe"; }, "cannot open the stub"},
      {"stub not PE", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d + "/plain.bin"; }, "\"PE\" at 256"},
      {"stub already packaged", [](kpack::BuildOptions& o, const string& d) { o.stubPath = d + "/packaged.exe"; },
       "already carries a package"},
      {"missing member", [](kpack::BuildOptions& o, const string& d) { o.files.push_back({d + "/nope.txt", "nope.txt"}); },
       "nope.txt"},
      {"folder as member", [](kpack::BuildOptions& o, const string& d) { o.files.push_back({d, "dir"}); }, "not a file"},
      {"name with path", [](kpack::BuildOptions& o, const string& d) { o.files[0].name = "..\\evil.txt"; }, "not allowed"},
      {"dot-dot", [](kpack::BuildOptions& o, const string& d) { o.files[0].name = ".."; }, "not a file name"},
      {"run marker in name", [](kpack::BuildOptions& o, const string& d) { o.files[0].name = "a*b"; }, "not allowed"},
      {"device name", [](kpack::BuildOptions& o, const string&) { o.files[0].name = "nul.bin"; }, "device"},
      {"device name, no extension", [](kpack::BuildOptions& o, const string&) { o.files[0].name = "COM1"; }, "device"},
      {"trailing dot", [](kpack::BuildOptions& o, const string&) { o.files[0].name = "readme."; }, "trim"},
      {"duplicate names", [](kpack::BuildOptions& o, const string& d) { o.files.push_back({d + "/a.txt", "A.TXT"}); },
       "two members"},
      {"run names no member", [](kpack::BuildOptions& o, const string&) { o.run = "setup.exe*/S"; }, "not one of"},
      {"delimiter in a field", [](kpack::BuildOptions& o, const string&) { o.webUrl = "http://a|b"; }, "'|'"},
      {"level", [](kpack::BuildOptions& o, const string&) { o.level = 10; }, "--level"},
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
    EXPECT_EQ(Read("out.exe"), "previous output") << c.what;
    EXPECT_EQ(Listing(), (std::vector<string>{"a.txt", "out.exe", "packaged.exe", "plain.bin", "stub.exe"}))
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
  kpack::BuildOptions o;
  string error;
  const std::vector<string> args = {"--stub", "s.exe", "--out=o.exe", "--file", "dir/x.bin", "--file",
                                    "src/path=Name.exe", "--run", "Name.exe*/S", "--token", "sec", "--web-size",
                                    "42", "--always-download", "--auto-update-program", "--corrupt=magic",
                                    "--date", "2024-03-15 13:45:30", "--level", "9"};
  ASSERT_EQ(kpack::ParseCommandLine(args, o, error), kpack::ParseResult::Build) << error;
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
  EXPECT_TRUE(o.alwaysDownload && o.isAutoUpdateProgram && o.overrideDate);
  EXPECT_EQ(o.dosDate, 1483697583u);
  EXPECT_EQ(o.level, 9);
  EXPECT_EQ(o.corruption, kpack::Corruption::Magic);

  EXPECT_EQ(kpack::ParseCommandLine({"--help"}, o, error), kpack::ParseResult::Help);
  EXPECT_NE(kpack::UsageText().find("kpack --stub stub.exe --out"), string::npos);

  const std::vector<std::vector<string>> bad = {
      {"--stub", "s", "--out", "o", "--bogus"}, {"--stub", "s", "--out"}, {"--stub", "s", "--out", "o", "--corrupt=x"},
      {"--stub", "s", "--out", "o", "--web-setup=1"}, {"--stub", "s", "--out", "o", "--date", "soon"},
      {"--stub", "s", "--out", "o", "--web-size", "big"}, {"--out", "o"},
  };
  for (const auto& b : bad) {
    error.clear();
    EXPECT_EQ(kpack::ParseCommandLine(b, o, error), kpack::ParseResult::Error) << b.back();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
