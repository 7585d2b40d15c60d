// The web setup: fetches the real package (or takes a copy beside the stub),
// checks its secret token and runs it through the setup run.
#pragma once

#include <string>

#include "flows/View.h"

void WebSetupDownload(View& view, const std::string& folder, const std::string& location,
                      const std::string& fileName);
