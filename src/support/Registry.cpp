#include "support/Registry.h"

#include "support/Utils.h"

namespace {

// The root keys' names as one text ("A\0B\0...", ending in an empty name)
// and, in the same order, the low byte of each root's handle: no pointer (and
// relocation) per name.
const char kRootNames[] =
    "HKEY_CLASSES_ROOT\0HKEY_CURRENT_USER\0HKEY_LOCAL_MACHINE\0HKEY_USERS\0HKEY_CURRENT_CONFIG\0HKEY_DYN_DATA\0";
const uint8_t kRootLowBytes[] = {kHkeyClassesRoot & 0xFF,   kHkeyCurrentUser & 0xFF, kHkeyLocalMachine & 0xFF,
                                 kHkeyUsers & 0xFF,         kHkeyCurrentConfig & 0xFF, kHkeyDynData & 0xFF};

}  // namespace

uint32_t RootKeyByName(const std::string& name) {
  const uint8_t* low = kRootLowBytes;
  for (const char* root = kRootNames; *root; root = NextName(root), ++low)
    if (TextEquals(name, root)) return kHkeyClassesRoot | *low;
  return kHkeyCurrentUser;
}

RegistryPath SplitRegistryPath(const std::string& path) {
  const std::string p = Trim(path);
  const size_t slash = p.find('\\');
  if (TextEquals(p.substr(0, 5), "HKEY_") && slash != std::string::npos)
    return {RootKeyByName(p.substr(0, slash)), p.substr(slash + 1)};
  return {kHkeyCurrentUser, p};
}

std::string RegistryValueText(uint32_t type, const unsigned char* data, uint32_t size) {
  const uint32_t kRegDword = 4;
  if (type == kRegDword && size == 4) {
    return IntToText(int64_t(LoadLE32(data)));
  }
  uint32_t n = 0;
  while (n < size && data[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(data), n);
}

const char kCurrentVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string WindowsVersionKeyFor(bool isWinNT) {
  const std::string key = kCurrentVersionKey;
  return isWinNT ? ReplaceAll(key, "Windows", "Windows NT", false) : key;
}
