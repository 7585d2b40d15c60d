#include "support/UtilsRegistry.h"

// Placeholder until the registry helpers are built.
bool RegWriteString(const std::string&, const std::string&, const std::string&) { return false; }
