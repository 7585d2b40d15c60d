#include "update/HttpClientWin.h"

bool DownloadAbort = false;

// Placeholder until the download client binds WinINet: nothing to free yet.
void UnloadWinINet() {}
