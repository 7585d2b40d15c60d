// Whole-file and whole-folder operations, and self-removal of the program.
// Nothing here reports an error: failure is an empty text, 0, -1.0 or false.
#pragma once

#include <cstdint>
#include <string>

// --- Portable path rules -----------------------------------------------------
// The file name without its folder and without its last extension.
std::string FileTitle(const std::string& path);
// The file name: the part after the last backslash or drive colon.
std::string FileNamePart(const std::string& path);
// The folder of a path: up to its last backslash or colon, that backslash
// dropped unless it follows a colon or another backslash ("C:\a\x.exe" gives
// "C:\a", "C:\x.exe" "C:\", "C:x.exe" "C:", "x.exe" the empty text).
std::string FolderPart(const std::string& path);

// --- Directory listings --------------------------------------------------------
// Attribute bits as the file system reports them.
enum : uint32_t {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrVolume = 8,
  kAttrDirectory = 16,
  kAttrArchive = 32,
};
// Accepted sets of the listings.
enum : uint32_t {
  kListAll = 63,           // size query
  kListFiles = 39,         // file deletion: hidden and system files too, no folders
  kListPlainFolders = 16,  // tree deletion: neither hidden nor system
  kListSearch = 20,        // searches: system folders too, hidden ones never
};
// Whether a listing asked for with the accepted bits returns an entry: it is
// skipped when it carries hidden, system, volume or directory without the
// accepted set holding that bit. Read-only and archive never skip.
bool ListingAccepts(uint32_t attributes, uint32_t accepted);

// --- Drives --------------------------------------------------------------------
// The root DiskFreeBytes asks about: "X:\" for the first character of the
// path, upper-cased; empty (the current drive) for an empty path.
std::string DiskFreeRoot(const std::string& path);

// --- Self-removal batch ----------------------------------------------------------
// A path as the batch names it: always quoted with long names; with short
// names only when it still holds a character the command interpreter would
// split or interpret (a short name may be missing, or the long path kept).
std::string BatchPathArgument(const std::string& path, bool shortNames);
// The batch text: delete the program (again and again while it is still
// there, since DEL of a file in use leaves the error level at 0), optionally
// remove its folder, then delete the batch itself. Every line ends in CR LF.
// Arguments are already in the form BatchPathArgument gives.
std::string SelfRemoveBatchText(const std::string& programArg, const std::string& folderArg,
                                const std::string& batchArg, bool removeFolder);

// --- Win32 -----------------------------------------------------------------------
// A file (not a folder) exists at path; a folder exists at path.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Low 32 bits of the listed size of the first entry matching path (wildcards
// allowed, folders too); 0 when nothing matches.
int32_t FileSizeOf(const std::string& path);
// maxLength bytes (0: the rest of the file) from offset; empty when the file
// is missing, the offset is outside it or fewer bytes could be read.
std::string ReadFilePart(const std::string& path, int32_t offset, int32_t maxLength);
// Creates or truncates the file and writes content; fileDate (DOS date and
// time, local; 0 = leave it) becomes the last-write time. True when every
// byte was written.
bool WriteFileText(const std::string& path, const std::string& content, uint32_t fileDate);
// As WriteFileText, but adds content at the end of an existing file.
bool AppendFileText(const std::string& path, const std::string& content, uint32_t fileDate);
// Free bytes on the drive named by the path's first letter; -1.0 on failure.
double DiskFreeBytes(const std::string& path);

// Depth-first searches; the first hit in listing order wins, files directly
// in a folder before those of its subfolders. Hidden folders are not entered.
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

// Deletes every file matching mask; true when at least one matched (not
// necessarily deleted: read-only files stay unless clearAttributes).
bool DeleteFiles(const std::string& mask, bool clearAttributes);
// Deletes the folder with its files and its plain (not hidden, not system)
// subfolders; true when it existed before and is gone after.
bool DeleteTree(const std::string& folder, bool clearAttributes);

// Writes and starts the "_DEL_ME_.BAT" batch that deletes the running
// program's file once its process has ended, then itself.
void SelfRemove(bool removeFolder, bool shortNames);
