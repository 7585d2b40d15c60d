// The auto-update program's settings: the two INI info files beside it (read
// at every call, nothing cached), the override values a controller sets, and
// the per-user test mode in the registry.
#pragma once

#include <cstdint>
#include <string>

#include "update/Settings.h"

// The info files' names from the package header (its info-file base name
// with ".original" and with ".info"); the entry sets them once the package is
// open.
void SetInfoFileNames(const std::string& originalName, const std::string& newName);
// Full paths of the info files in the running program's folder.
std::string OriginalInfoFile();
std::string NewInfoFile();

// --- [OriginalSetup] of OriginalInfoFile ---------------------------------------
int64_t ProbeSecondsInterval();
int64_t ProbeSecondsLast();
int64_t ReAskSecondsInterval();
int64_t ReAskSecondsLast();
int32_t VersionOriginal();
int32_t OriginalStamp();
std::string OriginalProgramName();
void SetProbeSecondsInterval(int64_t v);
void SetProbeSecondsLast(int64_t v);
void SetReAskSecondsInterval(int64_t v);
void SetReAskSecondsLast(int64_t v);
void SetVersionOriginal(int32_t v);
void SetOriginalStamp(int32_t v);

// --- [Directories] and [UnInstall] ----------------------------------------------
std::string TargetDir();
std::string SharedDir();
std::string AuxiliaryDir();
std::string StartUpLink();
std::string CheckforNewUpdateLink();

// --- [MsgBox]: titles, character set and captions of every box ------------------
std::string BtnText();
// The caption stored under key ("Error", "Confirm", "Attention"), the key
// itself when none is stored.
std::string BoxTitle(const char* key);
inline std::string ErrorTitle() { return BoxTitle("Error"); }
inline std::string ConfirmTitle() { return BoxTitle("Confirm"); }
inline std::string AttentionTitle() { return BoxTitle("Attention"); }
int32_t CharSet();

// --- [AutoUpdate]: the value of key, or defaultText when the key is missing -----
std::string MessageText(const char* key, const char* defaultText);
// The same with "" as the default.
std::string MessageText(const char* key);
// Where a message text names the program.
inline constexpr char kProgName[] = "PROG_NAME";
// The same with the program's own text for the key as the default.
std::string MessageTextOrOwn(const char* key);

// --- [NewSetup] of NewInfoFile ---------------------------------------------------
std::string DownloadURL_UPDATE();
std::string NameOfUpdateFile();
int32_t SizeOfUpdateFile();
std::string ShutDownMethod();
std::string RunningProcess();
std::string NewProgramName();
int32_t VersionNew();
int32_t NewStamp();
std::string ValidVersions();
bool RemoveStartUpShortcut();
bool RemoveCheckForNewUpdateShortcut();
// Effective values: the override when set (1 is true), else the [NewSetup] flag.
bool RequestConfirmationBeforeDownload();
bool RequestConfirmationBeforeInstall();
bool BackgroundUpdate();
bool InformFinish();
bool RestartProcess();
// AskBeforeCheck, SetOverride, OverrideListText and ApplyOverrideList need no
// file: they are in update/Settings.h.

// --- Test mode (HKEY_CURRENT_USER\Software\Morvalix\Kovrex\AutoUpdate) ----------
// Re-reads TestMode and TestModeURL when forced or 30 seconds after the last
// call; returns whether test mode is on.
bool ReadTestMode(bool force);
// The same at a given tick count (tests drive the throttle through it).
bool ReadTestModeAt(bool force, uint32_t tickCount);
bool TestModeOn();
std::string TestModeURL();

// Local time as whole seconds since 30 December 1899 (the unit of every
// stored time).
int64_t NowSeconds();
