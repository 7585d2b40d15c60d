#include "package/UnPack.h"

#include <commctrl.h>

#include <memory>

#include "environment/Files.h"
#include "environment/Process.h"
#include "package/PackX.h"
#include "package/PackXWin.h"
#include "package/UnPackCore.h"
#include "package/ZLibOpen.h"
#include "stub/Stub.h"
#include "stub/StubWin.h"
#include "support/KMsgBox.h"
#include "support/UtilsRegistry.h"
#include "support/UtilsWin.h"

namespace {

const char kCaptions[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char kAckAtomPrefix[] = "AutoUpdateAtomTokenByKovrex";
const char kDialogClassPrefix[] = ".SDialog_Class_Name.";

int gSaveFailures = 0;  // only the first failure in the process is reported
bool gAlternativeChosen = false;
std::string gAlternativeTempRoot;
std::string gAlternativeExtractionFolder;

void ShowError(const std::string& text) { ErrorBox(nullptr, text, "Error", 0, kCaptions); }

// The DOS date-and-time stamp of a file's last write, in local time.
uint32_t FileDosStamp(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD dosDate = 0, dosTime = 0;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime))
    return 0;
  return uint32_t(dosDate) << 16 | dosTime;
}

// Creates a folder with all its missing parents.
bool ForceFolder(const std::string& folder) {
  if (folder.empty()) return false;
  if (FolderExists(folder)) return true;
  size_t cut = folder.find_last_of('\\');
  if (cut != std::string::npos && cut > 0 && folder[cut - 1] != ':' && folder[cut - 1] != '\\')
    ForceFolder(folder.substr(0, cut));
  return CreateDirectoryA(folder.c_str(), nullptr) != FALSE || FolderExists(folder);
}

// Every read piece pumps one message, so the window stays alive during long work.
class PumpingSource : public ByteSource {
 public:
  explicit PumpingSource(ByteSource& inner) : inner_(inner) {}
  int64_t Size() override { return inner_.Size(); }
  size_t ReadAt(int64_t offset, void* buf, size_t n) override {
    size_t got = inner_.ReadAt(offset, buf, n);
    PumpMessage();
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
  explicit MemberWriter(const std::string& folder) : folder_(folder) {}
  ~MemberWriter() override { Abandon(); }

  bool Write(const char* data, size_t n) override {
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
    if (file_ != INVALID_HANDLE_VALUE && n > 0) {
      DWORD written = 0;
      if (!WriteFile(file_, data, DWORD(n), &written, nullptr) || written != n) SaveFailed();
    }
    return true;
  }

  // After the whole stream inflated: date, close, and the run marker.
  void Complete(std::string& runSpecification) {
    if (!inContent_) return;  // no NUL: nothing written for this member
    if (file_ != INVALID_HANDLE_VALUE) {
      if (header_info_.dosDate != 0) {
        FILETIME local, utc;
        if (DosDateTimeToFileTime(HIWORD(header_info_.dosDate), LOWORD(header_info_.dosDate), &local) &&
            LocalFileTimeToFileTime(&local, &utc))
          SetFileTime(file_, nullptr, nullptr, &utc);
      }
      CloseHandle(file_);
      file_ = INVALID_HANDLE_VALUE;
    }
    // Only a member written into the folder can be the program to run.
    if (header_info_.isRunTarget && IsPlainMemberName(header_info_.fileName)) runSpecification = header_info_.name;
  }

  // A corrupt or truncated member: remove what was written of it.
  void Abandon() {
    if (file_ == INVALID_HANDLE_VALUE) return;
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    DeleteFileA(path_.c_str());
  }

 private:
  static constexpr size_t kMaxHeader = 65536;

  void Begin() {
    if (header_.empty() || header_.size() >= kMaxHeader) return;  // no header: nothing to write
    header_info_ = ParseMemberHeader(header_);
    path_ = folder_ + "\\" + header_info_.fileName;
    // A name that is not a plain file name would write outside the folder.
    if (!IsPlainMemberName(header_info_.fileName)) {
      SaveFailed();
      return;
    }
    file_ = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (file_ == INVALID_HANDLE_VALUE) SaveFailed();
  }

  void SaveFailed() {
    if (file_ != INVALID_HANDLE_VALUE) {
      CloseHandle(file_);
      file_ = INVALID_HANDLE_VALUE;
    }
    if (++gSaveFailures == 1) ShowError(path_ + "\\\\n\\\\nUnable to save Extracted File!");
  }

  std::string folder_;
  std::string header_;
  MemberHeader header_info_;
  std::string path_;
  bool inContent_ = false;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

bool ReadWordAt(ByteSource& source, int64_t offset, uint32_t& value) {
  uint8_t b[4];
  if (source.ReadAt(offset, b, 4) != 4) return false;
  value = LoadLE32(b);
  return true;
}

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
  WriteFileText(folder + "\\" + autoUpdateName, image, FileDosStamp(packageFile));
}

std::string ThreadToken() { return "_" + IntToText(int64_t(GetCurrentThreadId())); }

// Removes the link file named by a setting when the new info file asks for it.
void RemoveShortcut(const std::string& infoFile, const char* removeKey, const std::string& link) {
  if (IniReadString(infoFile, "NewSetup", removeKey, "0") == "1" && !link.empty() && FileExists(link))
    DeleteFileA(link.c_str());
}

// Probes C, D and E once and picks the fixed drive with the most free space.
void ChooseAlternativeTempRoot() {
  if (gAlternativeChosen) return;
  gAlternativeChosen = true;
  double freeBytes[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const std::string root = std::string(1, char('C' + i)) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED) continue;
    std::string probe = root + "TEMP";
    if (FolderExists(probe)) probe += "\\TEMP" + RandomNumberText(10000, 100000);
    ForceFolder(probe);
    WriteFileText(probe + "\\~aa.tmp", "aa", 0);
    if (FileExists(probe + "\\~aa.tmp")) freeBytes[i] = DiskFreeBytes(probe);
    DeleteTree(probe, false);
  }
  const std::string temp = TempDir(true);
  const char choice = ChooseTempDrive(temp.empty() ? 'C' : temp[0], freeBytes);
  if (temp.empty() || choice != UpperCase(temp.substr(0, 1))[0]) {
    gAlternativeTempRoot = std::string(1, choice) + ":\\TEMP";
    if (FolderExists(gAlternativeTempRoot)) gAlternativeTempRoot += "\\TEMP";
  }
}

std::string AlternativeExtractionFolder() {
  if (gAlternativeExtractionFolder.empty() && !gAlternativeTempRoot.empty()) {
    gAlternativeExtractionFolder = gAlternativeTempRoot + "_" + RandomNumberText(10000, 100000);
    ForceFolder(gAlternativeExtractionFolder);
  }
  return gAlternativeExtractionFolder;
}

// The auto-update program of a web setup: this very file, flagged as the
// auto-update program in the trailer at its end.
void WriteWebSetupAutoUpdateProgram(const std::string& name) {
  const std::string self = ProgramFile();
  std::string image = ReadFilePart(self, 0, 0);
  if (image.size() > 5) image[image.size() - 5] = 1;
  WriteFileText(ExtractionFolder() + "\\" + name, image, FileDosStamp(self));
}

}  // namespace

std::string ExtractionFolder() {
  static std::string folder;
  if (folder.empty()) {
    folder = TempDir(true) + "SETUP_" + IntToText(FileDosStamp(ProgramFile()) & 0xFFFF);
    ForceFolder(folder);
  }
  return folder;
}

void ExtractionProgress(int kind, int low, int high, int position, int step) {
  if (kind == 0) {
    SendMessageA(ProgressBar, PBM_SETRANGE, WPARAM(low), MAKELPARAM(0, high));
    SendMessageA(ProgressBar, PBM_SETPOS, WPARAM(position), 0);
    SendMessageA(ProgressBar, PBM_SETSTEP, WPARAM(step), 0);
  } else if (kind == 1) {
    SendMessageA(ProgressBar, PBM_STEPIT, 0, 0);
  }
}

ExtractResult ExtractPackage(const std::string& packageFile, const std::string& folder,
                             const std::string& autoUpdateName, ProgressRoutine progress) {
  ExtractResult r;
  progress(0, 0, 0, 0, 1);
  if (!FileExists(packageFile)) return r;

  Win32FileSource file(packageFile);
  PumpingSource source(file);
  TrailerCopy trailer;
  ReadTrailer(file, trailer);
  r.checksumOk = PackageChecksum(file, trailer.length) == trailer.Word(kTrailerChecksum);
  const int64_t end = LogicalEnd(file);
  if (!trailer.HasMagic()) return r;

  int64_t position = trailer.Word(kTrailerHeaderOffset);
  progress(0, 0, int(trailer.Word(kTrailerMemberCount)) + 2, 0, 1);
  if (!ForceFolder(folder)) ShowError(folder + "\\\\n\\\\nUnable to create Directory!");

  int64_t firstMemberOffset = 0;
  for (int i = 0;; ++i) {
    progress(1, 0, 0, 0, 1);
    PumpMessage();
    uint32_t length = 0;
    if (!ReadWordAt(file, position, length)) {
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
      MemberWriter writer(folder);
      const EZLibError error = InflateMemberFrom(source, stored, length, writer);
      if (error.raised) {
        writer.Abandon();
        r.corrupt = true;
        break;
      }
      writer.Complete(r.runSpecification);
    }
    if (end - position <= 74) break;
  }

  const std::string copyName = FileNamePart(autoUpdateName);
  if (!r.corrupt && !copyName.empty() && PosFromEnd(".exe", packageFile) == 1)
    WriteAutoUpdateCopy(file, packageFile, firstMemberOffset, folder, copyName);
  return r;
}

bool EnoughTempSpace(const std::string& folder, const std::string& packageFile) {
  TGFileInfo info;
  info.Create(packageFile);
  return info.RequiredSpace(folder) < DiskFreeBytes(folder) && FolderExists(folder);
}

bool ConfirmTempSpace(const std::string& folder, const std::string& packageFile) {
  TGFileInfo info;
  info.Create(packageFile);
  const std::string text =
      ConfirmTempSpaceText(info.ConfirmTempDrive(), info.RequiredSpace(folder), DiskFreeBytes(folder), folder);
  return text.empty() || AskYesNo(nullptr, text, "Confirm", 0, kCaptions);
}

bool ExtractAndRun(const std::string& folderIn, const std::string& packageFile, const std::string& autoUpdateName,
                   const std::string& extraArguments, bool visible) {
  std::string folder = folderIn;
  bool acknowledged = false;
  SetStatusText("Extracting Files...");
  if (!EnoughTempSpace(folder, packageFile)) {
    ChooseAlternativeTempRoot();
    if (!gAlternativeTempRoot.empty()) folder = AlternativeExtractionFolder();
  }

  if (!visible || ConfirmTempSpace(folder, packageFile)) {
    if (visible && WizardWindow) ShowWindow(WizardWindow, SW_SHOW);
    WaitPumping(1000);
    const ExtractResult r = ExtractPackage(packageFile, folder, autoUpdateName, ExtractionProgress);
    WaitPumping(1000);

    if (!r.corrupt && !r.runSpecification.empty() && r.checksumOk) {
      const std::string token = ThreadToken();
      const SetupCommand setup = BuildSetupCommand(folder, r.runSpecification, extraArguments, token,
                                                   ThisIs_AutoUpdateProg);
      const std::string here = ProgramDir(true);
      const std::string originalInfo = here + (OwnPackage ? OwnPackage->OriginalInfoFileName() : std::string());
      const std::string startUpLink = IniReadString(originalInfo, "UnInstall", "StartUpLink", "");
      const std::string updateLink = IniReadString(originalInfo, "UnInstall", "CheckforNewUpdateLink", "");

      const std::string atomName = kAckAtomPrefix + token;
      GlobalAddAtomA(atomName.c_str());
      WinExec(setup.command.c_str(), visible ? SW_SHOW : SW_HIDE);
      if (WizardWindow) ShowWindow(WizardWindow, SW_HIDE);
      WaitPumping(1000);
      WaitForExit(setup.path);
      WaitWhileWindow((kDialogClassPrefix + token).c_str(), nullptr);
      WaitPumping(1000);
      ATOM atom = GlobalFindAtomA(atomName.c_str());
      acknowledged = atom == 0;
      // Our own reference goes in any case (the setup deleted its own).
      if (atom) GlobalDeleteAtom(atom);

      if (acknowledged) {
        const std::string info = here + (OwnPackage ? OwnPackage->InfoFileName() : std::string());
        RemoveShortcut(info, "RemoveStartUpShortcut", startUpLink);
        RemoveShortcut(info, "RemoveCheckForNewUpdateShortcut", updateLink);
      }
    }
    // A damaged package is a bad checksum too: it never starts anything.
    if (!r.checksumOk || r.corrupt) ShowError("Bad CRC!");
  }

  // The name stays for the life of the process; extraction creates it again.
  if (!gAlternativeExtractionFolder.empty()) DeleteTree(gAlternativeExtractionFolder, false);
  return acknowledged;
}

// Placeholder until the web download of the setup package is built.
void WebSetupDownload(const std::string&, const std::string&, const std::string&) {}

void RunSetupStub(HWND wizard) {
  KillTimer(wizard, 1);
  const std::string copyName = OwnPackage && OwnPackage->InstallAutoUpdateProgram() ? OwnPackage->AutoUpdateExeName()
                                                                                     : std::string();
  if (OwnPackage && OwnPackage->IsWebSetup()) {
    if (!copyName.empty()) WriteWebSetupAutoUpdateProgram(FileNamePart(copyName));
    std::string location = OwnPackage->DownloadLocation();
    if (!OwnPackage->AlwaysDownload() && FileExists(ProgramDir(true) + OwnPackage->PackageFileName()))
      location = ProgramDir(false);
    WebSetupDownload(ExtractionFolder(), location, OwnPackage->PackageFileName());
  } else {
    const bool hidden = HasSwitch("/hide") || (OwnPackage && OwnPackage->RunSetupHidden());
    ExtractAndRun(ExtractionFolder(), ProgramFile(), copyName, CommandTail(), !hidden);
  }
  DeleteTree(ExtractionFolder(), false);
  PostQuitMessage(0);
}
