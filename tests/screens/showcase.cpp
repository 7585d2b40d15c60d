// Shows one of the program's windows as a user would see it, for the
// screenshot script:  showcase wizard|error|ask|rtl|warning
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>

#include "flows/RoadsWin.h"
#include "stub/WizardWindowWin.h"
#include "support/MessageBoxWin.h"

namespace {

int gTicks = 0;

// Shows the wizard as the extraction does and ends it after a few seconds.
VOID CALLBACK WizardStep(HWND, UINT, UINT_PTR, DWORD) {
  if (gTicks++ == 0) {
    SetStatusText("Extracting Files...");
    SendMessageA(ProgressBar, PBM_SETRANGE32, 0, 100);
    SendMessageA(ProgressBar, PBM_SETPOS, 42, 0);
    ShowWindow(WizardWindow, SW_SHOW);
  } else if (gTicks > 40) {
    PostQuitMessage(0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "wizard") {
    StubClassName = "KovrexShowcase";
    ThisIs_AutoUpdateProg = true;  // no setup flow on the ticks
    SetTimer(nullptr, 0, 100, WizardStep);
    RunWizardWindow();
  } else if (mode == "error") {
    ErrorBox(nullptr, "The package is damaged: Bad CRC!\\\\nPlease download the setup again.", "Error", 0,
             kDefaultButtonList);
  } else if (mode == "warning") {
    WarningBox(nullptr, "Not enough free space on drive C:.", "Attention", 0, kDefaultButtonList);
  } else if (mode == "ask") {
    return AskYesNo(nullptr,
                    "A new version of <b>Example Writer 5.2</b> is available.<p><p>"
                    "Do you want to <b>download and install</b> it now?",
                    "Confirm", 0, kDefaultButtonList)
               ? 6
               : 7;
  } else if (mode == "rtl") {
    // Hebrew in code page 1255: "a new version is available. install now?"
    ErrorBox(nullptr,
             "\xE2\xF8\xF1\xE4 \xE7\xE3\xF9\xE4 \xE6\xEE\xE9\xF0\xE4.\\\\n<b>\xEC\xE4\xFA\xF7\xE9\xEF "
             "\xE0\xE5\xFA\xE4 \xF2\xEB\xF9\xE9\xE5?</b>",
             "\xF9\xE2\xE9\xE0\xE4", 177, "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  } else {
    std::fputs("usage: showcase wizard|error|warning|ask|rtl\n", stderr);
    return 2;
  }
  return 0;
}
