// Registry values addressed by one path text ("HKEY_CURRENT_USER\Software\..."),
// profile (INI) files, and a few facts about the system. Failures give the
// default, an empty text or false.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/Registry.h"

// Writes a REG_SZ value (its NUL included), creating missing keys.
bool RegWriteString(const char* path, const char* name, const std::string& value);
inline bool RegWriteString(const std::string& path, const char* name, const std::string& value) {
  return RegWriteString(path.c_str(), name, value);
}
// A REG_DWORD reads as unsigned decimal text; a missing value, a key that
// cannot be opened or more than 2048 bytes of data give def.
std::string RegReadString(const char* path, const char* name, const char* def);
inline std::string RegReadString(const std::string& path, const char* name, const char* def) {
  return RegReadString(path.c_str(), name, def);
}
// The same with "" for def.
std::string RegReadString(const char* path, const char* name);

bool IniWriteString(const std::string& file, const char* section, const char* key, const std::string& value);
bool IniWriteInt(const std::string& file, const char* section, const char* key, int64_t value);
// At most 10240 characters of the value.
std::string IniReadString(const std::string& file, const char* section, const char* key, const char* def);
// def unless the value is a whole signed 64-bit decimal number.
int64_t IniReadInt(const std::string& file, const char* section, const char* key, int64_t def);

// Empty when it cannot be learnt.
std::string UserName();
std::string WindowsVersionKey();
// The user name when no owner is registered.
std::string GetRegisteredOwner();
std::string GetRegisteredOrganization();
// At most 1000 characters; empty for the null window.
std::string WindowText(HWND window);
