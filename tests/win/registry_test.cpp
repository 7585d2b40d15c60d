// Registry values, INI files and system facts under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/RegistryWin.h"
#include "support/UtilsWin.h"

namespace {

const std::string kTestKey = "Software\\KovrexRegistryTest" + IntToText(GetCurrentProcessId());

// Reads a value with the raw API, so the helpers are checked against where
// the data really went.
bool RawQuery(HKEY root, const std::string& subKey, const std::string& name, DWORD& type, std::string& data) {
  HKEY key;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
  data.assign(size, '\0');
  if (rc == ERROR_SUCCESS && size)
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

void RawSet(const std::string& name, DWORD type, const void* data, DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

class Registry : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, "HKEY_LOCAL_MACHINE");
  }
};

TEST_F(Registry, WritesGoWhereThePathSays) {
  DWORD type;
  std::string data;
  // Root names in any case; keys created with their missing parents.
  ASSERT_TRUE(RegWriteString("hKeY_cUrReNt_UsEr\\" + kTestKey + "\\a\\b", "V", "one"));
  ASSERT_TRUE(RawQuery(HKEY_CURRENT_USER, kTestKey + "\\a\\b", "V", type, data));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(data, std::string("one\0", 4));  // the NUL is stored
  // Without a root: under HKEY_CURRENT_USER.
  ASSERT_TRUE(RegWriteString(kTestKey, "NoRoot", "two"));
  ASSERT_TRUE(RawQuery(HKEY_CURRENT_USER, kTestKey, "NoRoot", type, data));
  EXPECT_EQ(data, std::string("two\0", 4));
  // A bare root name is a sub-key of HKEY_CURRENT_USER.
  ASSERT_TRUE(RegWriteString("HKEY_LOCAL_MACHINE", "KovrexBare", "three"));
  EXPECT_TRUE(RawQuery(HKEY_CURRENT_USER, "HKEY_LOCAL_MACHINE", "KovrexBare", type, data));
  EXPECT_FALSE(RawQuery(HKEY_LOCAL_MACHINE, "", "KovrexBare", type, data));
  // An empty text is one NUL byte.
  ASSERT_TRUE(RegWriteString(kTestKey, "Empty", ""));
  ASSERT_TRUE(RawQuery(HKEY_CURRENT_USER, kTestKey, "Empty", type, data));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(data, std::string(1, '\0'));
  EXPECT_EQ(RegReadString(kTestKey, "Empty", "def"), "");
}

TEST_F(Registry, ReadsTextsNumbersAndDefaults) {
  ASSERT_TRUE(RegWriteString("HKEY_CURRENT_USER\\" + kTestKey, "Text", "hello"));
  EXPECT_EQ(RegReadString(kTestKey, "Text", "def"), "hello");
  EXPECT_EQ(RegReadString("HKEY_CURRENT_USER\\" + kTestKey, "text", "def"), "hello");
  EXPECT_EQ(RegReadString(kTestKey, "Missing", "def"), "def");
  EXPECT_EQ(RegReadString(kTestKey + "\\NoSuchKey", "Text", "def"), "def");

  const DWORD five = 5, all = 0xFFFFFFFF;
  RawSet("Five", REG_DWORD, &five, 4);
  RawSet("All", REG_DWORD, &all, 4);
  EXPECT_EQ(RegReadString(kTestKey, "Five", ""), "5");
  EXPECT_EQ(RegReadString(kTestKey, "All", ""), "4294967295");

  // 2048 bytes fit (2047 characters and the NUL); one more reads as the default.
  const std::string fits(2047, 'f'), tooLong(2048, 'l');
  ASSERT_TRUE(RegWriteString(kTestKey, "Fits", fits));
  ASSERT_TRUE(RegWriteString(kTestKey, "TooLong", tooLong));
  EXPECT_EQ(RegReadString(kTestKey, "Fits", "def"), fits);
  EXPECT_EQ(RegReadString(kTestKey, "TooLong", "def"), "def");
  // Data without a NUL, filling the whole buffer, ends at its size.
  const std::string full(2048, 'n');
  RawSet("NoNul", REG_BINARY, full.data(), DWORD(full.size()));
  EXPECT_EQ(RegReadString(kTestKey, "NoNul", "def"), full);
}

TEST_F(Registry, RootNamesInAnyCaseReadTheRealRoot) {
  const std::string nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  DWORD type;
  std::string raw;
  ASSERT_TRUE(RawQuery(HKEY_LOCAL_MACHINE, nt, "CurrentVersion", type, raw));
  EXPECT_EQ(RegReadString("hkey_local_machine\\" + nt, "CurrentVersion", "none"), raw.c_str());
  EXPECT_EQ(RegReadString("HKEY_LOCAL_MACHINE", "CurrentVersion", "none"), "none");  // bare root: under HKCU
}

TEST_F(Registry, SystemFacts) {
  char env[256] = "";
  GetEnvironmentVariableA("USERNAME", env, sizeof env);
  EXPECT_FALSE(UserName().empty());
  EXPECT_TRUE(TextEquals(UserName(), env)) << UserName() << " / " << env;

  EXPECT_EQ(WindowsVersionKey(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  DWORD type;
  std::string owner, org;
  const std::string nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  if (RawQuery(HKEY_LOCAL_MACHINE, nt, "RegisteredOwner", type, owner))
    EXPECT_EQ(GetRegisteredOwner(), owner.c_str());
  else
    EXPECT_EQ(GetRegisteredOwner(), UserName());  // nobody registered: the user
  if (RawQuery(HKEY_LOCAL_MACHINE, nt, "RegisteredOrganization", type, org))
    EXPECT_EQ(GetRegisteredOrganization(), org.c_str());
  else
    EXPECT_EQ(GetRegisteredOrganization(), "");

  EXPECT_EQ(WindowText(nullptr), "");
  HWND w = CreateWindowA("STATIC", "Kovrex title", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(WindowText(w), "Kovrex title");
  const std::string longTitle(1500, 't');
  SetWindowTextA(w, longTitle.c_str());
  EXPECT_EQ(WindowText(w), longTitle.substr(0, 1000));
  DestroyWindow(w);
}

class Ini : public ::testing::Test {
 protected:
  void SetUp() override { file_ = TempDir(true) + "kovrex ini test " + IntToText(GetCurrentProcessId()) + ".ini"; }
  void TearDown() override { DeleteFileA(file_.c_str()); }
  std::string file_;
};

TEST_F(Ini, StringsRoundTripAndDefaults) {
  EXPECT_EQ(IniReadString(file_, "S", "K", "def"), "def");  // no file yet
  ASSERT_TRUE(IniWriteString(file_, "S", "K", "value one"));
  EXPECT_EQ(IniReadString(file_, "S", "K", "def"), "value one");
  EXPECT_EQ(IniReadString(file_, "s", "k", "def"), "value one");
  EXPECT_EQ(IniReadString(file_, "S", "Other", "def"), "def");
  EXPECT_EQ(IniReadString(file_, "T", "K", ""), "");
  EXPECT_FALSE(IniWriteString(TempDir(true) + "no such folder\\x.ini", "S", "K", "v"));

  // Values are cut at 10240 characters.
  const std::string big(12000, 'b');
  ASSERT_TRUE(IniWriteString(file_, "S", "Big", big));
  EXPECT_EQ(IniReadString(file_, "S", "Big", ""), big.substr(0, 10240));
  const std::string exact(10240, 'e');
  ASSERT_TRUE(IniWriteString(file_, "S", "Exact", exact));
  EXPECT_EQ(IniReadString(file_, "S", "Exact", ""), exact);
}

TEST_F(Ini, Numbers) {
  ASSERT_TRUE(IniWriteInt(file_, "N", "Neg", -7));
  EXPECT_EQ(IniReadString(file_, "N", "Neg", ""), "-7");
  EXPECT_EQ(IniReadInt(file_, "N", "Neg", 0), -7);
  ASSERT_TRUE(IniWriteInt(file_, "N", "Max", INT64_MAX));
  ASSERT_TRUE(IniWriteInt(file_, "N", "Min", INT64_MIN));
  EXPECT_EQ(IniReadInt(file_, "N", "Max", 0), INT64_MAX);
  EXPECT_EQ(IniReadInt(file_, "N", "Min", 0), INT64_MIN);
  struct Case { const char* text; int64_t value; } cases[] = {
      {"12abc", 42}, {"abc", 42}, {"", 42}, {"99999999999999999999", 42}, {"5000000000", 5000000000}, {"0", 0},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(IniWriteString(file_, "N", "K", c.text));
    EXPECT_EQ(IniReadInt(file_, "N", "K", 42), c.value) << c.text;
  }
  EXPECT_EQ(IniReadInt(file_, "N", "Missing", -3), -3);
}

}  // namespace
