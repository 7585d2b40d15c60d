// The rules of the HTTP download client that need no network: part-file
// names, the chunk and progress arithmetic, the stamp of the server's date,
// the judgement of an answer to a resume request, and the error texts.
#pragma once

#include <cstdint>
#include <string>

// The window a download appears in; shown once the server has announced a
// length, never hidden by the client.
class ProgressWindow {
 public:
  virtual void Show() = 0;

 protected:
  ~ProgressWindow() = default;
};

// Largest piece read per wait: with one piece per 100 ms the rate stays near
// 100 KB per second.
constexpr int32_t kMaxChunk = 10240;

// The file a download to destFile grows in: destFile, ".", and the signed
// decimal 32-bit sum (wrapping) of the length and the date stamp, so a file
// that changed on the server never continues an old part.
std::string PartFileName(const std::string& destFile, int32_t length, uint32_t stamp);
// True when fileName (no folder) is destName followed by "." and a signed
// decimal number: a part file of some version of that download.
bool IsPartFileName(const std::string& destName, const std::string& fileName);

// A tenth of the length, at most kMaxChunk. A length from 1 to 9 is read in
// one piece of its own size (a tenth would be 0); 0 for no length.
int32_t ChunkSize(int32_t length);
// The progress range's top and the position of bytes already held, in
// chunks rounded to the nearest (a half to the even neighbour); 0 without a
// chunk.
int ProgressHigh(int32_t length, int32_t chunk);
int ProgressPosition(int64_t held, int32_t chunk);

// A date and time packed the DOS way (date in the high 16 bits, seconds
// halved); 0 when it is not a valid time from 1980 to 2107.
uint32_t PackDosStamp(int year, int month, int day, int hour, int minute, int second);

// The request header that asks for the bytes from held on.
std::string RangeHeader(int64_t held);
// Reads "bytes FIRST-LAST/TOTAL"; false for any other form ("*" included).
bool ParseContentRange(const std::string& text, int64_t& first, int64_t& last, int64_t& total);
// The whole file's length when an answer continues exactly after the held
// bytes: status 206, a content range from held to the last byte of a file of
// a length that fits 32 bits, and a content length of what is left. -1 for
// every other answer, which must not be appended to the held bytes.
int32_t ResumedLength(int status, int64_t held, int32_t contentLength, const std::string& contentRange);

// The error texts callers show ("\\n" is the message box's line break).
std::string InitializeError();
std::string OpenUrlError(const std::string& url);
std::string NotFoundError(const std::string& url);
extern const char kDownloadAborted[];
