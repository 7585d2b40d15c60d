// The fetch of the info file and the update file as the user sees it: the
// status line, the window around a confirmed download, the progress, and the
// boxes that report a failure.
#pragma once

#include <string>

#include "flows/View.h"
#include "update/HttpClient.h"

// A download shows the view as its progress window.
class ViewProgressWindow final : public ProgressWindow {
 public:
  explicit ViewProgressWindow(View& view) : view_(view) {}
  void Show() override { view_.Show(); }

 private:
  View& view_;
};

// The style of the boxes the info file translates: the [MsgBox] title under
// titleKey ("Error", "Confirm" or "Attention"), CharSet and BtnText.
BoxStyle MsgBoxStyle(const char* titleKey);
// The three kinds of box in that style, titled "Error", "Attention" and
// "Confirm": the style is built once here, not at every call.
void StyledErrorBox(View& view, BoxOwner owner, const std::string& text);
void StyledWarningBox(View& view, BoxOwner owner, const std::string& text);
bool StyledAskYesNo(View& view, BoxOwner owner, const std::string& text);

// Fetches file's name from location into the program's folder (kind 1 the
// info file, kind 2 the update file, whose token is checked); interactive
// while the user asked for the check. True when a usable local copy stands.
bool FetchUpdateFile(View& view, const std::string& location, const std::string& file, int kind, bool interactive);
