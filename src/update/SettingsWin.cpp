#include "update/SettingsWin.h"

#include <windows.h>

#include "support/MessageBox.h"
#include "support/RegistryWin.h"
#include "support/UtilsWin.h"

namespace {

const char kTestModeKey[] = "HKEY_CURRENT_USER\\Software\\Morvalix\\Kovrex\\AutoUpdate";

std::string gOriginalInfoName;
std::string gNewInfoName;

bool gTestModeOn = false;
std::string gTestModeURL;
int32_t gTestModeLastRead = 0;

// Every accessor reads its file at the moment it is called: another program
// (the installed application, an update setup) may change the files at any time.
std::string Original(const char* section, const char* key, const char* def = "") {
  return IniReadString(OriginalInfoFile(), section, key, def);
}
int64_t OriginalInt(const char* section, const char* key) { return SettingInt(Original(section, key, "0")); }
void SetOriginalInt(const char* key, int64_t v) { IniWriteInt(OriginalInfoFile(), "OriginalSetup", key, v); }

std::string New(const char* key) { return IniReadString(NewInfoFile(), "NewSetup", key, ""); }
int32_t NewInt(const char* key) { return Low32(SettingInt(IniReadString(NewInfoFile(), "NewSetup", key, "0"))); }
bool NewFlag(const char* key) { return SettingFlag(IniReadString(NewInfoFile(), "NewSetup", key, "0")); }

}  // namespace

void SetInfoFileNames(const std::string& originalName, const std::string& newName) {
  gOriginalInfoName = originalName;
  gNewInfoName = newName;
}

std::string OriginalInfoFile() { return ProgramDir(true) + gOriginalInfoName; }
std::string NewInfoFile() { return ProgramDir(true) + gNewInfoName; }

// --- [OriginalSetup] -------------------------------------------------------------

int64_t ProbeSecondsInterval() { return OriginalInt("OriginalSetup", "ProbeSecondsInterval"); }
int64_t ProbeSecondsLast() { return OriginalInt("OriginalSetup", "ProbeSecondsLast"); }
int64_t ReAskSecondsInterval() { return OriginalInt("OriginalSetup", "ReAskSecondsInterval"); }
int64_t ReAskSecondsLast() { return OriginalInt("OriginalSetup", "ReAskSecondsLast"); }
int32_t VersionOriginal() { return Low32(OriginalInt("OriginalSetup", "VersionOriginal")); }
int32_t OriginalStamp() { return Low32(OriginalInt("OriginalSetup", "Stamp")); }
std::string OriginalProgramName() { return Original("OriginalSetup", "ProgramName"); }

void SetProbeSecondsInterval(int64_t v) { SetOriginalInt("ProbeSecondsInterval", v); }
void SetProbeSecondsLast(int64_t v) { SetOriginalInt("ProbeSecondsLast", v); }
void SetReAskSecondsInterval(int64_t v) { SetOriginalInt("ReAskSecondsInterval", v); }
void SetReAskSecondsLast(int64_t v) { SetOriginalInt("ReAskSecondsLast", v); }
void SetVersionOriginal(int32_t v) { SetOriginalInt("VersionOriginal", v); }
void SetOriginalStamp(int32_t v) { SetOriginalInt("Stamp", v); }

// --- [Directories], [UnInstall] --------------------------------------------------

std::string TargetDir() { return Original("Directories", "TargetDir"); }
std::string SharedDir() { return Original("Directories", "SharedDir"); }
std::string AuxiliaryDir() { return Original("Directories", "AuxiliaryDir"); }
std::string StartUpLink() { return Original("UnInstall", "StartUpLink"); }
std::string CheckforNewUpdateLink() { return Original("UnInstall", "CheckforNewUpdateLink"); }

// --- [MsgBox] ----------------------------------------------------------------------

std::string BtnText() { return Original("MsgBox", "BtnText", kDefaultButtonList); }
std::string BoxTitle(const char* key) { return Original("MsgBox", key, key); }
int32_t CharSet() { return Low32(OriginalInt("MsgBox", "CharSet")); }

// --- [AutoUpdate] --------------------------------------------------------------------

// The text is handed on as stored: its "\\n" breaks are read by the message box.
std::string MessageText(const char* key, const char* defaultText) {
  return IniReadString(OriginalInfoFile(), "AutoUpdate", key, defaultText);
}
std::string MessageText(const char* key) { return MessageText(key, ""); }
std::string MessageTextOrOwn(const char* key) { return MessageText(key, OwnMessageText(key).c_str()); }

// --- [NewSetup] ----------------------------------------------------------------------

std::string DownloadURL_UPDATE() { return New("DownloadURL_UPDATE"); }
std::string NameOfUpdateFile() { return New("NameOfUpdateFile"); }
int32_t SizeOfUpdateFile() { return NewInt("SizeOfUpdateFile"); }
std::string ShutDownMethod() { return New("ShutDownMethod"); }
std::string RunningProcess() { return New("RunningProcess"); }
std::string NewProgramName() { return New("ProgramName"); }
int32_t VersionNew() { return NewInt("VersionNew"); }
int32_t NewStamp() { return NewInt("Stamp"); }
std::string ValidVersions() { return New("ValidVersions"); }
bool RemoveStartUpShortcut() { return NewFlag("RemoveStartUpShortcut"); }
bool RemoveCheckForNewUpdateShortcut() { return NewFlag("RemoveCheckForNewUpdateShortcut"); }

bool RequestConfirmationBeforeDownload() {
  return EffectiveFlag(kOverrideConfirmDownload, NewFlag("RequestConfirmationBeforeDownload"));
}
bool RequestConfirmationBeforeInstall() {
  return EffectiveFlag(kOverrideConfirmInstall, NewFlag("RequestConfirmationBeforeInstall"));
}
bool BackgroundUpdate() { return EffectiveFlag(kOverrideBackgroundUpdate, NewFlag("BackgroundUpdate")); }
bool InformFinish() { return EffectiveFlag(kOverrideInformFinish, NewFlag("InformFinish")); }
bool RestartProcess() { return EffectiveFlag(kOverrideRestartProcess, NewFlag("RestartProcess")); }

// --- Test mode -----------------------------------------------------------------------

bool ReadTestMode(bool force) { return ReadTestModeAt(force, GetTickCount()); }

bool ReadTestModeAt(bool force, uint32_t tickCount) {
  const int32_t now = int32_t(tickCount);
  if (TestModeReadDue(force, now, gTestModeLastRead)) {
    gTestModeOn = SettingFlag(RegReadString(kTestModeKey, "TestMode", "0"));
    gTestModeURL = RegReadString(kTestModeKey, "TestModeURL");
  }
  // Stored on every call: a caller more frequent than the interval re-reads
  // only when it forces.
  gTestModeLastRead = now;
  return gTestModeOn;
}

bool TestModeOn() { return gTestModeOn; }
std::string TestModeURL() { return gTestModeURL; }

// --- Time --------------------------------------------------------------------------------

int64_t NowSeconds() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return SecondsSince1899({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds});
}
