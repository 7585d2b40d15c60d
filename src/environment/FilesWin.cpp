// The Win32 side of Files: whole-file reads and writes, listings, searches,
// deletions and the self-removal batch.
#include <windows.h>

#include "environment/FilesWin.h"
#include "support/HandleWin.h"
#include "support/UtilsWin.h"

namespace {

// A directory listing that returns only the entries the accepted attribute
// bits let through.
class Listing {
 public:
  Listing(const std::string& pattern, uint32_t accepted)
      : find_(FindFirstFileA(pattern.c_str(), &data_)), accepted_(accepted) {
    if (find_ && !ListingAccepts(data_.dwFileAttributes, accepted_)) Next();
  }

  bool Valid() const { return find_.valid(); }
  std::string Name() const { return data_.cFileName; }
  // A subfolder other than "." and "..".
  bool IsSubfolder() const {
    return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && Name() != "." && Name() != "..";
  }
  // A subfolder that is a real folder of this tree, not a junction, mount
  // point or symbolic link: those may lead back up the tree (a search would
  // never end) or out of it (a deletion would empty someone else's folder).
  bool IsPlainSubfolder() const { return IsSubfolder() && !(data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT); }
  void Next() {
    while (FindNextFileA(find_.get(), &data_)) {
      if (ListingAccepts(data_.dwFileAttributes, accepted_)) return;
    }
    find_.reset();
  }

 private:
  WIN32_FIND_DATAA data_{};
  ScopedFindHandle find_;
  uint32_t accepted_;
};

bool WriteAll(HANDLE file, const std::string& content, uint32_t fileDate) {
  DWORD written = 0;
  const bool ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr) &&
                  written == content.size();
  SetFileDate(file, fileDate);
  return ok;
}

HANDLE CreateForWriting(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

unsigned SystemDriveType(const std::string& root) { return GetDriveTypeA(root.c_str()); }
DriveTypeFunction gDriveType = SystemDriveType;

template <typename TreeSearch>
std::string SearchDrives(const std::string& name, unsigned driveType, TreeSearch search) {
  // A and B are floppy letters and never visited.
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if (gDriveType(root) != driveType) continue;
    std::string hit = search(root, name);
    if (!hit.empty()) return hit;
  }
  return std::string();
}

}  // namespace

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}


int32_t FileSizeOf(const std::string& path) {
  WIN32_FIND_DATAA data;
  if (!ScopedFindHandle(FindFirstFileA(path.c_str(), &data))) return 0;
  // Every kind of entry is accepted here, so the first one is the answer.
  return int32_t(data.nFileSizeLow);
}

std::string ReadFilePart(const std::string& path, int32_t offset, int32_t maxLength) {
  if (!FileExists(path)) return std::string();
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::string();
  // Sizes beyond 2 GB read as negative and fail the range test, as offsets do.
  const int32_t size = int32_t(GetFileSize(file.get(), nullptr));
  if (offset < 0 || offset >= size) return std::string();
  int32_t count = size - offset;
  if (maxLength != 0) count = MinInt(maxLength, count);
  if (count <= 0) return std::string();
  if (SetFilePointer(file.get(), offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return std::string();
  std::string result(size_t(count), '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), &result[0], DWORD(count), &got, nullptr) || got != DWORD(count)) return std::string();
  return result;
}

// The packed date is local time; the file system keeps UTC.
void SetFileDate(void* file, uint32_t fileDate) {
  if (fileDate == 0) return;
  FILETIME local, utc;
  if (DosDateTimeToFileTime(WORD(fileDate >> 16), WORD(fileDate & 0xFFFF), &local) &&
      LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(file, nullptr, nullptr, &utc);
}

uint32_t FileDate(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD dosDate = 0, dosTime = 0;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime))
    return 0;
  return uint32_t(dosDate) << 16 | dosTime;
}

bool ForceFolders(const std::string& folder) {
  if (folder.empty()) return false;
  if (FolderExists(folder)) return true;
  const size_t cut = folder.find_last_of('\\');
  if (cut != std::string::npos && cut > 0 && folder[cut - 1] != ':' && folder[cut - 1] != '\\')
    ForceFolders(folder.substr(0, cut));
  return CreateDirectoryA(folder.c_str(), nullptr) != FALSE || FolderExists(folder);
}

bool WriteFileText(const std::string& path, const std::string& content, uint32_t fileDate) {
  ScopedFileHandle file(CreateForWriting(path));
  return file && WriteAll(file.get(), content, fileDate);
}

bool AppendFileText(const std::string& path, const std::string& content, uint32_t fileDate) {
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  // Only a missing file is created; one that exists but cannot be opened
  // (in use, no access) is never truncated.
  if (!file && GetLastError() == ERROR_FILE_NOT_FOUND) file.reset(CreateForWriting(path));
  if (!file) return false;
  if (!SeekFile(file.get(), 0, FILE_END)) return false;
  return WriteAll(file.get(), content, fileDate);
}

double DiskFreeBytes(const std::string& path) {
  const std::string root = DiskFreeRoot(path);
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  if (!GetDiskFreeSpaceA(root.empty() ? nullptr : root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters))
    return -1.0;
  const uint32_t clusterBytes = uint32_t(sectorsPerCluster * bytesPerSector);
  return double(clusterBytes) * double(freeClusters);
}

namespace {

// The first file (or folder) of the name at or below the folder, depth first.
std::string FindInTree(const std::string& folder, const std::string& name, bool wantFolder) {
  const std::string base = SetTrailingBackslash(folder, true);
  if (wantFolder) {
    if (PosFromEnd("\\" + name, folder) == 1) return folder;
  } else if (FileExists(base + name)) {
    return base + name;
  }
  for (Listing l(base + "*.*", kListSearch); l.Valid(); l.Next()) {
    if (!l.IsPlainSubfolder()) continue;
    std::string hit = FindInTree(base + l.Name(), name, wantFolder);
    if (!hit.empty()) return hit;
  }
  return std::string();
}

}  // namespace

std::string FindFileInTree(const std::string& folder, const std::string& fileName) {
  return FindInTree(folder, fileName, false);
}

std::string FindFolderInTree(const std::string& folder, const std::string& folderName) {
  return FindInTree(folder, folderName, true);
}

DriveTypeFunction SetDriveTypeFunction(DriveTypeFunction fn) {
  DriveTypeFunction previous = gDriveType;
  gDriveType = fn ? fn : SystemDriveType;
  return previous;
}

std::string FindFileOnDrives(const std::string& fileName, unsigned driveType) {
  return SearchDrives(fileName, driveType, FindFileInTree);
}

std::string FindFolderOnDrives(const std::string& folderName, unsigned driveType) {
  return SearchDrives(folderName, driveType, FindFolderInTree);
}

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
  std::string folder = FolderPart(mask);
  if (!folder.empty()) folder = SetTrailingBackslash(folder, true);
  bool matched = false;
  for (Listing l(mask, kListFiles); l.Valid(); l.Next()) {
    const std::string file = folder + l.Name();
    if (clearAttributes) SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(file.c_str());
    matched = true;
  }
  return matched;
}

std::string ShortPathName(const std::string& path) {
  char buf[MAX_PATH];
  const DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
  return n == 0 || n >= sizeof buf ? std::string() : std::string(buf, n);
}

bool DeleteTree(const std::string& folder, bool clearAttributes) {
  if (folder.empty()) return false;
  int count = FolderExists(folder) ? 1 : 0;
  DeleteFiles(folder + "\\*.*", clearAttributes);
  for (Listing l(folder + "\\*.*", kListPlainFolders); l.Valid(); l.Next()) {
    if (!l.IsSubfolder()) continue;
    const std::string sub = PathJoin(folder, l.Name());
    // A link is removed as it stands; what it points to is left alone.
    if (l.IsPlainSubfolder()) DeleteTree(sub, clearAttributes);
    RemoveDirectoryA(sub.c_str());
  }
  RemoveDirectoryA(folder.c_str());
  if (!FolderExists(folder)) ++count;
  return count == 2;
}

bool ClearReadOnly(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  return !(a & FILE_ATTRIBUTE_READONLY) || SetFileAttributesA(path.c_str(), a & ~DWORD(FILE_ATTRIBUTE_READONLY));
}

bool CopyFileWritable(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) && ClearReadOnly(to);
}

void SelfRemove(bool removeFolder, bool shortNames) { SelfRemoveWithin(removeFolder, shortNames, kSelfRemoveTries); }

void SelfRemoveWithin(bool removeFolder, bool shortNames, int tries) {
  const std::string batchPath = TempDir(true) + "_DEL_ME_.BAT";
  // DEL refuses a read-only file; the program may still change its own
  // attributes while it runs.
  ClearReadOnly(ProgramFile());
  // The file has to exist before its short name can be asked for.
  WriteFileText(batchPath, "ABC\r\n", 0);
  std::string programPath = ProgramFile();
  std::string programFolder = ProgramDir(false);
  std::string batchName = batchPath;
  if (shortNames) {
    // A path without a short form stays long (and quoted, see BatchPathArgument).
    const auto shortOrLong = [](const std::string& path) {
      const std::string shortPath = ShortPathName(path);
      return shortPath.empty() ? path : shortPath;
    };
    programPath = shortOrLong(programPath);
    programFolder = shortOrLong(programFolder);
    batchName = shortOrLong(batchName);
  }
  WriteFileText(batchPath,
                SelfRemoveBatchText(BatchPathArgument(programPath, shortNames),
                                    BatchPathArgument(programFolder, shortNames),
                                    BatchPathArgument(batchName, shortNames), removeFolder, tries),
                0);
  // Quoted when it holds a blank, so "C:\Documents and Settings\..." never
  // starts "C:\Documents.exe".
  WinExec(QuoteProgramPath(batchPath).c_str(), SW_HIDE);
}
