// What the flows show the user, and nothing else: the wizard window
// implements it, and native tests of flow decisions use a fake. Mechanisms
// below the flows never show anything; they return what happened.
#pragma once

#include <cstdint>
#include <string>

#include "support/MessageBox.h"
#include "support/Progress.h"

// A message box's title, character set (177 and 178 read right to left) and
// button captions ("|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|").
struct BoxStyle {
  std::string caption;
  int charset = 0;
  std::string buttons;
};

// Owner of a box: Titled shows the caption as a bold title line above the
// text; Active shows the text alone over the active window.
enum class BoxOwner { Titled, Active };

class View : public ProgressSink {
 public:
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Shows a markup text in the program's message box and waits for the user;
  // flags as the system's message-box flags. The chosen button's id.
  virtual int ShowBox(BoxOwner owner, const std::string& text, uint32_t flags, const BoxStyle& style) = 0;

  void ErrorBox(BoxOwner owner, const std::string& text, const BoxStyle& style) {
    ShowBox(owner, text, kBoxErrorFlags, style);
  }
  void WarningBox(BoxOwner owner, const std::string& text, const BoxStyle& style) {
    ShowBox(owner, text, kBoxWarningFlags, style);
  }
  // True when the answer was Yes.
  bool AskYesNo(BoxOwner owner, const std::string& text, const BoxStyle& style) {
    return ShowBox(owner, text, kBoxQuestionFlags, style) == kIdYes;
  }

 protected:
  ~View() = default;
};

// The style of the program's own boxes when no info file translates them.
BoxStyle DefaultBoxStyle(const char* caption);
// An error box in that style, titled "Error".
void ShowDefaultError(View& view, const std::string& text);
