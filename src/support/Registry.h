// The portable rules of the registry helpers: root key names, splitting a
// registry path, and turning queried value data into text.
#pragma once

#include <cstdint>
#include <string>

// The predefined root keys by their 32-bit codes (sign-extended to a handle
// on 64-bit Windows).
enum : uint32_t {
  kHkeyClassesRoot = 0x80000000u,
  kHkeyCurrentUser = 0x80000001u,
  kHkeyLocalMachine = 0x80000002u,
  kHkeyUsers = 0x80000003u,
  kHkeyCurrentConfig = 0x80000005u,
  kHkeyDynData = 0x80000006u,
};

// The key of Windows' version values (under "Windows" on the NT family too).
extern const char kCurrentVersionKey[];

// "HKEY_LOCAL_MACHINE" and the rest, in any case; anything else is
// HKEY_CURRENT_USER.
uint32_t RootKeyByName(const std::string& name);

struct RegistryPath {
  uint32_t root;
  std::string subKey;
};
// "ROOT\sub\key" gives the root and "sub\key". Without a leading "HKEY_"
// name followed by a backslash, the whole (trimmed) text is a sub-key of
// HKEY_CURRENT_USER, a bare root name included.
RegistryPath SplitRegistryPath(const std::string& path);

// Value data as text: a 4-byte REG_DWORD (type 4) as its unsigned decimal,
// anything else as text up to its first NUL, never beyond the data size.
std::string RegistryValueText(uint32_t type, const unsigned char* data, uint32_t size);

// The key holding the registered owner and organisation: under
// "Windows NT" on the NT family, under "Windows" otherwise.
std::string WindowsVersionKeyFor(bool isWinNT);
