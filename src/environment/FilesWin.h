// Whole-file and whole-folder operations, and self-removal of the program.
// Nothing here reports an error: failure is an empty text, 0, -1.0 or false.
#pragma once

#include <cstdint>
#include <string>

#include "environment/Files.h"

// A file (not a folder) exists at path; a folder exists at path.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Low 32 bits of the listed size of the first entry matching path (wildcards
// allowed, folders too); 0 when nothing matches.
int32_t FileSizeOf(const std::string& path);
// maxLength bytes (0: the rest of the file) from offset; empty when the file
// is missing, the offset is outside it or fewer bytes could be read.
std::string ReadFilePart(const std::string& path, int32_t offset, int32_t maxLength);
// The DOS date and time (local) of a file's last write; 0 when unknown.
uint32_t FileDate(const std::string& path);
// Gives an open file (a HANDLE) the DOS date and time (local) as its last
// write; 0 leaves it.
void SetFileDate(void* file, uint32_t fileDate);
// Creates a folder with all its missing parents; true when it exists after.
bool ForceFolders(const std::string& folder);
// Creates or truncates the file and writes content; fileDate (DOS date and
// time, local; 0 = leave it) becomes the last-write time. True when every
// byte was written.
bool WriteFileText(const std::string& path, const std::string& content, uint32_t fileDate);
// As WriteFileText, but adds content at the end of an existing file.
bool AppendFileText(const std::string& path, const std::string& content, uint32_t fileDate);
// Free bytes on the drive named by the path's first letter; -1.0 on failure.
double DiskFreeBytes(const std::string& path);

// Depth-first searches; the first hit in listing order wins, files directly
// in a folder before those of its subfolders. Hidden folders are not entered,
// nor junctions and other links (they can loop back up the tree).
std::string FindFileInTree(const std::string& folder, const std::string& fileName);
std::string FindFolderInTree(const std::string& folder, const std::string& folderName);
// The tree searches over the roots C:\ to Z:\ whose drive type (3 fixed,
// 4 network) equals driveType; the first drive with a hit wins.
std::string FindFileOnDrives(const std::string& fileName, unsigned driveType);
std::string FindFolderOnDrives(const std::string& folderName, unsigned driveType);
// How the drive searches learn a root's type (GetDriveTypeA unless replaced,
// which tests do to keep a search off drives they do not own). Returns the
// previous function; null restores GetDriveTypeA.
using DriveTypeFunction = unsigned (*)(const std::string& root);
DriveTypeFunction SetDriveTypeFunction(DriveTypeFunction fn);

// The 8.3 form of an existing path; empty when there is none.
std::string ShortPathName(const std::string& path);

// Deletes every file matching mask; true when at least one matched (not
// necessarily deleted: read-only files stay unless clearAttributes).
bool DeleteFiles(const std::string& mask, bool clearAttributes);
// Deletes the folder with its files and its plain (not hidden, not system)
// subfolders; true when it existed before and is gone after. A junction or
// link inside is removed without touching what it points to.
bool DeleteTree(const std::string& folder, bool clearAttributes);

// Takes the read-only attribute off a file; true when it is writable after.
bool ClearReadOnly(const std::string& path);
// Copies a file (replacing the target) and makes the copy writable: a copy of
// a program installed read-only (from read-only media, by some setups) is a
// working copy that must be deletable later.
bool CopyFileWritable(const std::string& from, const std::string& to);

// Writes and starts the "_DEL_ME_.BAT" batch that deletes the running
// program's file once its process has ended (clearing its read-only
// attribute first), then itself; it gives up on a file that stays in use
// after about a minute.
void SelfRemove(bool removeFolder, bool shortNames);
// As SelfRemove, with the number of tries the batch makes before it gives up.
void SelfRemoveWithin(bool removeFolder, bool shortNames, int tries);
