#include "support/Registry.h"

#include "support/Utils.h"

namespace {

const struct {
  const char* name;
  uint32_t root;
} kRoots[] = {
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot}, {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine}, {"HKEY_USERS", kHkeyUsers},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig}, {"HKEY_DYN_DATA", kHkeyDynData},
};

}  // namespace

uint32_t RootKeyByName(const std::string& name) {
  for (const auto& r : kRoots)
    if (TextEquals(name, r.name)) return r.root;
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
