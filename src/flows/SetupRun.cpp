#include "flows/SetupRun.h"

#include "flows/View.h"
#include "support/MessageBox.h"
#include "support/Utils.h"

std::string FormatMegabytes(double bytes) {
  double mb = bytes < 0 ? 0 : bytes;
  if (mb != 0) mb /= 1048576.0;
  const int decimals = mb > 10 ? 1 : (mb >= 1 ? 2 : 3);
  uint64_t scale = decimals == 1 ? 10 : (decimals == 2 ? 100 : 1000);
  // Round half away from zero, as fixed-point formatting does.
  const uint64_t scaled = uint64_t(mb * double(scale) + 0.5);
  uint64_t rest;
  const uint64_t whole = DivMod64(scaled, scale, rest);
  std::string fraction = IntToText(int64_t(rest));
  while (fraction.size() < size_t(decimals)) fraction.insert(0, "0");
  return IntToText(int64_t(whole)) + "." + fraction;
}

SetupCommand BuildSetupCommand(const std::string& folder, const std::string& runSpecification,
                               const std::string& extraArguments, const std::string& threadToken,
                               bool autoUpdateProg) {
  std::string program = runSpecification, arguments = extraArguments;
  size_t star = runSpecification.find('*');
  if (star != std::string::npos) {
    program = Trim(runSpecification.substr(0, star));
    arguments = Trim(extraArguments + " " + Trim(runSpecification.substr(star + 1)));
  }
  SetupCommand c;
  c.path = SetTrailingBackslash(folder, true) + program;
  if (!arguments.empty()) c.parameters = arguments + " ";
  c.parameters += "/TH_ID=" + threadToken;
  if (autoUpdateProg) c.parameters += " /AutoUpdateProg";
  c.command = QuoteProgramPath(c.path) + " " + c.parameters;
  return c;
}

bool StartSetup(SetupStarter& starter, const SetupCommand& setup, bool visible) {
  switch (starter.Start(setup.command, visible)) {
    case SetupStarter::Result::Started:
      return true;
    case SetupStarter::Result::ElevationRequired:
      // Same program, same parameters: only the way of starting differs.
      return starter.StartElevated(setup.path, setup.parameters, visible);
    case SetupStarter::Result::Failed:
      break;
  }
  return false;
}

std::string ConfirmTempSpaceText(bool confirmTempDrive, double required, double freeBytes, const std::string& folder) {
  const std::string drive = folder.empty() ? std::string() : "(" + UpperCase(folder.substr(0, 1)) + ":)";
  std::string text;
  if (confirmTempDrive) text = "Kovrex will extract files to your Temp Drive ";
  if (required >= freeBytes) text = "Limited Free Space on your Temp Drive! ";
  if (text.empty()) return text;
  text += drive;
  text += "\\\\n\\\\nEstimated space required on your Temp drive is: \\\\t  ";
  text += FormatMegabytes(required);
  text += " MB\\\\nFree space available on your Temp drive is: \\\\t  ";
  text += FormatMegabytes(freeBytes);
  text += " MB\\\\n\\\\nContinue with Setup?\\\\n";
  return text;
}

BoxStyle DefaultBoxStyle(const char* caption) { return BoxStyle{caption, 0, kDefaultButtonList}; }

void ShowDefaultError(View& view, const std::string& text) {
  view.ErrorBox(BoxOwner::Titled, text, DefaultBoxStyle("Error"));
}

void ReportExtraction(View& view, const std::string& folder, const ExtractResult& result, int& saveFailures) {
  if (result.folderFailed) ShowDefaultError(view, folder + "\\\\n\\\\nUnable to create Directory!");
  if (result.saveFailures > 0 && saveFailures++ == 0)
    ShowDefaultError(view, result.firstFailedPath + "\\\\n\\\\nUnable to save Extracted File!");
}
