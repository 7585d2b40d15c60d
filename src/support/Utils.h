// String, delimited-list, path and command-line helpers shared by every module.
// Portable: no Windows headers here, so the host build can test and fuzz it.
//
// Strings are 8-bit texts that may hold any byte. Positions are 1-based and
// 0 means "not found". Case-insensitive means upper-casing ASCII a..z only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// --- Case and blanks -------------------------------------------------------
std::string UpperCase(const std::string& s);
// Removes every character with a code of 32 or less from both ends.
std::string Trim(const std::string& s);
std::string ReverseText(const std::string& s);
bool TextEquals(const std::string& a, const std::string& b);

// --- Name lists ("a\0b\0c", one text: tables without a pointer per name) --
// The name after name; an empty name ends the list.
inline const char* NextName(const char* name) { return name + std::char_traits<char>::length(name) + 1; }
// The index-th name (from 0), which must exist.
inline const char* NthName(const char* names, int index) {
  while (index-- > 0) names = NextName(names);
  return names;
}

// --- Delimited lists ("|a|b|": the first character is the delimiter) -------
int FieldCount(const std::string& list);
std::string GetField(const std::string& list, int index, const char* def = "");
std::string SetField(const std::string& list, int index, const std::string& value);
std::string GetListValue(const std::string& list, const std::string& key, const std::string& def);

// --- Searching -------------------------------------------------------------
// Whether text holds what at pos (from 0), without building a substring.
bool HoldsAt(const std::string& text, size_t pos, std::string_view what);
int Pos(const std::string& needle, const std::string& text);
int PosCI(const std::string& needle, const std::string& text);
int PosFrom(const std::string& needle, const std::string& text, int start);
int PosFromCI(const std::string& needle, const std::string& text, int start);
int LastPos(const std::string& needle, const std::string& text);
// 1 when text ends with needle (ignoring case), 0 when needle is absent;
// otherwise the position of the reversed needle in the reversed text.
int PosFromEnd(const std::string& needle, const std::string& text);
int32_t MinInt(int32_t a, int32_t b);
int32_t MaxInt(int32_t a, int32_t b);

// --- Replacing and converting ----------------------------------------------
// Replaces every occurrence of oldText, left to right; inserted text is never
// searched again, so the call always ends.
std::string ReplaceAll(const std::string& text, std::string_view oldText, std::string_view newText, bool ignoreCase);
std::string Replace(const std::string& text, std::string_view oldText, std::string_view newText);
std::string ReplaceCI(const std::string& text, std::string_view oldText, std::string_view newText);
// "\\n" and "<p>"/"<P>" become CR LF, "\\t" a tab (backslash, backslash, letter).
std::string MarkupToText(const std::string& text);
// Digits are not validated: a character outside 0-9A-F counts as -1.
int64_t ParseNumber(const std::string& text, int base);
int32_t ParseHex(const std::string& text);
// Decimal text of a clock-seeded random integer in [low, high].
std::string RandomNumberText(int64_t low, int64_t high);
std::string IntToText(int64_t value);
// n / d, with n % d in rem (d > 0). The one 64-bit division routine of the
// 32-bit program: each of the compiler's signed and unsigned variants would
// add its own few hundred bytes.
uint64_t DivMod64(uint64_t n, uint64_t d, uint64_t& rem);
// The same by shifts and subtractions: what the 32-bit build uses for
// operands beyond 32 bits instead of the compiler's library routine.
uint64_t DivMod64Bitwise(uint64_t n, uint64_t d, uint64_t& rem);
// n / d rounded down, with the remainder (0 <= rem < d) in rem.
int64_t FloorDivMod64(int64_t n, uint32_t d, uint32_t& rem);
// A day number of the proleptic Gregorian calendar (day 0 is 1 March of
// year 0); only differences of two are used. For the fields of a calendar
// date: month 0-14, year within a few million.
int64_t DaysFromCivil(int year, int month, int day);
// Little-endian 32-bit words as files and registry data store them.
uint32_t LoadLE32(const uint8_t* p);
void StoreLE32(uint8_t* p, uint32_t value);
// Whole text as a signed 64-bit decimal number; false when it is not one.
bool TextToInt64(const std::string& text, int64_t& value);

// --- Paths -----------------------------------------------------------------
std::string SetTrailingBackslash(const std::string& path, bool add);
// folder + "\\" + name, built in one piece.
std::string PathJoin(const std::string& folder, const std::string& name);
std::string CollapseBackslashes(const std::string& path);
// The file name: the part after the last backslash, slash or drive colon
// (Windows takes "/" as a separator too, so a name never hides a folder).
std::string FileNamePart(const std::string& path);
// The file name without its last extension ("a.b.c" gives "a.b").
std::string FileTitle(const std::string& path);
// The folder of a path: up to its last separator or colon, that backslash
// dropped unless it follows a colon or another backslash ("C:\a\x.exe" gives
// "C:\a", "C:\x.exe" "C:\", "C:x.exe" "C:", "x.exe" the empty text).
std::string FolderPart(const std::string& path);
// The path with its extension (from the last "." of the file name) replaced.
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// --- Command line ----------------------------------------------------------
// A program path as the start of a command line: quoted when it holds a blank
// or tab, so "C:\Program Files\x.exe" never starts "C:\Program.exe".
std::string QuoteProgramPath(const std::string& path);
// Whether an argument follows the program name, the command line's first
// word (quoted parts belong to the word).
bool HasArguments(const std::string& commandLine);
// The switch helpers take the command line and the program file as input; the
// no-argument forms in UtilsWin.h read the process's own.
// The arguments of a command line: the line without its program token (taken
// by the Windows rules, quoted or not, or the program's full path when the
// line starts with it unquoted), passed on byte for byte but for the blanks
// around it.
std::string CommandTailOf(const std::string& commandLine, const std::string& programFile);
std::string SwitchValueIn(const std::string& tail, const std::string& switchText);
bool HasSwitchIn(const std::string& tail, const std::string& switchText);
int64_t SwitchIntIn(const std::string& tail, const std::string& switchText, int64_t def);
