// Fetching the info file and the update file, with the servers that
// with-servers.sh starts (KOVREX_HTTP, KOVREX_WWW, KOVREX_NGINX_LOG,
// KOVREX_CLOSED_PORT, see http_test.cpp). The local copies go to this
// program's folder, as they go to the auto-update program's.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "Builder.h"
#include "common/package_fixtures.h"
#include "environment/FilesWin.h"
#include "flows/RoadsWin.h"
#include "flows/UpdateFetchWin.h"
#include "package/PackageReaderWin.h"
#include "support/UtilsWin.h"
#include "support/RegistryWin.h"
#include "update/HttpClientWin.h"
#include "update/SettingsWin.h"
#include "update/UpdateFetchWin.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

struct Box {
  BoxOwner owner;
  std::string text;
  uint32_t flags;
  std::string caption;
  int charset;
  std::string buttons;
};

class RecordingView final : public View {
 public:
  void Progress(int kind, int, int, int, int) override {
    kind == 0 ? ++setups : ++steps;
    if (kind == 1 && steps == abortOnStep) DownloadAbort = true;  // as a close request would
  }
  int abortOnStep = -1;
  void SetStatusText(const std::string& text) override { status.push_back(text); }
  void Show() override { events += "S"; }
  void Hide() override { events += "H"; }
  int ShowBox(BoxOwner owner, const std::string& text, uint32_t flags, const BoxStyle& style) override {
    boxes.push_back({owner, text, flags, style.caption, style.charset, style.buttons});
    return kIdOk;
  }
  std::vector<std::string> status;
  std::vector<Box> boxes;
  std::string events;
  int setups = 0, steps = 0;
};

const char kToken[] = "fetch secret";

// Online cases run where WinINet works, offline ones where it is switched off.
class UpdateFetch : public ::testing::Test {
 protected:
  virtual bool Offline() const { return false; }
  void SetUp() override {
    if ((Env("KOVREX_NO_WININET") == "1") != Offline()) GTEST_SKIP() << "not in this run";
    www_ = Env("KOVREX_WWW");
    ASSERT_FALSE(www_.empty()) << "run through tests/win/with-servers.sh";
    work_ = TempDir(true) + "kovrex_fetch";
    DeleteTree(work_, true);
    ASSERT_TRUE(ForceFolders(work_));
    ASSERT_TRUE(WriteFileText(work_ + "\\stub.exe", fixtures::FakeStub(4096), 0));
    // The running program's own package: its token and info-file name.
    ASSERT_TRUE(Pack(work_ + "\\own.exe", kToken));
    own_.Create(work_ + "\\own.exe");
    ASSERT_TRUE(own_.HasPackage());
    OwnPackage = &own_;
    SetInfoFileNames(own_.OriginalInfoFileName(), own_.InfoFileName());
    Clean();
  }
  void TearDown() override {
    OwnPackage = nullptr;
    SetTestMode("", "");
    Clean();
    if (!work_.empty()) DeleteTree(work_, true);
  }
  void Clean() {
    for (const char* name : {"kfetch.info", "kfetch.original", "kupdate.exe", "kforeign.exe", "nosuch.info", "nosuch.exe"})
      DeleteFiles(ProgramDir(true) + name + "*", true);
  }

  bool Pack(const std::string& out, const std::string& token) {
    kpack::BuildOptions o;
    o.stubPath = work_ + "\\stub.exe";
    o.outPath = out;
    o.updateUrl = "http://127.0.0.1/unused";
    o.updateInfo = "kfetch";
    o.updateExe = "KFetch.exe";
    o.updateToken = token;
    kpack::BuildReport report;
    std::string error;
    return kpack::BuildPackage(o, report, error);
  }

  size_t LogLines() {
    const std::string log = ReadFilePart(Env("KOVREX_NGINX_LOG"), 0, 0);
    return size_t(std::count(log.begin(), log.end(), '\n'));
  }

  // What the check would have read from the offer: the new info file.
  void Offer(const std::string& lines) { ASSERT_TRUE(WriteFileText(NewInfoFile(), "[NewSetup]\r\n" + lines, 0)); }
  // The per-user test mode ("" removes a value), read at once.
  void SetTestMode(const std::string& mode, const std::string& url) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Morvalix\\Kovrex\\AutoUpdate";
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Morvalix\\Kovrex\\AutoUpdate", 0, KEY_SET_VALUE, &k) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(k, "TestMode");
      RegDeleteValueA(k, "TestModeURL");
      RegCloseKey(k);
    }
    if (!mode.empty()) RegWriteString(key, "TestMode", mode);
    if (!url.empty()) RegWriteString(key, "TestModeURL", url);
    ReadTestMode(true);
  }

  TGFileInfo own_;
  std::string www_, work_;
  const std::string http_ = Env("KOVREX_HTTP");
  RecordingView view_;
};

const char kInfo[] = "[NewSetup]\r\nVersionNew=2\r\n";

TEST_F(UpdateFetch, InfoFileOverTheWebIsKeptInMemoryThenWritten) {
  WriteFileText(www_ + "\\kfetch.info", kInfo, 0);
  EXPECT_TRUE(FetchUpdateFile(view_, http_, "C:\\any\\kfetch.info", kInfoFile, false));
  EXPECT_EQ(ReadFilePart(ProgramDir(true) + "kfetch.info", 0, 0), kInfo);
  EXPECT_EQ(view_.status, std::vector<std::string>{"Downloading INFO File..."});
  EXPECT_EQ(view_.events, "");  // no window outside an interactive check
  EXPECT_TRUE(view_.boxes.empty());
}

TEST_F(UpdateFetch, InfoFileFromAFolderNeedsNoNetwork) {
  WriteFileText(www_ + "\\kfetch.info", kInfo, 0);
  const size_t before = LogLines();
  EXPECT_TRUE(FetchUpdateFile(view_, www_, "kfetch.info", kInfoFile, false));
  EXPECT_EQ(ReadFilePart(ProgramDir(true) + "kfetch.info", 0, 0), kInfo);
  EXPECT_EQ(LogLines(), before);
  EXPECT_TRUE(view_.status.empty());
}

TEST_F(UpdateFetch, InfoFileErrorPageIsNeverWrittenNorShown) {
  EXPECT_FALSE(FetchUpdateFile(view_, http_, "nosuch.info", kInfoFile, false));
  EXPECT_FALSE(FileExists(ProgramDir(true) + "nosuch.info"));
  EXPECT_TRUE(view_.boxes.empty());
  EXPECT_FALSE(FetchUpdateFile(view_, "http://127.0.0.1:" + Env("KOVREX_CLOSED_PORT"), "nosuch.info", kInfoFile, false));
  EXPECT_TRUE(view_.boxes.empty());
}

TEST_F(UpdateFetch, UpdateFileOfTheSameProductIsKept) {
  ASSERT_TRUE(Pack(www_ + "\\kupdate.exe", kToken));
  EXPECT_TRUE(FetchUpdateFile(view_, http_, "kupdate.exe", kUpdateFile, false));
  EXPECT_EQ(ReadFilePart(ProgramDir(true) + "kupdate.exe", 0, 0), ReadFilePart(www_ + "\\kupdate.exe", 0, 0));
  EXPECT_EQ(view_.status, std::vector<std::string>{"Downloading UPDATE File..."});
  EXPECT_TRUE(view_.boxes.empty());
  EXPECT_GT(view_.steps, 0);
}

TEST_F(UpdateFetch, InteractiveCheckShowsTheWindowAsProgressWindow) {
  ASSERT_TRUE(Pack(www_ + "\\kupdate.exe", kToken));
  EXPECT_TRUE(FetchUpdateFile(view_, http_, "kupdate.exe", kUpdateFile, true));
  EXPECT_EQ(view_.events, "S");
}

TEST_F(UpdateFetch, UpdateFileOfAnotherProductIsDeletedAndReported) {
  ASSERT_TRUE(Pack(www_ + "\\kforeign.exe", "another product"));
  EXPECT_FALSE(FetchUpdateFile(view_, http_, "kforeign.exe", kUpdateFile, false));
  EXPECT_FALSE(FileExists(ProgramDir(true) + "kforeign.exe"));
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "Bad Secret Token!");
  EXPECT_EQ(view_.boxes[0].owner, BoxOwner::Titled);
  EXPECT_EQ(view_.boxes[0].flags, uint32_t(kBoxErrorFlags));
  EXPECT_EQ(view_.boxes[0].caption, "Error");
  EXPECT_EQ(view_.boxes[0].buttons, "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
}

TEST_F(UpdateFetch, ErrorPageInPlaceOfTheUpdateIsNamedWithItsAddress) {
  EXPECT_FALSE(FetchUpdateFile(view_, http_, "nosuch.exe", kUpdateFile, false));
  EXPECT_FALSE(FileExists(ProgramDir(true) + "nosuch.exe"));
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "<b>404 File Not Found...</b><P><P>URL:  " + http_ + "/nosuch.exe");
}

TEST_F(UpdateFetch, FailedTransferWithoutConfirmationIsSilent) {
  EXPECT_FALSE(FetchUpdateFile(view_, "http://127.0.0.1:" + Env("KOVREX_CLOSED_PORT"), "nosuch.exe", kUpdateFile,
                               false));
  EXPECT_TRUE(view_.boxes.empty());
}

TEST_F(UpdateFetch, AnOlderCopyIsNeverTakenForThisDownload) {
  // Transfers that end early without an error: the first leaves a part file
  // (so the second deletes no older versions), and before the second a
  // package of the same product stands at the local copy's name.
  ASSERT_TRUE(Pack(www_ + "\\kupdate.exe", kToken));
  const std::string source = Env("KOVREX_FAULT") + "/close=100";
  EXPECT_FALSE(FetchUpdateFile(view_, source, "kupdate.exe", kUpdateFile, false));
  ASSERT_TRUE(Pack(ProgramDir(true) + "kupdate.exe", kToken));
  view_.boxes.clear();
  EXPECT_FALSE(FetchUpdateFile(view_, source, "kupdate.exe", kUpdateFile, false));
  EXPECT_FALSE(FileExists(ProgramDir(true) + "kupdate.exe"));
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "Bad Secret Token!");
}

TEST_F(UpdateFetch, NothingFetchedChecksNothing) {
  // An empty file in the folder fetches nothing: an older copy at the local
  // copy's name does not pass for it.
  ASSERT_TRUE(Pack(ProgramDir(true) + "kupdate.exe", kToken));
  ASSERT_TRUE(WriteFileText(www_ + "\\kupdate.exe", "", 0));  // an empty file in the folder
  EXPECT_FALSE(FetchUpdateFile(view_, www_, "kupdate.exe", kUpdateFile, false));
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "Bad Secret Token!");
}

class UpdateFetchOffline : public UpdateFetch {
 protected:
  bool Offline() const override { return true; }
};

TEST_F(UpdateFetchOffline, DrivePathWithoutTheFile) {
  const std::string location = work_ + "\\updates";
  EXPECT_FALSE(IsOnline());
  EXPECT_FALSE(UpdateFileAvailable(location, "kupdate.exe"));
  EXPECT_FALSE(FetchUpdateFile(view_, location, "kupdate.exe", kUpdateFile, false));
  EXPECT_TRUE(view_.status.empty());  // nothing was attempted over HTTP
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "Bad Secret Token!");
}

TEST_F(UpdateFetchOffline, FolderFormNeedsNoConnection) {
  WriteFileText(www_ + "\\kfetch.info", kInfo, 0);
  EXPECT_TRUE(FetchUpdateFile(view_, www_, "kfetch.info", kInfoFile, false));
  EXPECT_EQ(ReadFilePart(ProgramDir(true) + "kfetch.info", 0, 0), kInfo);
}

TEST_F(UpdateFetch, ConfirmedDownloadShowsTheWindowAroundIt) {
  ASSERT_TRUE(Pack(www_ + "\\kupdate.exe", kToken));
  Offer("RequestConfirmationBeforeDownload=1\r\n");
  EXPECT_TRUE(FetchUpdateFile(view_, http_, "kupdate.exe", kUpdateFile, false));
  EXPECT_EQ(view_.events, "SH");
  view_.events.clear();
  // In an interactive check the window is the progress window instead.
  EXPECT_TRUE(FetchUpdateFile(view_, http_, "kupdate.exe", kUpdateFile, true));
  EXPECT_EQ(view_.events, "S");
}

TEST_F(UpdateFetch, FailedTransferWithConfirmationIsReported) {
  Offer("RequestConfirmationBeforeDownload=1\r\n");
  const std::string closed = "http://127.0.0.1:" + Env("KOVREX_CLOSED_PORT");
  EXPECT_FALSE(FetchUpdateFile(view_, closed, "nosuch.exe", kUpdateFile, false));
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, closed + "/nosuch.exe\\\\n\\\\nUnable to Download File!");
  EXPECT_EQ(view_.boxes[0].flags, uint32_t(kBoxWarningFlags));
  EXPECT_EQ(view_.boxes[0].caption, "Attention");

  // A drive path that is not there goes to the web form, and fails as a file.
  view_.boxes.clear();
  const std::string drive = work_ + "\\nowhere";
  EXPECT_FALSE(FetchUpdateFile(view_, drive, "nosuch.exe", kUpdateFile, false));
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, drive + "/nosuch.exe\\\\n\\\\nFile not Found!");

  // Stopped by the user; the info file's own texts and box settings.
  view_.boxes.clear();
  ASSERT_TRUE(Pack(www_ + "\\kupdate.exe", kToken));
  WriteFileText(OriginalInfoFile(),
                "[AutoUpdate]\r\ns3=Stopped.\r\n[MsgBox]\r\nAttention=Heads up\r\nCharSet=177\r\nBtnText=|O|C|Y|N|A|R|I|\r\n",
                0);
  view_.abortOnStep = 1;
  EXPECT_FALSE(FetchUpdateFile(view_, http_, "kupdate.exe", kUpdateFile, false));
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "Stopped.");
  EXPECT_EQ(view_.boxes[0].caption, "Heads up");
  EXPECT_EQ(view_.boxes[0].charset, 177);
  EXPECT_EQ(view_.boxes[0].buttons, "|O|C|Y|N|A|R|I|");
  EXPECT_FALSE(FileExists(ProgramDir(true) + "kupdate.exe"));
  DownloadAbort = false;
}

TEST_F(UpdateFetch, UpdateFileAvailableOnlyWithTheAnnouncedSize) {
  ASSERT_TRUE(Pack(www_ + "\\kupdate.exe", kToken));
  const int32_t size = FileSizeOf(www_ + "\\kupdate.exe");
  Offer("SizeOfUpdateFile=" + std::to_string(size) + "\r\n");
  EXPECT_TRUE(UpdateFileAvailable(http_, "kupdate.exe"));   // asked over HTTP
  EXPECT_TRUE(UpdateFileAvailable(www_, "kupdate.exe"));    // read in the folder
  EXPECT_FALSE(UpdateFileAvailable(http_, "nosuch.exe"));   // the 404 page has another size
  Offer("SizeOfUpdateFile=" + std::to_string(size + 1) + "\r\n");
  EXPECT_FALSE(UpdateFileAvailable(http_, "kupdate.exe"));
  EXPECT_FALSE(UpdateFileAvailable(www_, "kupdate.exe"));
  Offer("");
  EXPECT_FALSE(UpdateFileAvailable(www_, "kupdate.exe"));  // no size announced
}

TEST_F(UpdateFetch, TestModeTakesFilesOnlyFromItsFolder) {
  WriteFileText(www_ + "\\kfetch.info", kInfo, 0);
  ASSERT_TRUE(Pack(www_ + "\\kupdate.exe", kToken));
  SetTestMode("1", www_);
  ASSERT_TRUE(TestModeOn());
  const size_t before = LogLines();
  // Whatever location the package or the offer names.
  EXPECT_TRUE(FetchUpdateFile(view_, http_ + "/elsewhere", "kfetch.info", kInfoFile, false));
  EXPECT_TRUE(FetchUpdateFile(view_, "http://127.0.0.1:1/x", "kupdate.exe", kUpdateFile, false));
  Offer("SizeOfUpdateFile=" + std::to_string(FileSizeOf(www_ + "\\kupdate.exe")) + "\r\n");
  EXPECT_TRUE(UpdateFileAvailable("http://127.0.0.1:1/x", "kupdate.exe"));
  EXPECT_EQ(LogLines(), before);
  // A file that is not in the test folder is never fetched over HTTP.
  EXPECT_FALSE(FetchUpdateFile(view_, http_, "nosuch.info", kInfoFile, false));
  // Nor with an empty test folder (the name is then looked for at the root).
  SetTestMode("1", "");
  EXPECT_FALSE(FetchUpdateFile(view_, http_, "kfetch.info", kInfoFile, false));
  EXPECT_EQ(LogLines(), before);
  EXPECT_TRUE(view_.status.empty());
}

}  // namespace
