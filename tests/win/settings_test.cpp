// The auto-update settings under Wine: real INI files beside the program,
// the real per-user registry, the local clock.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/UtilsWin.h"
#include "update/SettingsWin.h"

namespace {

using std::string;

const char kTestModeKey[] = "Software\\Morvalix\\Kovrex\\AutoUpdate";
const string kUnset = "|255|255|255|255|255|255|";

void WriteText(const string& path, const string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

string ReadText(const string& path) {
  string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

class InfoFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const string base = "settings_test_" + IntToText(GetCurrentProcessId());
    SetInfoFileNames(base + ".original", base + ".info");
    TearDown();
  }
  void TearDown() override {
    DeleteFileA(OriginalInfoFile().c_str());
    DeleteFileA(NewInfoFile().c_str());
    ApplyOverrideList(kUnset);
  }
};

TEST_F(InfoFiles, BesideTheProgramWithTheirExtensions) {
  const string dir = ProgramDir(true);
  EXPECT_EQ(OriginalInfoFile().substr(0, dir.size()), dir);
  EXPECT_EQ(FileNamePart(OriginalInfoFile()), "settings_test_" + IntToText(GetCurrentProcessId()) + ".original");
  EXPECT_EQ(FileNamePart(NewInfoFile()), "settings_test_" + IntToText(GetCurrentProcessId()) + ".info");
}

TEST_F(InfoFiles, MissingFilesReadAsDefaults) {
  EXPECT_EQ(ProbeSecondsInterval(), 0);
  EXPECT_EQ(ProbeSecondsLast(), 0);
  EXPECT_EQ(VersionOriginal(), 0);
  EXPECT_EQ(OriginalStamp(), 0);
  EXPECT_EQ(OriginalProgramName(), "");
  EXPECT_EQ(TargetDir(), "");
  EXPECT_EQ(StartUpLink(), "");
  EXPECT_EQ(ErrorTitle(), "Error");
  EXPECT_EQ(ConfirmTitle(), "Confirm");
  EXPECT_EQ(AttentionTitle(), "Attention");
  EXPECT_EQ(BtnText(), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(CharSet(), 0);
  EXPECT_EQ(MessageText("s3", "File Download Aborted!"), "File Download Aborted!");
  EXPECT_EQ(MessageText("s11", ""), "");
  EXPECT_EQ(DownloadURL_UPDATE(), "");
  EXPECT_EQ(SizeOfUpdateFile(), 0);
  EXPECT_EQ(VersionNew(), 0);
  EXPECT_FALSE(RequestConfirmationBeforeDownload());
  EXPECT_FALSE(RestartProcess());
  EXPECT_FALSE(RemoveStartUpShortcut());
}

TEST_F(InfoFiles, OriginalInfoFileKeys) {
  WriteText(OriginalInfoFile(),
            "[OriginalSetup]\r\n"
            "ProbeSecondsInterval=86400\r\n"
            "ProbeSecondsLast=abc\r\n"
            "ReAskSecondsInterval=123456789012\r\n"
            "ReAskSecondsLast=-5\r\n"
            "VersionOriginal=4294967301\r\n"  // used as its low 32 bits: 5
            "Stamp=77\r\n"
            "ProgramName=My App\r\n"
            "[Directories]\r\nTargetDir=C:\\Program Files\\My App\r\nSharedDir=S\r\nAuxiliaryDir=A\r\n"
            "[UnInstall]\r\nStartUpLink=C:\\l\\start.lnk\r\nCheckforNewUpdateLink=C:\\l\\check.lnk\r\n"
            "[MsgBox]\r\nBtnText=|&Ja|&Nein|\r\nError=Fehler\r\nConfirm=\r\nCharSet=177\r\n"
            "[AutoUpdate]\r\ns3=Stopped\\\\nin C:\\new\r\ns11=\r\n");
  EXPECT_EQ(ProbeSecondsInterval(), 86400);
  EXPECT_EQ(ProbeSecondsLast(), 0);  // not a number
  EXPECT_EQ(ReAskSecondsInterval(), 123456789012);
  EXPECT_EQ(ReAskSecondsLast(), -5);
  EXPECT_EQ(VersionOriginal(), 5);
  EXPECT_EQ(OriginalStamp(), 77);
  EXPECT_EQ(OriginalProgramName(), "My App");
  EXPECT_EQ(TargetDir(), "C:\\Program Files\\My App");
  EXPECT_EQ(SharedDir(), "S");
  EXPECT_EQ(AuxiliaryDir(), "A");
  EXPECT_EQ(StartUpLink(), "C:\\l\\start.lnk");
  EXPECT_EQ(CheckforNewUpdateLink(), "C:\\l\\check.lnk");
  EXPECT_EQ(BtnText(), "|&Ja|&Nein|");
  EXPECT_EQ(ErrorTitle(), "Fehler");
  EXPECT_EQ(ConfirmTitle(), "");  // present but empty: not the default
  EXPECT_EQ(AttentionTitle(), "Attention");
  EXPECT_EQ(CharSet(), 177);
  // Texts come back as stored: the markup reader alone turns "\\n" into a break.
  EXPECT_EQ(MessageText("s3", "x"), "Stopped\\\\nin C:\\new");
  EXPECT_EQ(MessageText("s11", "x"), "");
  EXPECT_EQ(MessageText("s4", "File not Found!"), "File not Found!");
}

TEST_F(InfoFiles, EveryCallReadsTheFileAgain) {
  WriteText(OriginalInfoFile(), "[OriginalSetup]\r\nProbeSecondsInterval=60\r\n");
  EXPECT_EQ(ProbeSecondsInterval(), 60);
  WriteText(OriginalInfoFile(), "[OriginalSetup]\r\nProbeSecondsInterval=-1\r\n");
  EXPECT_EQ(ProbeSecondsInterval(), -1);
  DeleteFileA(OriginalInfoFile().c_str());
  EXPECT_EQ(ProbeSecondsInterval(), 0);
}

TEST_F(InfoFiles, WritesCreateTheFileAndKeepOtherKeys) {
  SetProbeSecondsInterval(3600);  // no file yet
  WriteText(OriginalInfoFile(), ReadText(OriginalInfoFile()) + "[MsgBox]\r\nError=Oops\r\n");
  SetProbeSecondsLast(123456789012);
  SetReAskSecondsInterval(-1);
  SetReAskSecondsLast(INT64_MIN);
  SetVersionOriginal(-7);
  SetOriginalStamp(INT32_MIN);
  EXPECT_EQ(ProbeSecondsInterval(), 3600);
  EXPECT_EQ(ProbeSecondsLast(), 123456789012);
  EXPECT_EQ(ReAskSecondsInterval(), -1);
  EXPECT_EQ(ReAskSecondsLast(), INT64_MIN);
  EXPECT_EQ(VersionOriginal(), -7);
  EXPECT_EQ(OriginalStamp(), INT32_MIN);
  EXPECT_EQ(ErrorTitle(), "Oops");
  const string text = ReadText(OriginalInfoFile());
  for (const char* line : {"ProbeSecondsLast=123456789012", "ReAskSecondsLast=-9223372036854775808",
                           "VersionOriginal=-7", "Stamp=-2147483648"})
    EXPECT_NE(text.find(line), string::npos) << line << " in\n" << text;
}

TEST_F(InfoFiles, LongValuesAreCutAt10240Characters) {
  const string longText(10300, 'x');
  WriteText(OriginalInfoFile(), "[AutoUpdate]\r\ns16=" + longText + "\r\ns17=" + longText.substr(0, 10240) + "\r\n");
  EXPECT_EQ(MessageText("s16", ""), longText.substr(0, 10240));
  EXPECT_EQ(MessageText("s17", ""), longText.substr(0, 10240));
}

TEST_F(InfoFiles, NewInfoFileKeysAndOverrides) {
  WriteText(NewInfoFile(),
            "[NewSetup]\r\n"
            "DownloadURL_UPDATE=http://127.0.0.1/upd/\r\n"
            "NameOfUpdateFile=upd.exe\r\n"
            "SizeOfUpdateFile=4294967295\r\n"  // compared as 32 bits: -1
            "RequestConfirmationBeforeDownload=0\r\n"
            "RequestConfirmationBeforeInstall=1\r\n"
            "BackgroundUpdate=true\r\n"
            "InformFinish=01\r\n"
            "RestartProcess=1\r\n"
            "ShutDownMethod=Using WM_CLOSE\r\n"
            "RunningProcess=<InstallDir>\\app.exe\r\n"
            "ProgramName=New App\r\n"
            "VersionNew=12\r\n"
            "Stamp=99\r\n"
            "ValidVersions=3, 4\r\n"
            "RemoveStartUpShortcut=1\r\n"
            "RemoveCheckForNewUpdateShortcut=yes\r\n");
  EXPECT_EQ(DownloadURL_UPDATE(), "http://127.0.0.1/upd/");
  EXPECT_EQ(NameOfUpdateFile(), "upd.exe");
  EXPECT_EQ(SizeOfUpdateFile(), -1);
  EXPECT_EQ(ShutDownMethod(), "Using WM_CLOSE");
  EXPECT_EQ(RunningProcess(), "<InstallDir>\\app.exe");
  EXPECT_EQ(NewProgramName(), "New App");
  EXPECT_EQ(VersionNew(), 12);
  EXPECT_EQ(NewStamp(), 99);
  EXPECT_EQ(ValidVersions(), "3, 4");
  EXPECT_TRUE(RemoveStartUpShortcut());
  EXPECT_FALSE(RemoveCheckForNewUpdateShortcut());
  EXPECT_FALSE(RequestConfirmationBeforeDownload());
  EXPECT_FALSE(BackgroundUpdate());  // only "1" is true
  EXPECT_FALSE(InformFinish());
  EXPECT_TRUE(RestartProcess());

  EXPECT_TRUE(RequestConfirmationBeforeInstall());
  SetOverride(2, 0);
  EXPECT_FALSE(RequestConfirmationBeforeInstall());
  SetOverride(2, 1);
  EXPECT_TRUE(RequestConfirmationBeforeInstall());
  SetOverride(2, 7);
  EXPECT_FALSE(RequestConfirmationBeforeInstall());

  ApplyOverrideList("|1|1|255|1|1|0|");
  EXPECT_TRUE(AskBeforeCheck());
  EXPECT_TRUE(RequestConfirmationBeforeDownload());
  EXPECT_TRUE(BackgroundUpdate());
  EXPECT_TRUE(InformFinish());
  EXPECT_FALSE(RestartProcess());
  EXPECT_TRUE(RemoveStartUpShortcut());  // no override for the shortcut flags
}

class TestMode : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override {
    Clear();
    ReadTestModeAt(true, 0);
  }
  static void Clear() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTestModeKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, "TestMode");
      RegDeleteValueA(key, "TestModeURL");
      RegCloseKey(key);
    }
  }
  static void Set(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestModeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static void SetText(const char* name, const string& value) {
    Set(name, REG_SZ, value.c_str(), DWORD(value.size() + 1));
  }
};

TEST_F(TestMode, OnOnlyForExactlyOne) {
  EXPECT_FALSE(ReadTestModeAt(true, 1000));  // no values
  EXPECT_EQ(TestModeURL(), "");
  SetText("TestMode", "1");
  SetText("TestModeURL", "C:\\updates\\test");
  EXPECT_TRUE(ReadTestModeAt(true, 2000));
  EXPECT_TRUE(TestModeOn());
  EXPECT_EQ(TestModeURL(), "C:\\updates\\test");
  SetText("TestMode", "1 ");
  EXPECT_FALSE(ReadTestModeAt(true, 3000));
  const DWORD one = 1;
  Set("TestMode", REG_DWORD, &one, sizeof one);
  EXPECT_TRUE(ReadTestModeAt(true, 4000));
  const DWORD two = 2;
  Set("TestMode", REG_DWORD, &two, sizeof two);
  EXPECT_FALSE(ReadTestModeAt(true, 5000));
  EXPECT_FALSE(ReadTestMode(true));  // at the real tick count
  EXPECT_EQ(TestModeURL(), "C:\\updates\\test");
}

TEST_F(TestMode, UnforcedReadsWaitThirtySecondsAfterTheLastCall) {
  SetText("TestMode", "1");
  EXPECT_TRUE(ReadTestModeAt(true, 1000));
  SetText("TestMode", "0");
  SetText("TestModeURL", "C:\\t");
  EXPECT_TRUE(ReadTestModeAt(false, 31000));  // 30 s, not more
  EXPECT_EQ(TestModeURL(), "");
  // Each call counts as a read: a caller every 20 s never reads again.
  EXPECT_TRUE(ReadTestModeAt(false, 51000));
  EXPECT_TRUE(ReadTestModeAt(false, 71000));
  EXPECT_FALSE(ReadTestModeAt(false, 101001));
  EXPECT_EQ(TestModeURL(), "C:\\t");
}

// The unit of every stored time, against the clock read another way: the
// system's 100 ns file time, made local, counted from 1601.
TEST(Clock, NowSecondsIsLocalTimeSince1899) {
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  const int64_t now = NowSeconds();
  FileTimeToLocalFileTime(&utc, &local);
  auto seconds = [](const FILETIME& t) {
    return int64_t((uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000000) - int64_t(109205) * 86400;
  };
  EXPECT_LE(std::llabs(now - seconds(local)), 1);
  // The test runs in a time zone far from UTC, so UTC would show.
  TIME_ZONE_INFORMATION tz;
  const DWORD zone = GetTimeZoneInformation(&tz);
  const LONG bias = tz.Bias + (zone == TIME_ZONE_ID_DAYLIGHT ? tz.DaylightBias : 0);
  EXPECT_LE(std::llabs(now - (seconds(utc) - int64_t(bias) * 60)), 1);
  EXPECT_NE(bias, 0) << "run with a TZ away from UTC";
}

}  // namespace
