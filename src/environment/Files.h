// The portable rules of the file helpers: listing filters, drive roots and
// the self-removal batch text.
#pragma once

#include <cstdint>
#include <string>

#include "support/Utils.h"

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
// Tries of the removal batch before it gives up on a file that stays in use
// (or sits in a folder without delete rights): about a minute, one pause of
// about a second between tries.
constexpr int kSelfRemoveTries = 60;
// The batch text: delete the program, retrying after a pause while it is
// still there (DEL of a file in use leaves the error level at 0) up to the
// given number of tries; optionally remove its folder; then delete the batch
// itself, whether the program went or not. Every line ends in CR LF.
// Arguments are already in the form BatchPathArgument gives.
std::string SelfRemoveBatchText(const std::string& programArg, const std::string& folderArg,
                                const std::string& batchArg, bool removeFolder, int tries = kSelfRemoveTries);
