// The HTTP download client over WinINet, bound at run time from the system
// folder, so the program starts on a machine without it and reports the
// failure only when a download is attempted.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "support/Progress.h"
#include "update/HttpClient.h"

// Set to stop a download between two chunks: the wizard window sets it on a
// close request and when its message loop ends; callers clear it before each
// download.
extern bool DownloadAbort;

// Frees WinINet once the message loop has ended; no download runs after it.
void UnloadWinINet();

// False when WinINet is missing or reports no connection.
bool IsOnline();
// The Content-Length of an answer; -1 when it has none.
int32_t ContentLength(HINTERNET request);
// The answer's Last-Modified as a DOS date and time; 0 when it has none.
uint32_t LastModified(HINTERNET request);
// The length the server announces for url; -1 when it cannot be asked.
int32_t RemoteFileSize(const std::string& url);

// Fetches url into destFile (through a part file that a later call
// continues) or, with an empty destFile, into content. error is empty on
// success (also when the transfer merely ended early) and otherwise holds
// the text to show. progressWindow and progress may be null.
void HttpDownload(ProgressWindow* progressWindow, const std::string& url, const std::string& destFile,
                  std::string& error, ProgressSink* progress, std::string& content);
