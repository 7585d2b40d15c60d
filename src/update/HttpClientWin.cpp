#include "update/HttpClientWin.h"

#include <cstring>

#include "environment/FilesWin.h"
#include "support/HandleWin.h"
#include "support/UtilsWin.h"

bool DownloadAbort = false;

namespace {

// --- WinINet, bound on first use -------------------------------------------------
// Each entry is looked up when first called; a missing library or function
// is tried again at the next call, a found address is kept.

HMODULE gWinINet = nullptr;

enum Entry { kGetConnectedState, kCloseHandle, kOpen, kOpenUrl, kQueryInfo, kReadFile, kSetFilePointer, kEntries };
// In the order of Entry, as one text: no pointer (and relocation) per name.
const char kEntryNames[] =
    "InternetGetConnectedState\0InternetCloseHandle\0InternetOpenA\0InternetOpenUrlA\0HttpQueryInfoA\0"
    "InternetReadFile\0InternetSetFilePointer";
void* gEntry[kEntries] = {};

template <typename Fn>
Fn Bound(Entry e) {
  if (!gEntry[e]) {
    if (!gWinINet) gWinINet = LoadSystemLibrary("WinINet.dll");
    if (gWinINet) gEntry[e] = reinterpret_cast<void*>(GetProcAddress(gWinINet, NthName(kEntryNames, e)));
  }
  return reinterpret_cast<Fn>(gEntry[e]);
}

}  // namespace

// One wrapper per bound function, with its own arguments and result; 0 when
// it cannot be bound.
namespace WinINet {

BOOL InternetGetConnectedState(DWORD* flags, DWORD reserved) {
  auto f = Bound<decltype(&::InternetGetConnectedState)>(kGetConnectedState);
  return f ? f(flags, reserved) : FALSE;
}
BOOL InternetCloseHandle(HINTERNET handle) {
  auto f = Bound<decltype(&::InternetCloseHandle)>(kCloseHandle);
  return f ? f(handle) : FALSE;
}
HINTERNET InternetOpenA(const char* agent, DWORD access, const char* proxy, const char* bypass, DWORD flags) {
  auto f = Bound<decltype(&::InternetOpenA)>(kOpen);
  return f ? f(agent, access, proxy, bypass, flags) : nullptr;
}
HINTERNET InternetOpenUrlA(HINTERNET internet, const char* url, const char* headers, DWORD headersLength, DWORD flags,
                           DWORD_PTR context) {
  auto f = Bound<decltype(&::InternetOpenUrlA)>(kOpenUrl);
  return f ? f(internet, url, headers, headersLength, flags, context) : nullptr;
}
BOOL HttpQueryInfoA(HINTERNET request, DWORD level, void* buffer, DWORD* length, DWORD* index) {
  auto f = Bound<decltype(&::HttpQueryInfoA)>(kQueryInfo);
  return f ? f(request, level, buffer, length, index) : FALSE;
}
BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD* read) {
  auto f = Bound<decltype(&::InternetReadFile)>(kReadFile);
  return f ? f(file, buffer, toRead, read) : FALSE;
}
DWORD InternetSetFilePointer(HINTERNET file, LONG distance, LONG* high, DWORD method, DWORD_PTR context) {
  auto f = Bound<decltype(&::InternetSetFilePointer)>(kSetFilePointer);
  return f ? f(file, distance, high, method, context) : 0;
}

}  // namespace WinINet

namespace {

BOOL CloseInternetHandle(HINTERNET h) { return WinINet::InternetCloseHandle(h); }
using ScopedInternet = UniqueHandle<HINTERNET, &CloseInternetHandle>;

const DWORD kAccessPreconfig = 0;  // the system's proxy settings

int StatusCode(HINTERNET request) {
  DWORD status = 0, size = sizeof status;
  return WinINet::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)
             ? int(status)
             : 0;
}

std::string ContentRange(HINTERNET request) {
  char text[128] = {};
  DWORD size = sizeof text - 1;
  if (!WinINet::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr)) return std::string();
  return std::string(text, strnlen(text, sizeof text));
}

HINTERNET OpenUrl(HINTERNET internet, const std::string& url, const std::string& headers, DWORD flags) {
  return WinINet::InternetOpenUrlA(internet, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                                   DWORD(headers.size()), flags, 0);
}

// The largest part file of any version of a download to destFile; empty
// when there is none.
std::string HeldPartFile(const std::string& destFile, int64_t& held) {
  const std::string name = FileNamePart(destFile);
  const std::string folder = destFile.substr(0, destFile.size() - name.size());
  std::string best;
  held = 0;
  WIN32_FIND_DATAA data;
  ScopedFindHandle find(FindFirstFileA((destFile + ".*").c_str(), &data));
  for (bool more = find.valid(); more; more = FindNextFileA(find.get(), &data) != 0) {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || data.nFileSizeHigh != 0) continue;
    if (!IsPartFileName(name, data.cFileName) || int64_t(data.nFileSizeLow) <= held) continue;
    held = int64_t(data.nFileSizeLow);
    best = folder + data.cFileName;
  }
  return best;
}

// One open transfer: the answer being read, the whole file's length and
// date, the file the bytes go to and how many it already holds.
struct Transfer {
  ScopedInternet request;
  int32_t length = -1;
  uint32_t stamp = 0;
  std::string partFile;
  int64_t held = 0;
};

// Asks for the bytes after a held part file. Keeps the answer when it
// continues that very file there (its length and date name the same part
// file), or when it is the whole file anyway; otherwise drops it, and the
// caller asks again without a range. False when the server cannot be reached.
bool OpenResume(HINTERNET internet, const std::string& url, const std::string& destFile, Transfer& t) {
  int64_t held = 0;
  const std::string part = HeldPartFile(destFile, held);
  if (part.empty()) return true;
  // Neither from nor into the cache: a cached copy knows nothing of ranges.
  t.request.reset(OpenUrl(internet, url, RangeHeader(held), INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE));
  if (!t.request) return false;
  const int status = StatusCode(t.request.get());
  if (status == 206) {
    const uint32_t stamp = LastModified(t.request.get());
    const int32_t length = ResumedLength(status, held, ContentLength(t.request.get()), ContentRange(t.request.get()));
    if (length > 0 && PartFileName(destFile, length, stamp) == part) {
      t.length = length;
      t.stamp = stamp;
      t.partFile = part;
      t.held = held;
      return true;
    }
  }
  // A server that ignores the range sends the whole file: read it from here.
  if (status != 200) t.request.reset();
  return true;
}

// Opens the transfer: a resume where a part file is held, else the whole
// file, whose part file starts empty and replaces those of other versions.
bool OpenTransfer(HINTERNET internet, const std::string& url, const std::string& destFile, Transfer& t) {
  t.partFile = destFile;
  if (!destFile.empty() && !OpenResume(internet, url, destFile, t)) return false;
  if (t.held > 0) return true;
  // A download into memory always comes from the server; a file may come
  // from the cache when the server reports it unchanged.
  if (!t.request)
    t.request.reset(OpenUrl(internet, url, std::string(),
                            destFile.empty() ? INTERNET_FLAG_RELOAD : INTERNET_FLAG_RESYNCHRONIZE));
  if (!t.request) return false;
  t.length = ContentLength(t.request.get());
  t.stamp = LastModified(t.request.get());
  if (t.length > 0 && !destFile.empty()) {
    t.partFile = PartFileName(destFile, t.length, t.stamp);
    if (FileExists(t.partFile))
      WriteFileText(t.partFile, std::string(), 0);  // its bytes cannot be trusted to fit this answer
    else
      DeleteFiles(destFile + ".*", false);
  }
  return true;
}

// Reads the answer chunk by chunk, one chunk per wait, until it ends, a
// write fails or DownloadAbort is set.
void ReadTransfer(Transfer& t, bool toFile, ProgressSink* progress, std::string& content) {
  const int32_t chunk = ChunkSize(t.length);
  if (progress) progress->Progress(0, 0, ProgressHigh(t.length, chunk), ProgressPosition(t.held, chunk), 1);
  static char buffer[kMaxChunk];
  DWORD read = 0;
  do {
    WaitPumping(100);
    std::memset(buffer, 0, sizeof buffer);
    read = 0;
    if (!WinINet::InternetReadFile(t.request.get(), buffer, DWORD(chunk), &read)) read = 0;
    if (read > 0) {
      if (!toFile) {
        content.append(buffer, read);
      } else if (!AppendFileText(t.partFile, std::string(buffer, read), 0)) {
        // What the part file holds stays a true beginning of the file, so a
        // later call may continue it; a chunk written after a lost one would not.
        break;
      }
      if (progress) progress->Progress(1, 0, 0, 0, 0);
    }
  } while (read > 0 && !DownloadAbort);
}

}  // namespace

void UnloadWinINet() {
  if (gWinINet) FreeLibrary(gWinINet);
  gWinINet = nullptr;
  std::memset(gEntry, 0, sizeof gEntry);
}

bool IsOnline() {
  DWORD flags = 0;
  return WinINet::InternetGetConnectedState(&flags, 0) != FALSE;
}

int32_t ContentLength(HINTERNET request) {
  DWORD length = DWORD(-1), size = sizeof length;
  if (!WinINet::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr))
    return -1;
  return int32_t(length);
}

uint32_t LastModified(HINTERNET request) {
  SYSTEMTIME t{};
  DWORD size = sizeof t;
  if (!WinINet::HttpQueryInfoA(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &t, &size, nullptr))
    return 0;
  return PackDosStamp(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

int32_t RemoteFileSize(const std::string& url) {
  ScopedInternet internet(WinINet::InternetOpenA("HTTP_Connect_2", kAccessPreconfig, nullptr, nullptr, 0));
  if (!internet) return -1;
  ScopedInternet request(OpenUrl(internet.get(), url, std::string(), 0));
  return request ? ContentLength(request.get()) : -1;
}

void HttpDownload(ProgressWindow* progressWindow, const std::string& url, const std::string& destFile,
                  std::string& error, ProgressSink* progress, std::string& content) {
  WaitPumping(100);
  error.clear();
  content.clear();
  ScopedInternet internet(WinINet::InternetOpenA("HTTP_Connect_3", kAccessPreconfig, nullptr, nullptr, 0));
  if (!internet) {
    error = InitializeError();
    return;
  }
  Transfer t;
  if (!OpenTransfer(internet.get(), url, destFile, t)) {
    error = OpenUrlError(url);
    return;
  }
  if (t.length <= 0) {
    error = NotFoundError(url);
    return;
  }
  if (progressWindow) progressWindow->Show();
  ReadTransfer(t, !destFile.empty(), progress, content);
  if (DownloadAbort) error = kDownloadAborted;
  // Only a part file of exactly the announced length becomes the file.
  if (!destFile.empty() && FileSizeOf(t.partFile) == t.length) {
    DeleteFileA(destFile.c_str());
    MoveFileA(t.partFile.c_str(), destFile.c_str());
  }
}
