#include "flows/UpdateFetchWin.h"

#include "flows/RoadsWin.h"
#include "support/UtilsWin.h"
#include "update/SettingsWin.h"
#include "update/UpdateFetchWin.h"

BoxStyle MsgBoxStyle(const char* titleKey) {
  BoxStyle style;
  style.caption = BoxTitle(titleKey);
  style.charset = CharSet();
  style.buttons = BtnText();
  return style;
}

void StyledErrorBox(View& view, BoxOwner owner, const std::string& text) {
  view.ErrorBox(owner, text, MsgBoxStyle("Error"));
}
void StyledWarningBox(View& view, BoxOwner owner, const std::string& text) {
  view.WarningBox(owner, text, MsgBoxStyle("Attention"));
}
bool StyledAskYesNo(View& view, BoxOwner owner, const std::string& text) {
  return view.AskYesNo(owner, text, MsgBoxStyle("Confirm"));
}

bool FetchUpdateFile(View& view, const std::string& location, const std::string& file, int kind, bool interactive) {
  const UpdateSource s = ChooseUpdateSource(location, file, kind);
  UpdateTransfer t;
  if (s.inFolder) {
    t = CopyFromFolder(s);
  } else if (s.overWeb) {
    WaitPumping(500);
    view.SetStatusText(kind == kInfoFile ? "Downloading INFO File..." : "Downloading UPDATE File...");
    // A confirmed download outside an interactive check shows the window
    // around it; an interactive check shows it as the progress window.
    const bool showAround = kind == kUpdateFile && RequestConfirmationBeforeDownload() && !interactive;
    if (showAround) view.Show();
    ViewProgressWindow window(view);
    t = DownloadFromWeb(s, interactive ? &window : nullptr, &view);
    if (showAround) view.Hide();
    WaitPumping(500);
  }
  const FetchOutcome o = FinishUpdateFetch(s, t, OwnPackage);
  if (o.box == FetchBox::Error) StyledErrorBox(view, BoxOwner::Titled, o.message);
  if (o.box == FetchBox::Warning) StyledWarningBox(view, BoxOwner::Titled, o.message);
  return o.result;
}
