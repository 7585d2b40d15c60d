#include "support/RegistryWin.h"

#include "support/HandleWin.h"
#include "support/UtilsWin.h"

namespace {

// The predefined handles are the 32-bit codes sign-extended to pointer size.
HKEY RootHandle(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root))); }

const DWORD kReadBufferBytes = 2048;
const DWORD kIniValueChars = 10240;
// Read + set value + create sub-key.
const REGSAM kWriteAccess = 0x2001F;

}  // namespace

bool RegWriteString(const char* path, const char* name, const std::string& value) {
  const RegistryPath p = SplitRegistryPath(path);
  ScopedRegKey key;
  char noClass[] = "";
  if (RegCreateKeyExA(RootHandle(p.root), p.subKey.c_str(), 0, noClass, 0, kWriteAccess, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

std::string RegReadString(const char* path, const char* name, const char* def) {
  const RegistryPath p = SplitRegistryPath(path);
  ScopedRegKey key;
  if (RegOpenKeyExA(RootHandle(p.root), p.subKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return def;
  unsigned char buf[kReadBufferBytes];
  DWORD type = 0, size = sizeof buf;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, buf, &size) != ERROR_SUCCESS) return def;
  return RegistryValueText(type, buf, size);
}
std::string RegReadString(const char* path, const char* name) { return RegReadString(path, name, ""); }

bool IniWriteString(const std::string& file, const char* section, const char* key, const std::string& value) {
  return WritePrivateProfileStringA(section, key, value.c_str(), file.c_str()) != 0;
}

bool IniWriteInt(const std::string& file, const char* section, const char* key, int64_t value) {
  return IniWriteString(file, section, key, IntToText(value));
}

std::string IniReadString(const std::string& file, const char* section, const char* key, const char* def) {
  std::string buf(kIniValueChars + 1, '\0');
  DWORD n = GetPrivateProfileStringA(section, key, def, &buf[0], DWORD(buf.size()),
                                     file.c_str());
  buf.resize(n < buf.size() ? n : kIniValueChars);
  return buf;
}

int64_t IniReadInt(const std::string& file, const char* section, const char* key, int64_t def) {
  int64_t value;
  return TextToInt64(IniReadString(file, section, key, IntToText(def).c_str()), value) ? value : def;
}

std::string UserName() {
  char buf[256];
  DWORD n = sizeof buf;
  if (!GetUserNameA(buf, &n)) return std::string();
  buf[sizeof buf - 1] = '\0';
  return buf;
}

std::string WindowsVersionKey() { return WindowsVersionKeyFor(IsWinNT()); }

std::string GetRegisteredOwner() { return RegReadString(WindowsVersionKey().c_str(), "RegisteredOwner", UserName().c_str()); }

std::string GetRegisteredOrganization() { return RegReadString(WindowsVersionKey().c_str(), "RegisteredOrganization"); }

std::string WindowText(HWND window) {
  if (!window) return std::string();
  char buf[1001];
  int n = GetWindowTextA(window, buf, sizeof buf);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}
