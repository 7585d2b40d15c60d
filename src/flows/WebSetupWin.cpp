#include "flows/WebSetupWin.h"

#include <windows.h>

#include "environment/FilesWin.h"
#include "flows/RoadsWin.h"
#include "flows/SetupRun.h"
#include "flows/SetupRunWin.h"
#include "flows/UpdateFetchWin.h"
#include "package/PackageReaderWin.h"
#include "support/UtilsWin.h"
#include "update/HttpClientWin.h"
#include "update/SettingsWin.h"
#include "update/UpdateFetchWin.h"

namespace {

const char kDeclined[] = "!";  // a declined question: nothing to show

// The download question, with the package's size when the package gives one.
std::string DownloadQuestion() {
  std::string question = MessageTextOrOwn("s1");
  int64_t size = 0;
  if (!TextToInt64(OwnPackage->PackageSizeText(), size)) size = 0;
  if (size > 0) question += "<P>Size: " + FormatMegabytes(double(size)) + " MB<P>";
  return question;
}

// Fetches the package from address into package, asking first when the
// package says so. The message for the user, empty when the package stands.
std::string Download(View& view, const std::string& address, const std::string& package) {
  std::string message;
  view.SetStatusText("Downloading File...");
  if (OwnPackage->AskBeforeDownload() && !StyledAskYesNo(view, BoxOwner::Active, DownloadQuestion()))
    message = kDeclined;
  if (!IsOnline()) message = MessageTextOrOwn("s2");
  DownloadAbort = false;
  if (!message.empty()) return message;

  // A file already at this name (left by a run that died, or placed there)
  // is not the package on the server: only what this download completes is
  // checked and run.
  DeleteFileA(package.c_str());
  ViewProgressWindow window(view);
  std::string content;
  HttpDownload(&window, address, package, message, &view, content);
  if (message.empty() && !FileExists(package))
    message = address + "\\\\n\\\\n" + MessageTextOrOwn("s5");
  return message;
}

}  // namespace

void WebSetupDownload(View& view, const std::string& folder, const std::string& location,
                      const std::string& fileName) {
  if (!OwnPackage) return;
  const std::string address = location + "/" + fileName;
  std::string message;
  std::string package = SetTrailingBackslash(location, true) + fileName;
  bool downloaded = false;
  if (!FileExists(package)) {
    package = TempDir(true) + fileName;
    message = Download(view, address, package);
    downloaded = message.empty();
  }

  if (message.empty()) {
    TGFileInfo reader;
    reader.Create(package);
    if (!reader.SameWebToken(*OwnPackage)) message = FileErrorPageText(package, address, "Bad Secret Token!");
  }
  // The web road always runs visibly: "/hide" and run-hidden do not apply.
  if (message.empty()) ExtractAndRun(view, folder, package, std::string(), std::string(), true);
  if (downloaded) DeleteFileA(package.c_str());
  if (!message.empty() && message != kDeclined)
    StyledErrorBox(view, BoxOwner::Titled, message);
}
