// Registry values addressed by one path text ("HKEY_CURRENT_USER\Software\...").
#pragma once

#include <string>

// Writes a REG_SZ value, creating the key when missing; false when it fails.
bool RegWriteString(const std::string& path, const std::string& name, const std::string& value);
