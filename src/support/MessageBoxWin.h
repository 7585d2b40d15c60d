// The program's own modal message box: markup text in a rich-edit control,
// a coloured band with an icon, translated button captions and right-to-left
// text for Hebrew and Arabic.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/MessageBox.h"

// The box's window class; tests and the box driver look for it.
extern const char kKMsgBoxClass[];

// Shows the box modally; returns the chosen button's id (IDOK, IDYES...), or
// 0 when it was closed without a button. `flags` are in the layout of the
// system message-box flags; `buttons` is the delimited caption list.
int ShowKMsgBox(HWND owner, const std::string& text, const std::string& caption, uint32_t flags,
                const std::string& buttons);

// The front end: owner 0 adds the caption as a bold title line; owners 0 and
// 1 stand for the active window. charset 177/178 turns on right-to-left.
int ShowMarkupBox(HWND owner, const std::string& text, const std::string& caption, uint32_t flags, int charset,
                  const std::string& buttons);
void ErrorBox(HWND owner, const std::string& text, const std::string& caption, int charset,
              const std::string& buttons);
void WarningBox(HWND owner, const std::string& text, const std::string& caption, int charset,
                const std::string& buttons);
// True when the answer was Yes; closing the box counts as No.
bool AskYesNo(HWND owner, const std::string& text, const std::string& caption, int charset,
              const std::string& buttons);

// The owner value 1 of the front ends: the active window, no title line.
inline const HWND kActiveOwner = reinterpret_cast<HWND>(1);
