#include "update/HttpClient.h"

#include <gtest/gtest.h>

#include "update/UpdateFetch.h"

namespace {

TEST(HttpClient, PartFileName) {
  EXPECT_EQ(PartFileName("C:\\T\\Setup.exe", 25000, 0), "C:\\T\\Setup.exe.25000");
  EXPECT_EQ(PartFileName("x", 100, 0x51B14000u), "x.1370570852");
  // The sum wraps as a signed 32-bit number.
  EXPECT_EQ(PartFileName("x", 0x7FFFFFFF, 1), "x.-2147483648");
  EXPECT_EQ(PartFileName("x", 102400, 0xF0000000u), "x.-268333056");
  EXPECT_NE(PartFileName("x", 102400, 0x51B14000u), PartFileName("x", 102401, 0x51B14000u));
}

TEST(HttpClient, IsPartFileName) {
  struct Case { const char* file; bool part; } cases[] = {
      {"Setup.exe.25000", true}, {"SETUP.EXE.-268333056", true}, {"Setup.exe.0", true},
      {"Setup.exe", false},      {"Setup.exe.", false},           {"Setup.exe.bak", false},
      {"Setup.exe.+5", false},   {"Setup.exe.007", false},        {"Setup.exe.99999999999", false},
      {"Setup.exe.1.2", false},  {"Other.exe.25000", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPartFileName("Setup.exe", c.file), c.part) << c.file;
}

TEST(HttpClient, ChunkAndProgress) {
  struct Case { int32_t length; int32_t chunk; int high; } cases[] = {
      {25000, 2500, 11}, {102400, 10240, 11}, {1000000, 10240, 99}, {102399, 10239, 11},
      {10, 1, 11},       {9, 9, 2},           {1, 1, 2},             {0, 0, 0},
      {-1, 0, 0},        {25, 2, 13},  // 12.5 rounds to the even 12
      {22, 2, 12},                     // 11
      {35, 3, 13},                     // 11.67 rounds up
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChunkSize(c.length), c.chunk) << c.length;
    EXPECT_EQ(ProgressHigh(c.length, ChunkSize(c.length)), c.high) << c.length;
  }
  EXPECT_EQ(ProgressPosition(30720, 10240), 3);
  EXPECT_EQ(ProgressPosition(15360, 10240), 2);  // 1.5: the even neighbour
  EXPECT_EQ(ProgressPosition(5120, 10240), 0);   // 0.5: the even neighbour
  EXPECT_EQ(ProgressPosition(25600, 10240), 2);  // 2.5
  EXPECT_EQ(ProgressPosition(100, 0), 0);
}

TEST(HttpClient, PackDosStamp) {
  EXPECT_EQ(PackDosStamp(2020, 5, 17, 10, 20, 30),
            uint32_t((((2020 - 1980) << 9 | 5 << 5 | 17) << 16) | (10 << 11 | 20 << 5 | 15)));
  EXPECT_EQ(PackDosStamp(1980, 1, 1, 0, 0, 0), uint32_t(0x00210000));
  EXPECT_NE(PackDosStamp(2020, 2, 29, 0, 0, 0), 0u);
  EXPECT_NE(PackDosStamp(2107, 12, 31, 23, 59, 59), 0u);
  // What does not convert gives 0: the zeroed time of a failed query, dates
  // outside the DOS range, days a month does not have.
  EXPECT_EQ(PackDosStamp(0, 0, 0, 0, 0, 0), 0u);
  EXPECT_EQ(PackDosStamp(1979, 12, 31, 23, 59, 59), 0u);
  EXPECT_EQ(PackDosStamp(2108, 1, 1, 0, 0, 0), 0u);
  EXPECT_EQ(PackDosStamp(2021, 2, 29, 0, 0, 0), 0u);
  EXPECT_EQ(PackDosStamp(2100, 2, 29, 0, 0, 0), 0u);
  EXPECT_EQ(PackDosStamp(2020, 4, 31, 0, 0, 0), 0u);
  EXPECT_EQ(PackDosStamp(2020, 13, 1, 0, 0, 0), 0u);
  EXPECT_EQ(PackDosStamp(2020, 1, 1, 24, 0, 0), 0u);
}

TEST(HttpClient, ResumedLength) {
  EXPECT_EQ(RangeHeader(30720), "Range: bytes=30720-\r\n");
  struct Case { int status; int64_t held; int32_t length; const char* range; int32_t total; } cases[] = {
      {206, 30720, 71680, "bytes 30720-102399/102400", 102400},
      {206, 30720, 71680, "BYTES 30720-102399/102400 ", 102400},
      {200, 30720, 102400, "", -1},                           // the whole file: not a continuation
      {206, 0, 102400, "bytes 0-102399/102400", -1},          // nothing held
      {206, 30720, 71680, "bytes 30000-102399/102400", -1},   // starts elsewhere
      {206, 30720, 61440, "bytes 30720-92159/102400", -1},    // stops short of the end
      {206, 30720, 71000, "bytes 30720-102399/102400", -1},   // length disagrees
      {206, 30720, -1, "bytes 30720-102399/102400", -1},      // no length
      {206, 30720, 71680, "bytes */102400", -1},
      {206, 30720, 71680, "", -1},
      {206, 30720, 71680, "bytes 30720-102399/*", -1},
      {206, 30720, 71680, "bytes 30720-102399", -1},
      {206, 30720, 71680, "items 30720-102399/102400", -1},
      {206, 30720, 71680, "bytes 30720--102399/102400", -1},
      {206, 30720, 2147452928, "bytes 30720-2147483647/2147483648", -1},  // longer than 32 bits can say
      {416, 30720, 0, "bytes */30720", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ResumedLength(c.status, c.held, c.length, c.range), c.total) << c.range;
}

TEST(HttpClient, ErrorTexts) {
  EXPECT_EQ(InitializeError(), "Unable to initialize \"WinINet.dll\"");
  EXPECT_EQ(OpenUrlError("http://h/x"), "Unable to open URL: http://h/x");
  EXPECT_EQ(NotFoundError("http://h/x"), "http://h/x\\\\n\\\\nFile Not Found !");
  EXPECT_STREQ(kDownloadAborted, "Download Aborted");
}

TEST(UpdateFetch, Sources) {
  EXPECT_EQ(FolderSource("\\\\srv\\share", "app.info"), "\\\\srv\\share\\app.info");
  EXPECT_EQ(WebSource("http://h/dir", "app.info"), "http://h/dir/app.info");
  EXPECT_EQ(WebSource("http://h/dir/", "a"), "http://h/dir//a");  // joined as given
  EXPECT_EQ(FolderSource("", "a"), "\\a");                        // empty test-mode folder: from the root
}

TEST(UpdateFetch, ErrorPageText) {
  const std::string page = "<html><head><title>404 Not Found</title></head><body>x</body></html>";
  EXPECT_EQ(ErrorPageText(page, "http://h/a", "dflt"), "<b>404 File Not Found...</b><P><P>URL:  http://h/a");
  EXPECT_EQ(ErrorPageText("<TITLE>x</Title>", "u", ""), ErrorPageMessage("u"));
  EXPECT_EQ(ErrorPageText("<title>no end", "u", "dflt"), "dflt");
  EXPECT_EQ(ErrorPageText("", "u", "Bad Secret Token!"), "Bad Secret Token!");
  // Binary bytes before the title do not hide it.
  EXPECT_EQ(ErrorPageText(std::string("MZ\0\0<title>t</title>", 20), "u", ""), ErrorPageMessage("u"));
}

TEST(UpdateFetch, TransferWarningText) {
  EXPECT_EQ(TransferWarningText(true, "http://h/u.exe", "A", "N", "U"), "A");
  EXPECT_EQ(TransferWarningText(false, "C:\\up\\u.exe", "A", "N", "U"), "C:\\up\\u.exe\\\\n\\\\nN");
  EXPECT_EQ(TransferWarningText(false, "http://h/u.exe", "A", "N", "U"), "http://h/u.exe\\\\n\\\\nU");
  EXPECT_EQ(TransferWarningText(false, "\\\\srv\\u.exe", "A", "N", "U"), "\\\\srv\\u.exe\\\\n\\\\nU");
}

}  // namespace
