// The HTTP download client over WinINet, bound at run time.
#pragma once

// Set to stop a download between two chunks: the wizard window sets it on a
// close request and when its message loop ends; callers clear it before each
// download.
extern bool DownloadAbort;

// Frees WinINet once the message loop has ended; no download runs after it.
void UnloadWinINet();
