#include "support/Registry.h"

#include <gtest/gtest.h>

namespace {

TEST(RegistryCore, RootKeyByNameInAnyCase) {
  struct Case { const char* name; uint32_t root; } cases[] = {
      {"HKEY_CLASSES_ROOT", 0x80000000u},   {"hkey_current_user", 0x80000001u},
      {"Hkey_Local_Machine", 0x80000002u},  {"HKEY_USERS", 0x80000003u},
      {"HKEY_CURRENT_CONFIG", 0x80000005u}, {"hkey_dyn_data", 0x80000006u},
      {"HKLM", 0x80000001u},                {"HKEY_LOCAL_MACHINEX", 0x80000001u},
      {"", 0x80000001u},
  };
  for (const auto& c : cases) EXPECT_EQ(RootKeyByName(c.name), c.root) << c.name;
}

TEST(RegistryCore, SplitRegistryPath) {
  struct Case { const char* path; uint32_t root; const char* subKey; } cases[] = {
      {"HKEY_CURRENT_USER\\Software\\Kovrex_Dyn_Data", kHkeyCurrentUser, "Software\\Kovrex_Dyn_Data"},
      {"hkey_local_machine\\SOFTWARE\\Microsoft", kHkeyLocalMachine, "SOFTWARE\\Microsoft"},
      {"  HKEY_USERS\\.DEFAULT\t", kHkeyUsers, ".DEFAULT"},
      {"Software\\Kovrex_Dyn_Data", kHkeyCurrentUser, "Software\\Kovrex_Dyn_Data"},
      // A bare root name is a sub-key of HKEY_CURRENT_USER.
      {"HKEY_LOCAL_MACHINE", kHkeyCurrentUser, "HKEY_LOCAL_MACHINE"},
      // An unknown HKEY_ name picks HKEY_CURRENT_USER but still loses its first component.
      {"HKEY_NOPE\\Software", kHkeyCurrentUser, "Software"},
      {"Soft\\HKEY_LOCAL_MACHINE\\x", kHkeyCurrentUser, "Soft\\HKEY_LOCAL_MACHINE\\x"},
      {"HKEY_LOCAL_MACHINE\\", kHkeyLocalMachine, ""},
  };
  for (const auto& c : cases) {
    const RegistryPath p = SplitRegistryPath(c.path);
    EXPECT_EQ(p.root, c.root) << c.path;
    EXPECT_EQ(p.subKey, c.subKey) << c.path;
  }
}

TEST(RegistryCore, ValueText) {
  const unsigned char five[] = {5, 0, 0, 0}, all[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(RegistryValueText(4, five, 4), "5");
  EXPECT_EQ(RegistryValueText(4, all, 4), "4294967295");
  // Only a 4-byte DWORD is a number; other data is text up to its NUL.
  const unsigned char text[] = {'a', 'b', 0, 'c'};
  EXPECT_EQ(RegistryValueText(1, text, 4), "ab");
  EXPECT_EQ(RegistryValueText(4, text, 3), "ab");
  EXPECT_EQ(RegistryValueText(1, text, 0), "");
  // Data without a NUL ends at its size, not somewhere past the buffer.
  const unsigned char unterminated[] = {'x', 'y', 'z'};
  EXPECT_EQ(RegistryValueText(1, unterminated, 2), "xy");
}

TEST(RegistryCore, WindowsVersionKey) {
  EXPECT_EQ(WindowsVersionKeyFor(true), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  EXPECT_EQ(WindowsVersionKeyFor(false), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
}

}  // namespace
