#include "flows/WebSetupWin.h"

// Placeholder until the web download of the setup package is built.
void WebSetupDownload(View&, const std::string&, const std::string&, const std::string&) {}
