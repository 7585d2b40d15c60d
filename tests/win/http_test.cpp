// The download client against real servers that with-servers.sh starts:
// nginx serving a folder (KOVREX_HTTP, and over TLS KOVREX_HTTPS with a
// trusted and KOVREX_BADHTTPS with an untrusted certificate) and the fault
// server (KOVREX_FAULT). The served folder is KOVREX_WWW; the servers' logs
// are KOVREX_NGINX_LOG and KOVREX_FAULT_LOG. With KOVREX_NO_WININET=1 the
// program runs where WinINet cannot be loaded, and only that case is tested.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "environment/FilesWin.h"
#include "support/UtilsWin.h"
#include "update/HttpClientWin.h"
#include "update/UpdateFetchWin.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}
bool NoWinINet() { return Env("KOVREX_NO_WININET") == "1"; }

// Bytes that differ at every position for a long while, so a shifted or
// repeated range shows.
std::string Bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = 0x9E3779B9u * (seed + 1);
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    s[i] = char(x >> 24);
  }
  return s;
}

struct Recorder : ProgressSink {
  struct Setup { int low, high, position, step; };
  std::vector<Setup> setups;
  int steps = 0;
  int abortAfter = -1;  // sets DownloadAbort on this step, as a close request would
  void Progress(int kind, int low, int high, int position, int step) override {
    if (kind == 0) setups.push_back({low, high, position, step});
    if (kind == 1 && ++steps == abortAfter) DownloadAbort = true;
  }
};

struct Window : ProgressWindow {
  int shown = 0;
  void Show() override { ++shown; }
};

std::vector<std::string> Lines(const std::string& file) {
  std::vector<std::string> lines;
  const std::string text = ReadFilePart(file, 0, 0);
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  return lines;
}

class Http : public ::testing::Test {
 protected:
  void SetUp() override {
    if (NoWinINet()) GTEST_SKIP() << "WinINet is switched off in this run";
    www_ = Env("KOVREX_WWW");
    ASSERT_FALSE(www_.empty()) << "run through tests/win/with-servers.sh";
    work_ = TempDir(true) + "kovrex_http_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    DeleteTree(work_, true);
    ASSERT_TRUE(ForceFolders(work_));
    dest_ = work_ + "\\Setup.exe";
    DownloadAbort = false;
  }
  void TearDown() override {
    DownloadAbort = false;
    if (!work_.empty()) DeleteTree(work_, true);
  }

  // Puts a file into the served folder with a known modification time (UTC),
  // and returns the stamp the client makes of the server's Last-Modified.
  uint32_t Serve(const std::string& name, const std::string& bytes, int day = 4) {
    const std::string path = www_ + "\\" + name;
    EXPECT_TRUE(WriteFileText(path, bytes, 0));
    SYSTEMTIME st{};
    st.wYear = 2021, st.wMonth = 3, st.wDay = WORD(day), st.wHour = 5, st.wMinute = 6, st.wSecond = 8;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    return PackDosStamp(2021, 3, day, 5, 6, 8);
  }

  // The part files of dest_ that stand now.
  std::vector<std::string> PartFiles() {
    std::vector<std::string> parts;
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((dest_ + ".*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return parts;
    do {
      if (IsPartFileName("Setup.exe", d.cFileName)) parts.push_back(work_ + "\\" + d.cFileName);
    } while (FindNextFileA(h, &d));
    FindClose(h);
    return parts;
  }

  std::string Download(const std::string& url, std::string& error, Recorder* rec, Window* window = nullptr,
                       const std::string& dest = "\x01") {
    std::string content;
    HttpDownload(window, url, dest == "\x01" ? dest_ : dest, error, rec, content);
    return content;
  }

  // Aborts a download of url into dest_ after three chunks (30720 bytes of a
  // 102400-byte file) and checks what that leaves.
  void AbortAfterThreeChunks(const std::string& url, const std::string& expectedPart) {
    Recorder rec;
    rec.abortAfter = 3;
    std::string error;
    Download(url, error, &rec);
    EXPECT_EQ(error, "Download Aborted");
    EXPECT_FALSE(FileExists(dest_));
    ASSERT_EQ(PartFiles(), std::vector<std::string>{expectedPart});
    EXPECT_EQ(FileSizeOf(expectedPart), 30720);
    DownloadAbort = false;
  }

  std::string www_, work_, dest_;
  const std::string http_ = Env("KOVREX_HTTP"), fault_ = Env("KOVREX_FAULT");
};

TEST_F(Http, InMemoryInChunksOfATenth) {
  const std::string data = Bytes(25000, 1);
  Serve("m25000.bin", data);
  Recorder rec;
  Window window;
  std::string error;
  EXPECT_TRUE(Download(http_ + "/m25000.bin", error, &rec, &window, "") == data);
  EXPECT_EQ(error, "");
  ASSERT_EQ(rec.setups.size(), 1u);
  EXPECT_EQ(rec.setups[0].high, 11);
  EXPECT_EQ(rec.setups[0].position, 0);
  EXPECT_EQ(rec.setups[0].step, 1);
  EXPECT_EQ(rec.steps, 10);  // chunks of 2500 bytes
  EXPECT_EQ(window.shown, 1);
  const auto log = Lines(Env("KOVREX_NGINX_LOG"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "GET /m25000.bin 200 25000 \"-\" \"HTTP_Connect_3\"");
}

TEST_F(Http, FileDownloadGoesThroughItsPartFile) {
  const std::string data = Bytes(25000, 2);
  Serve("f25000.bin", data);
  WriteFileText(dest_ + ".bak", "unrelated", 0);
  WriteFileText(dest_ + ".777", "a part of an older version", 0);
  Recorder rec;
  std::string error;
  EXPECT_EQ(Download(http_ + "/f25000.bin", error, &rec), "");
  EXPECT_EQ(error, "");
  EXPECT_TRUE(ReadFilePart(dest_, 0, 0) == data);
  EXPECT_EQ(rec.steps, 10);
  EXPECT_TRUE(PartFiles().empty());
  EXPECT_FALSE(FileExists(dest_ + ".bak"));  // every "Setup.exe.*" goes before a new transfer
}

TEST_F(Http, FilesShorterThanTenBytesComeInOnePiece) {
  for (size_t n : {1u, 5u, 9u}) {
    const std::string data = Bytes(n, unsigned(n));
    Serve("tiny" + std::to_string(n) + ".bin", data);
    Recorder rec;
    std::string error;
    EXPECT_EQ(Download(http_ + "/tiny" + std::to_string(n) + ".bin", error, &rec, nullptr, ""), data) << n;
    EXPECT_EQ(error, "");
    ASSERT_EQ(rec.setups.size(), 1u);
    EXPECT_EQ(rec.setups[0].high, 2);
    EXPECT_EQ(rec.steps, 1);
    Download(http_ + "/tiny" + std::to_string(n) + ".bin", error, &rec);
    EXPECT_EQ(ReadFilePart(dest_, 0, 0), data) << n;
  }
}

TEST_F(Http, AbortedDownloadResumesWithTheMissingRange) {
  const std::string data = Bytes(102400, 3);
  const uint32_t stamp = Serve("r102400.bin", data);
  const std::string part = PartFileName(dest_, 102400, stamp);
  AbortAfterThreeChunks(http_ + "/r102400.bin", part);

  Recorder rec;
  std::string error;
  Download(http_ + "/r102400.bin", error, &rec);
  EXPECT_EQ(error, "");
  ASSERT_EQ(rec.setups.size(), 1u);
  EXPECT_EQ(rec.setups[0].high, 11);
  EXPECT_EQ(rec.setups[0].position, 3);
  EXPECT_EQ(rec.steps, 7);
  EXPECT_TRUE(ReadFilePart(dest_, 0, 0) == data) << "not byte-identical";
  EXPECT_TRUE(PartFiles().empty());
  // Only the missing bytes crossed the wire.
  const auto log = Lines(Env("KOVREX_NGINX_LOG"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "GET /r102400.bin 206 71680 \"bytes=30720-\" \"HTTP_Connect_3\"");
}

TEST_F(Http, ConnectionClosedEarlyKeepsWhatArrivedForTheNextAttempt) {
  const std::string data = Bytes(102400, 4);
  const uint32_t stamp = Serve("c102400.bin", data);
  Recorder rec;
  std::string error;
  Download(fault_ + "/close=30720/c102400.bin", error, &rec);
  EXPECT_EQ(error, "");  // an early end is not an error of its own
  EXPECT_FALSE(FileExists(dest_));
  const std::string part = PartFileName(dest_, 102400, stamp);
  ASSERT_EQ(PartFiles(), std::vector<std::string>{part});
  EXPECT_EQ(FileSizeOf(part), 30720);

  Download(fault_ + "/-/c102400.bin", error, &rec);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(ReadFilePart(dest_, 0, 0) == data) << "not byte-identical";
  const auto log = Lines(Env("KOVREX_FAULT_LOG"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "GET /-/c102400.bin 206 bytes=30720- 71680");
}

TEST_F(Http, ServerIgnoringTheRangeStartsThePartFileAgain) {
  // Appending a whole answer to the bytes held would give a file that
  // outgrows its length and never completes.
  const std::string data = Bytes(102400, 5);
  const uint32_t stamp = Serve("n102400.bin", data);
  AbortAfterThreeChunks(http_ + "/n102400.bin", PartFileName(dest_, 102400, stamp));
  Recorder rec;
  std::string error;
  Download(fault_ + "/norange/n102400.bin", error, &rec);
  EXPECT_EQ(error, "");
  ASSERT_EQ(rec.setups.size(), 1u);
  EXPECT_EQ(rec.setups[0].position, 0);
  EXPECT_EQ(FileSizeOf(dest_), 102400);
  EXPECT_TRUE(ReadFilePart(dest_, 0, 0) == data) << "not byte-identical";
  EXPECT_TRUE(PartFiles().empty());
}

TEST_F(Http, ChangedFileOnTheServerGetsANewPartFile) {
  const std::string before = Bytes(102400, 6);
  const std::string oldPart = PartFileName(dest_, 102400, Serve("g102400.bin", before));
  AbortAfterThreeChunks(http_ + "/g102400.bin", oldPart);

  const std::string after = Bytes(102400, 7);
  const std::string newPart = PartFileName(dest_, 102400, Serve("g102400.bin", after, 5));
  EXPECT_NE(newPart, oldPart);
  Recorder rec;
  rec.abortAfter = 2;
  std::string error;
  Download(http_ + "/g102400.bin", error, &rec);
  EXPECT_EQ(error, "Download Aborted");
  // The old part is gone before the new transfer wrote anything.
  EXPECT_EQ(PartFiles(), std::vector<std::string>{newPart});
  EXPECT_EQ(FileSizeOf(newPart), 20480);
  DownloadAbort = false;

  Recorder rest;
  Download(http_ + "/g102400.bin", error, &rest);
  EXPECT_EQ(error, "");
  ASSERT_EQ(rest.setups.size(), 1u);
  EXPECT_EQ(rest.setups[0].position, 2);
  EXPECT_TRUE(ReadFilePart(dest_, 0, 0) == after) << "not the new file";
  EXPECT_TRUE(PartFiles().empty());
}

TEST_F(Http, DateChangingBetweenTwoRequestsNeverContinuesTheOldPart) {
  const std::string data = Bytes(102400, 8);
  const uint32_t stamp = Serve("d102400.bin", data);
  // The fault server moves Last-Modified on by an hour at every request.
  AbortAfterThreeChunks(fault_ + "/changing=date/d102400.bin", PartFileName(dest_, 102400, stamp));
  Recorder rec;
  std::string error;
  Download(fault_ + "/changing=date/d102400.bin", error, &rec);
  EXPECT_EQ(error, "");
  ASSERT_EQ(rec.setups.size(), 1u);
  EXPECT_EQ(rec.setups[0].position, 0);
  EXPECT_TRUE(ReadFilePart(dest_, 0, 0) == data) << "not byte-identical";
  EXPECT_TRUE(PartFiles().empty());
}

TEST_F(Http, AnswerWithoutLengthIsFileNotFound) {
  Serve("chunked.bin", Bytes(5000, 9));
  WriteFileText(dest_, "old", 0);
  const std::string url = fault_ + "/chunked/chunked.bin";
  Recorder rec;
  Window window;
  std::string error;
  EXPECT_EQ(Download(url, error, &rec, &window), "");
  EXPECT_EQ(error, url + "\\\\n\\\\nFile Not Found !");
  EXPECT_EQ(ReadFilePart(dest_, 0, 0), "old");
  EXPECT_TRUE(rec.setups.empty());
  EXPECT_EQ(window.shown, 0);
  EXPECT_EQ(RemoteFileSize(url), -1);
}

TEST_F(Http, ErrorPageWithALengthIsDeliveredAsContent) {
  const std::string url = http_ + "/no-such-file.exe";
  std::string error;
  const std::string page = Download(url, error, nullptr, nullptr, "");
  EXPECT_EQ(error, "");
  EXPECT_NE(page.find("<title>404 Not Found</title>"), std::string::npos) << page;
  EXPECT_EQ(ErrorPageText(page, url, ""), "<b>404 File Not Found...</b><P><P>URL:  " + url);
  // Saved as a file, it is recognised there too.
  Download(url, error, nullptr);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFilePart(dest_, 0, 0), page);
  EXPECT_EQ(FileErrorPageText(dest_, url, "Bad Secret Token!"), ErrorPageMessage(url));
  EXPECT_EQ(RemoteFileSize(url), int32_t(page.size()));
}

LRESULT CALLBACK CloseSetsAbort(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {
    DownloadAbort = true;  // as the wizard window does on a first close request
    return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

TEST_F(Http, CloseRequestStopsASlowTransferBetweenChunks) {
  const std::string data = Bytes(102400, 10);
  const uint32_t stamp = Serve("s102400.bin", data);
  WNDCLASSA wc{};
  wc.lpfnWndProc = CloseSetsAbort;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KovrexHttpTestWindow";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  // The request arrives while the download pumps messages.
  SetTimer(w, 1, 700, [](HWND hw, UINT, UINT_PTR id, DWORD) {
    KillTimer(hw, id);
    PostMessageA(hw, WM_CLOSE, 0, 0);
  });
  Recorder rec;
  std::string error;
  const DWORD start = GetTickCount();
  Download(fault_ + "/slow=20/s102400.bin", error, &rec);
  const DWORD took = GetTickCount() - start;
  DestroyWindow(w);
  EXPECT_EQ(error, "Download Aborted");
  EXPECT_FALSE(FileExists(dest_));
  const std::string part = PartFileName(dest_, 102400, stamp);
  ASSERT_EQ(PartFiles(), std::vector<std::string>{part});
  EXPECT_GT(FileSizeOf(part), 0);
  EXPECT_LT(FileSizeOf(part), 102400);
  EXPECT_EQ(FileSizeOf(part), rec.steps * 10240);
  EXPECT_LT(took, 20000u) << "the transfer was not stopped";
}

TEST_F(Http, RemoteFileSizeAndOnline) {
  Serve("z25000.bin", Bytes(25000, 11));
  EXPECT_TRUE(IsOnline());
  EXPECT_EQ(RemoteFileSize(http_ + "/z25000.bin"), 25000);
  const auto log = Lines(Env("KOVREX_NGINX_LOG"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "GET /z25000.bin 200 25000 \"-\" \"HTTP_Connect_2\"");
  // Bound again after an unload.
  UnloadWinINet();
  EXPECT_EQ(RemoteFileSize(http_ + "/z25000.bin"), 25000);
}

TEST_F(Http, UnreachableServer) {
  const std::string url = "http://127.0.0.1:" + Env("KOVREX_CLOSED_PORT") + "/x.exe";
  std::string error;
  Download(url, error, nullptr);
  EXPECT_EQ(error, "Unable to open URL: " + url);
  EXPECT_EQ(RemoteFileSize(url), -1);
}

TEST_F(Http, HttpsWithTheTestAuthority) {
  if (Env("KOVREX_HTTPS").empty()) GTEST_SKIP() << "no TLS server in this run";
  const std::string data = Bytes(25000, 12);
  Serve("t25000.bin", data);
  std::string error;
  EXPECT_TRUE(Download(Env("KOVREX_HTTPS") + "/t25000.bin", error, nullptr, nullptr, "") == data);
  EXPECT_EQ(error, "");
  EXPECT_EQ(RemoteFileSize(Env("KOVREX_HTTPS") + "/t25000.bin"), 25000);

  const std::string untrusted = Env("KOVREX_BADHTTPS") + "/t25000.bin";
  Download(untrusted, error, nullptr);
  EXPECT_EQ(error, "Unable to open URL: " + untrusted);
  EXPECT_FALSE(FileExists(dest_));
  EXPECT_TRUE(PartFiles().empty());
}

TEST(WithoutWinINet, EveryEntryFailsQuietly) {
  if (!NoWinINet()) GTEST_SKIP() << "WinINet is present in this run";
  EXPECT_FALSE(IsOnline());
  EXPECT_EQ(RemoteFileSize(Env("KOVREX_HTTP") + "/x"), -1);
  std::string error, content = "left over";
  Recorder rec;
  HttpDownload(nullptr, Env("KOVREX_HTTP") + "/x", "", error, &rec, content);
  EXPECT_EQ(error, "Unable to initialize \"WinINet.dll\"");
  EXPECT_EQ(content, "");
  EXPECT_TRUE(rec.setups.empty());
}

}  // namespace
