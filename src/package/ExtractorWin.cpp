#include "package/ExtractorWin.h"

#include <windows.h>

#include "environment/FilesWin.h"
#include "package/Inflate.h"
#include "package/PackageReader.h"
#include "package/PackageReaderWin.h"
#include "support/UtilsWin.h"

namespace {

bool gAlternativeChosen = false;
std::string gAlternativeTempRoot;
std::string gAlternativeExtractionFolder;

// The window's messages are pumped during extraction once this many
// milliseconds have passed since the last pump, all waiting ones at once: the
// window repaints and takes a close request about 20 times a second, and the
// work pays for a pump (~0.1 ms under Wine) that often, not after every read.
constexpr DWORD kPumpIntervalMs = 50;
DWORD gLastPump = 0;

void PumpWhenDue() {
  const DWORD now = GetTickCount();
  if (now - gLastPump < kPumpIntervalMs) return;
  PumpWaitingMessages();
  gLastPump = GetTickCount();
}

// Reads pump when due, so the checksum pass and reading members keep the
// window alive.
class PumpingSource : public ByteSource {
 public:
  explicit PumpingSource(ByteSource& inner) : inner_(inner) {}
  int64_t Size() override { return inner_.Size(); }
  size_t ReadAt(int64_t offset, void* buf, size_t n) override {
    size_t got = inner_.ReadAt(offset, buf, n);
    PumpWhenDue();
    return got;
  }

 private:
  ByteSource& inner_;
};

// Takes one member's inflated bytes: collects the header up to the first NUL,
// then streams the content into its file, so a member of any size needs only
// a fixed buffer. A member that fails to inflate leaves no file behind.
class MemberWriter : public InflateSink {
 public:
  MemberWriter(const std::string& folder, ExtractResult& result) : folder_(folder), result_(result) {}
  ~MemberWriter() override { Abandon(); }

  bool Write(const char* data, size_t n) override {
    // A small stored piece may inflate to much output: pump here too, and stop
    // once the program is asked to end.
    PumpWhenDue();
    if (QuitRequested()) return false;
    if (!inContent_) {
      const char* nul = static_cast<const char*>(memchr(data, 0, n));
      size_t take = nul ? size_t(nul - data) : n;
      if (header_.size() < kMaxHeader) header_.append(data, take < kMaxHeader ? take : kMaxHeader);
      if (!nul) return true;
      inContent_ = true;
      Begin();
      data = nul + 1;
      n -= take + 1;
    }
    if (file_ && n > 0) {
      DWORD written = 0;
      if (!WriteFile(file_.get(), data, DWORD(n), &written, nullptr) || written != n) SaveFailed();
    }
    return true;
  }

  // After the whole stream inflated: date, close, and the run marker.
  void Complete(std::string& runSpecification) {
    if (!inContent_) return;  // no NUL: nothing written for this member
    if (file_) {
      SetFileDate(file_.get(), header_info_.dosDate);
      file_.reset();
    }
    // Only a member written into the folder can be the program to run.
    if (header_info_.isRunTarget && IsPlainMemberName(header_info_.fileName)) runSpecification = header_info_.name;
  }

  // A corrupt or truncated member: remove what was written of it.
  void Abandon() {
    if (!file_) return;
    file_.reset();
    DeleteFileA(path_.c_str());
  }

 private:
  static constexpr size_t kMaxHeader = 65536;

  void Begin() {
    if (header_.empty() || header_.size() >= kMaxHeader) return;  // no header: nothing to write
    header_info_ = ParseMemberHeader(header_);
    path_ = PathJoin(folder_, header_info_.fileName);
    // A name that is not a plain file name would write outside the folder.
    if (!IsPlainMemberName(header_info_.fileName)) {
      SaveFailed();
      return;
    }
    file_.reset(CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) SaveFailed();
  }

  void SaveFailed() {
    file_.reset();
    if (result_.saveFailures++ == 0) result_.firstFailedPath = path_;
  }

  std::string folder_;
  std::string header_;
  MemberHeader header_info_;
  std::string path_;
  bool inContent_ = false;
  ScopedFileHandle file_;
  ExtractResult& result_;
};

// Writes the auto-update program beside the extracted files: the image and
// header records of the package with its own trailer flagged as the
// auto-update program, and no logical end, so readers take the trailer from
// the copy's physical end.
void WriteAutoUpdateCopy(ByteSource& package, const std::string& packageFile, int64_t firstMemberOffset,
                         const std::string& folder, const std::string& autoUpdateName) {
  TrailerCopy trailer;
  ReadTrailer(package, trailer);
  if (firstMemberOffset <= kPEOffset) return;
  std::string image(size_t(firstMemberOffset), '\0');
  if (package.ReadAt(0, &image[0], image.size()) != image.size()) return;
  StoreLE32(reinterpret_cast<uint8_t*>(&image[kLogicalEndOffset]), 0);
  trailer.bytes[kFlagIsAutoUpdateProgram] = 1;
  trailer.length = kTrailerLength;
  image += trailer.Serialize();
  WriteFileText(PathJoin(folder, autoUpdateName), image, FileDate(packageFile));
}

// Probes C, D and E once and picks the fixed drive with the most free space.
void ChooseAlternativeTempRoot() {
  if (gAlternativeChosen) return;
  gAlternativeChosen = true;
  double freeBytes[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    std::string probe = "C:\\TEMP";
    probe[0] = char('C' + i);
    if (GetDriveTypeA(probe.substr(0, 3).c_str()) != DRIVE_FIXED) continue;
    if (FolderExists(probe)) probe += "\\TEMP" + RandomNumberText(10000, 100000);
    ForceFolders(probe);
    const std::string marker = probe + "\\~aa.tmp";
    WriteFileText(marker, "aa", 0);
    if (FileExists(marker)) freeBytes[i] = DiskFreeBytes(probe);
    DeleteTree(probe, false);
  }
  const std::string temp = TempDir(true);
  const char choice = ChooseTempDrive(temp.empty() ? 'C' : temp[0], freeBytes);
  if (temp.empty() || choice != UpperCase(temp.substr(0, 1))[0]) {
    gAlternativeTempRoot = "C:\\TEMP";
    gAlternativeTempRoot[0] = choice;
    if (FolderExists(gAlternativeTempRoot)) gAlternativeTempRoot += "\\TEMP";
  }
}

}  // namespace

std::string AlternativeExtractionFolder() {
  ChooseAlternativeTempRoot();
  if (gAlternativeExtractionFolder.empty() && !gAlternativeTempRoot.empty()) {
    gAlternativeExtractionFolder = gAlternativeTempRoot + "_" + RandomNumberText(10000, 100000);
    ForceFolders(gAlternativeExtractionFolder);
  }
  return gAlternativeExtractionFolder;
}

void RemoveAlternativeExtractionFolder() {
  // The name stays for the life of the process; extraction creates it again.
  if (!gAlternativeExtractionFolder.empty()) DeleteTree(gAlternativeExtractionFolder, false);
}

void WriteWebSetupAutoUpdateProgram(const std::string& folder, const std::string& name) {
  const std::string self = ProgramFile();
  std::string image = ReadFilePart(self, 0, 0);
  // The flag's place counted from the end of a whole trailer at the file's end.
  const size_t fromEnd = kTrailerLength - kFlagIsAutoUpdateProgram;
  if (image.size() > fromEnd) image[image.size() - fromEnd] = 1;
  WriteFileText(PathJoin(folder, name), image, FileDate(self));
}

std::string ExtractionFolder() {
  static std::string folder;
  if (folder.empty()) folder = ClaimExtractionFolder(TempDir(true) + "SETUP_" + IntToText(FileDate(ProgramFile()) & 0xFFFF));
  return folder;
}

std::string ClaimExtractionFolder(const std::string& name) {
  const std::string parent = FolderPart(name);
  if (!parent.empty()) ForceFolders(parent);
  // Creating a folder is atomic: of two starts only one gets a given name.
  if (CreateDirectoryA(name.c_str(), nullptr)) return name;
  // Taken already (another setup whose file has the same time stamp, or one
  // that ended without cleaning up): a fresh sibling no one holds.
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    for (int n = 1; n <= 1000; ++n) {
      const std::string sibling = name + "_" + IntToText(n);
      if (CreateDirectoryA(sibling.c_str(), nullptr)) return sibling;
      if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
  }
  // Not creatable at all: keep the name; extraction reports the folder.
  ForceFolders(name);
  return name;
}

ExtractResult ExtractPackage(const std::string& packageFile, const std::string& folder,
                             const std::string& autoUpdateName, ProgressSink& progress) {
  ExtractResult r;
  progress.Progress(0, 0, 0, 0, 1);
  if (!FileExists(packageFile)) return r;

  Win32FileSource file(packageFile);
  // Reads pump messages when due, so the window stays live; the members'
  // reads also feed the package sum, so the package is read once.
  PumpingSource pumping(file);
  TrailerCopy trailer;
  const bool hasTrailer = ReadTrailer(file, trailer);
  ChecksummingSource source(pumping, trailer.length);
  // Without a trailer to compare with, the package is bad whatever it sums to.
  const auto verdict = [&] { return hasTrailer && source.Finish() == trailer.Word(kTrailerChecksum); };
  const int64_t end = LogicalEnd(file);
  if (!trailer.HasMagic()) {
    r.checksumOk = verdict();
    return r;
  }

  int64_t position = trailer.Word(kTrailerHeaderOffset);
  progress.Progress(0, 0, int(trailer.Word(kTrailerMemberCount)) + 2, 0, 1);
  r.folderFailed = !ForceFolders(folder);

  int64_t firstMemberOffset = 0;
  for (int i = 0;; ++i) {
    progress.Progress(1, 0, 0, 0, 1);
    PumpWhenDue();
    if (QuitRequested()) {
      r.stopped = true;
      break;
    }
    uint32_t length = 0;
    if (!ReadWord(file, position, length)) {
      r.corrupt = i >= 2 || r.corrupt;  // the file ends where a record should be
      break;
    }
    const int64_t stored = position + 4;
    position = stored + length;
    if (i >= 2 && position > end) {
      r.corrupt = true;  // the member runs past the end of the package: truncated
      break;
    }
    if (i == 1) firstMemberOffset = position;
    if (i >= 2) {
      MemberWriter writer(folder, r);
      const EZLibError error = InflateMemberFrom(source, stored, length, writer);
      if (error.raised) {
        writer.Abandon();
        // The writer refuses the rest of a member once the program is asked to end.
        (QuitRequested() ? r.stopped : r.corrupt) = true;
        break;
      }
      writer.Complete(r.runSpecification);
    }
    if (end - position <= kTrailerLength) break;
  }

  r.checksumOk = verdict();
  const std::string copyName = FileNamePart(autoUpdateName);
  if (!r.corrupt && !r.stopped && !copyName.empty() && PosFromEnd(".exe", packageFile) == 1)
    WriteAutoUpdateCopy(file, packageFile, firstMemberOffset, folder, copyName);
  return r;
}

bool EnoughTempSpace(const std::string& folder, const std::string& packageFile) {
  TGFileInfo info;
  info.Create(packageFile);
  return info.RequiredSpace(folder) < DiskFreeBytes(folder) && FolderExists(folder);
}

