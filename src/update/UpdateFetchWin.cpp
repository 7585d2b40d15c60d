#include "update/UpdateFetchWin.h"

#include <windows.h>

#include "environment/FilesWin.h"
#include "support/UtilsWin.h"
#include "update/HttpClientWin.h"
#include "update/SettingsWin.h"

namespace {

const int32_t kErrorPageProbe = 10000;  // bytes of a file looked at for an error page

std::string UpdateLocationOf(const std::string& location) { return TestModeOn() ? TestModeURL() : location; }

}  // namespace

std::string FileErrorPageText(const std::string& localFile, const std::string& url,
                              const std::string& defaultMessage) {
  std::string content;
  if (!localFile.empty() && FileExists(localFile)) {
    // ReadFilePart gives nothing when fewer bytes than asked are there.
    const int32_t size = FileSizeOf(localFile);
    content = ReadFilePart(localFile, 0, size < kErrorPageProbe ? size : kErrorPageProbe);
  }
  return ErrorPageText(content, url, defaultMessage);
}

UpdateSource ChooseUpdateSource(const std::string& location, const std::string& file, int kind) {
  UpdateSource s;
  s.kind = kind;
  s.name = FileNamePart(file);
  const std::string where = UpdateLocationOf(location);
  s.source = FolderSource(where, s.name);
  s.localCopy = ProgramDir(true) + s.name;
  s.inFolder = FileExists(s.source);
  s.overWeb = !s.inFolder && !TestModeOn() && IsOnline();
  if (s.overWeb) s.source = WebSource(where, s.name);
  return s;
}

UpdateTransfer CopyFromFolder(const UpdateSource& s) {
  UpdateTransfer t;
  t.content = ReadFilePart(s.source, 0, 0);
  if (s.kind == kUpdateFile && !t.content.empty()) t.fetched = WriteFileText(s.localCopy, t.content, 0);
  return t;
}

UpdateTransfer DownloadFromWeb(const UpdateSource& s, ProgressWindow* window, ProgressSink* progress) {
  UpdateTransfer t;
  DownloadAbort = false;
  std::string dest;
  if (s.kind == kUpdateFile) {
    dest = s.localCopy;
    // Whatever stands at the local copy now is not this download: an early
    // end must not leave an older package there to be checked and run.
    DeleteFileA(dest.c_str());
  }
  HttpDownload(window, s.source, dest, t.error, progress, t.content);
  t.fetched = !dest.empty() && t.error.empty() && FileExists(dest);
  return t;
}

FetchOutcome FinishUpdateFetch(const UpdateSource& s, const UpdateTransfer& t, const TGFileInfo* own) {
  FetchOutcome o;
  if (s.kind == kInfoFile) {
    // Failures of the info file are never shown.
    if (t.error.empty() && !t.content.empty() && ErrorPageText(t.content, s.source, std::string()).empty())
      o.result = WriteFileText(s.localCopy, t.content, 0);
    return o;
  }
  if (t.error.empty()) {
    // Only what this fetch wrote is checked: an older file at the local copy
    // (a transfer that ended early, nothing in the folder) never passes.
    TGFileInfo reader;
    if (t.fetched) reader.Create(s.localCopy);
    o.result = own && own->SameUpdateToken(reader);
    if (!o.result) {
      o.message = FileErrorPageText(s.localCopy, s.source, "Bad Secret Token!");
      DeleteFileA(s.localCopy.c_str());
      o.box = FetchBox::Error;
    }
  } else if (s.source.size() > 2 && RequestConfirmationBeforeDownload()) {
    o.box = FetchBox::Warning;
    o.message = TransferWarningText(DownloadAbort, s.source, MessageTextOrOwn("s3"),
                                    MessageTextOrOwn("s4"), MessageTextOrOwn("s5"));
  }
  return o;
}

bool UpdateFileAvailable(const std::string& location, const std::string& file) {
  const std::string name = FileNamePart(file);
  const std::string where = UpdateLocationOf(location);
  int32_t size = -1;
  if (FileExists(FolderSource(where, name)))
    size = FileSizeOf(FolderSource(where, name));
  else if (!TestModeOn() && IsOnline())
    size = RemoteFileSize(WebSource(where, name));
  return size == SizeOfUpdateFile();
}
