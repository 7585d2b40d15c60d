// The setup run's extraction on real files under Wine, through the code the
// stub runs: damaged and unreadable packages, truncation at every offset,
// names Windows treats specially, and the extraction folder's name.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Builder.h"
#include "common/package_fixtures.h"
#include "environment/FilesWin.h"
#include "flows/SetupRunWin.h"
#include "package/ExtractorWin.h"
#include "package/PackageFormat.h"
#include "support/UtilsWin.h"

namespace {

// The wizard window as the flow sees it: boxes are recorded and answered OK.
class FakeView : public View {
 public:
  void SetStatusText(const std::string&) override {}
  void Show() override {}
  void Hide() override {}
  int ShowBox(BoxOwner, const std::string& text, uint32_t, const BoxStyle&) override {
    boxes.push_back(text);
    return kIdOk;
  }
  void Progress(int, int, int, int, int) override {}
  std::vector<std::string> boxes;
};

struct NoProgress : ProgressSink {
  void Progress(int, int, int, int, int) override {}
};

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA d;
  HANDLE f = FindFirstFileA((folder + "\\*").c_str(), &d);
  if (f == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = d.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(f, &d));
  FindClose(f);
  return names;
}

void Wipe(const std::string& folder) {
  for (const std::string& name : Names(folder)) {
    const std::string path = folder + "\\" + name;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (FolderExists(path))
      Wipe(path);
    else
      DeleteFileA(path.c_str());
  }
  RemoveDirectoryA(folder.c_str());
}

class SetupRunWin : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = TempDir(true) + "ksetuprun_" + IntToText(GetCurrentProcessId()) + "_" + info->name();
    Wipe(dir_);
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(P("stub.bin"), fixtures::FakeStub(1024), 0));
  }
  void TearDown() override { Wipe(dir_); }
  std::string P(const std::string& rel) const { return dir_ + "\\" + rel; }

  // A package of the given members (name = content), built by the builder.
  std::string Pack(const std::string& out, const std::vector<std::pair<std::string, std::string>>& members,
                   const std::string& run, bool logicalEnd = true, bool unsafeNames = false) {
    kpack::BuildOptions o;
    o.stubPath = P("stub.bin");
    o.outPath = P(out);
    o.run = run;
    o.writeLogicalEnd = logicalEnd;
    o.allowUnsafeNames = unsafeNames;
    o.overrideDate = true;
    o.dosDate = 0x50B15284;
    int n = 0;
    for (const auto& m : members) {
      const std::string source = P("member" + IntToText(n++));
      EXPECT_TRUE(WriteFileText(source, m.second, 0));
      o.files.push_back({source, m.first});
    }
    kpack::BuildReport report;
    std::string error;
    EXPECT_TRUE(kpack::BuildPackage(o, report, error)) << error;
    return o.outPath;
  }

  std::string dir_;
};

// A package that cannot be read, or has no trailer, is a bad package: the
// run shows "Bad CRC!" and starts nothing.
TEST_F(SetupRunWin, UnreadableAndTrailerlessPackagesAreReportedBad) {
  const std::string good = Pack("good.exe", {{"Setup.exe", "not run"}, {"a.txt", "a"}}, "Setup.exe*");
  NoProgress progress;
  EXPECT_TRUE(ExtractPackage(good, P("x"), "", progress).checksumOk) << "the good package itself";
  DeleteTree(P("x"), false);

  ASSERT_TRUE(WriteFileText(P("empty.exe"), "", 0));
  ASSERT_TRUE(WriteFileText(P("bare.exe"), fixtures::FakeStub(1024), 0));
  ASSERT_TRUE(WriteFileText(P("short.exe"), "MZ", 0));
  ASSERT_TRUE(CopyFileA(good.c_str(), P("locked.exe").c_str(), FALSE));
  // Held open without any sharing, as a scanner or another program may.
  HANDLE locked = CreateFileA(P("locked.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  for (const char* name : {"locked.exe", "empty.exe", "bare.exe", "short.exe"}) {
    SCOPED_TRACE(name);
    FakeView view;
    const std::string folder = P(std::string("out_") + name);
    EXPECT_FALSE(ExtractAndRun(view, folder, P(name), "", "", false));
    EXPECT_EQ(view.boxes, std::vector<std::string>{"Bad CRC!"});
    EXPECT_TRUE(Names(folder).empty()) << "nothing extracted";
    DeleteTree(folder, false);
  }
  CloseHandle(locked);
}

// Names Windows opens as devices or trims never count as saved files.
TEST_F(SetupRunWin, DeviceAndTrimmedNamesAreRefusedAtExtraction) {
  const std::string pkg =
      Pack("devices.exe", {{"nul.bin", "lost"}, {"readme.", "trimmed"}, {"ok.txt", "kept"}}, "", true, true);
  NoProgress progress;
  const ExtractResult r = ExtractPackage(pkg, P("out"), "", progress);
  EXPECT_TRUE(r.checksumOk);
  EXPECT_FALSE(r.corrupt);
  EXPECT_EQ(r.saveFailures, 2);
  EXPECT_EQ(r.firstFailedPath, P("out") + "\\nul.bin");
  EXPECT_EQ(Names(P("out")), std::vector<std::string>{"ok.txt"});
  EXPECT_EQ(ReadFilePart(P("out\\ok.txt"), 0, 0), "kept");
}

// The package cut at every offset from 0 to its length, and once more with
// its trailer kept behind the cut (a damaged middle): never a program
// allowed to start but from the whole package, never a file outside the
// folder, never a partial member, and the folder always removable.
TEST_F(SetupRunWin, TruncationSweep) {
  const std::string setupBytes = "MZ" + fixtures::RandomBytes(700, 3);
  const std::vector<std::pair<std::string, std::string>> members = {
      {"Setup.exe", setupBytes}, {"a.txt", "member one\r\n"}, {"b.dat", fixtures::RandomBytes(400, 4)}};
  const std::string sandbox = P("sandbox"), folder = sandbox + "\\SETUP_1", cut = P("cut.exe");
  ASSERT_TRUE(CreateDirectoryA(sandbox.c_str(), nullptr));
  NoProgress progress;
  struct Variant { const char* what; bool logicalEnd; bool keepTrailer; } variants[] = {
      {"cut, logical end at 252", true, false},
      {"cut, trailer at the physical end", false, false},
      {"cut, trailer kept behind the cut", true, true},
  };
  for (const auto& v : variants) {
    const std::string whole = ReadFilePart(Pack("whole.exe", members, "Setup.exe*/S", v.logicalEnd), 0, 0);
    const std::string trailer = whole.substr(whole.size() - kTrailerLength);
    ASSERT_GT(whole.size(), 1024u);
    int started = 0, checksumGood = 0, corrupt = 0, withFiles = 0;
    const size_t cuts = v.keepTrailer ? whole.size() - kTrailerLength : whole.size();
    for (size_t at = 0; at <= cuts; ++at) {
      std::string bytes = whole.substr(0, at);
      if (v.keepTrailer) {
        bytes += trailer;
        if (bytes.size() >= 256) fixtures::Put32(bytes, 252, uint32_t(bytes.size()));
      }
      ASSERT_TRUE(WriteFileText(cut, bytes, 0));
      const ExtractResult r = ExtractPackage(cut, folder, "", progress);
      const bool whole_ = bytes == whole;
      if (SetupMayStart(r)) ++started;
      EXPECT_EQ(SetupMayStart(r), whole_) << v.what << " at " << at;
      checksumGood += r.checksumOk;
      corrupt += r.corrupt;
      // Only the folder beside the package, and in it only whole members.
      const std::vector<std::string> outside = Names(sandbox);
      EXPECT_TRUE(outside.empty() || outside == std::vector<std::string>{"SETUP_1"}) << v.what << " at " << at;
      const std::vector<std::string> inside = Names(folder);
      withFiles += !inside.empty();
      for (const std::string& name : inside) {
        bool known = false;
        for (const auto& m : members)
          if (m.first == name) {
            known = true;
            EXPECT_EQ(ReadFilePart(folder + "\\" + name, 0, 0), m.second) << v.what << " at " << at << ": " << name;
          }
        EXPECT_TRUE(known) << v.what << " at " << at << ": " << name;
      }
      DeleteTree(folder, false);
      ASSERT_FALSE(FolderExists(folder)) << v.what << " at " << at << ": the folder could not be removed";
    }
    std::printf("[ sweep    ] %s: %zu cuts, %d started, %d good checksums, %d corrupt, %d with files\n", v.what,
                cuts + 1, started, checksumGood, corrupt, withFiles);
    EXPECT_EQ(started, 1) << v.what << ": only the whole package";
  }
}

// The folder's name comes from the time of day of the program's stamp alone;
// a second setup with the same stamp gets a fresh sibling of its own.
TEST_F(SetupRunWin, ExtractionFolderNamesAreClaimedOnce) {
  const std::string name = P("SETUP_27136");
  EXPECT_EQ(ClaimExtractionFolder(name), name);
  EXPECT_EQ(ClaimExtractionFolder(name), name + "_1");
  EXPECT_EQ(ClaimExtractionFolder(name), name + "_2");
  EXPECT_TRUE(FolderExists(name + "_2"));
  // Parents are created as before.
  EXPECT_EQ(ClaimExtractionFolder(P("deep\\er\\SETUP_1")), P("deep\\er\\SETUP_1"));

  // Many at once: creating a folder is atomic, so no two get the same one.
  const std::string racing = P("SETUP_5");
  std::vector<std::string> got(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i) threads.emplace_back([&, i] { got[i] = ClaimExtractionFolder(racing); });
  for (auto& t : threads) t.join();
  const std::set<std::string> distinct(got.begin(), got.end());
  EXPECT_EQ(distinct.size(), got.size());
  for (const std::string& f : got) {
    EXPECT_TRUE(FolderExists(f)) << f;
  }
}

// The process's own folder: taken when free; a fresh sibling when a folder of
// that name is there already (another setup with the same stamp).
TEST_F(SetupRunWin, ExtractionFolderAvoidsAFolderThatExists) {
  const std::string mine = TempDir(true) + "SETUP_" + IntToText(FileDate(ProgramFile()) & 0xFFFF);
  const bool existed = FolderExists(mine);
  if (!existed) {
    ASSERT_TRUE(CreateDirectoryA(mine.c_str(), nullptr));
  }
  const std::string got = ExtractionFolder();
  EXPECT_NE(got, mine);
  EXPECT_EQ(got.rfind(mine + "_", 0), 0u) << got;
  EXPECT_TRUE(FolderExists(got));
  EXPECT_EQ(ExtractionFolder(), got) << "the name holds for the process";
  DeleteTree(got, false);
  if (!existed) RemoveDirectoryA(mine.c_str());
}

}  // namespace
