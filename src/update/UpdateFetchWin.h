// Fetching the info file and the update file from the update location (a
// local or network folder, or a web folder over HTTP) into the program's
// folder. The steps are mechanisms: they report what happened, and the flow
// that runs them tells the user.
#pragma once

#include <string>

#include "package/PackageReader.h"
#include "support/Progress.h"
#include "update/HttpClient.h"
#include "update/UpdateFetch.h"

// Where one fetch takes its file from.
struct UpdateSource {
  int kind = kInfoFile;
  std::string name;       // the file-name part of the file asked for
  std::string source;     // the folder form, or the web form when fetched over HTTP
  std::string localCopy;  // the program's folder + name
  bool inFolder = false;  // a file stands at the folder form
  bool overWeb = false;   // none there, test mode off and online: fetched over HTTP
};

// What a fetch brought: the transfer's error text (empty on success) and,
// for the info file or a file read from a folder, its bytes.
struct UpdateTransfer {
  std::string error;
  std::string content;
  bool fetched = false;  // the update file: this fetch wrote the local copy
};

// What the user is to be told about a fetch, and its result.
enum class FetchBox { None, Error, Warning };
struct FetchOutcome {
  bool result = false;  // a usable local copy stands
  FetchBox box = FetchBox::None;
  std::string message;
};

// location is replaced by TestModeURL while test mode is on.
UpdateSource ChooseUpdateSource(const std::string& location, const std::string& file, int kind);
// Reads the file at the folder form; the update file is also copied to the
// local copy.
UpdateTransfer CopyFromFolder(const UpdateSource& s);
// Downloads the web form: the info file into memory, the update file to the
// local copy. Clears DownloadAbort first.
UpdateTransfer DownloadFromWeb(const UpdateSource& s, ProgressWindow* window, ProgressSink* progress);
// Checks what was fetched: writes the info file unless it is empty or an
// error page; checks the update file's secret token against the running
// program's package (own; none never matches) and deletes a foreign one.
// Says which box the user is to see.
FetchOutcome FinishUpdateFetch(const UpdateSource& s, const UpdateTransfer& t, const TGFileInfo* own);

// True when the update file stands at the location with exactly the size
// [NewSetup] SizeOfUpdateFile.
bool UpdateFileAvailable(const std::string& location, const std::string& file);

// An error page (or any file) at localFile as ErrorPageText sees it: its
// first 10000 bytes.
std::string FileErrorPageText(const std::string& localFile, const std::string& url,
                              const std::string& defaultMessage);
