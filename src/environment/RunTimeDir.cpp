#include "environment/RunTimeDir.h"

#include "support/Utils.h"

namespace {

const char kAppPathsKey[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
enum : unsigned { kFixedDrive = 3, kNetworkDrive = 4 };

std::string gDefinitions[3];
// A flag apart from the text, so that a result that reads "*" is kept too.
std::string gCache[3];
bool gLookedUp[3] = {false, false, false};
bool gMissing = false;
RunTimeDirNotice gNotice = nullptr;

bool FlagOn(const std::string& definition, int field) { return GetField(definition, field, std::string()) == "1"; }
std::string Field(const std::string& definition, int field) { return GetField(definition, field, std::string()); }

// A path registered in quotes names the same file as the bare path.
std::string Unquoted(const std::string& path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') return path.substr(1, path.size() - 2);
  return path;
}

}  // namespace

std::string AppPathsDir(const std::string& exeName, RunTimeDirSource& source) {
  return FolderPart(Unquoted(source.RegistryValue(kAppPathsKey + exeName, std::string())));
}

std::string RegistryPathValue(const std::string& path, RunTimeDirSource& source) {
  std::string value = source.RegistryValue(path, std::string());
  const size_t cut = path.rfind('\\');
  if (value.empty() && cut != std::string::npos) value = source.RegistryValue(path.substr(0, cut), path.substr(cut + 1));
  return value;
}

std::string FindRunTimeDir(const std::string& d, RunTimeDirSource& source) {
  std::string name, result;
  if (FlagOn(d, 0)) {
    name = Field(d, 1);
    result = SetTrailingBackslash(AppPathsDir(name, source), false);
  }
  if (FlagOn(d, 2)) {
    name = Field(d, 3);
    result = SetTrailingBackslash(RegistryPathValue(name, source), false);
  }
  if (FlagOn(d, 4)) {
    const std::string file = Field(d, 5);
    if (name.empty()) name = file;
    if (result.empty() && FlagOn(d, 6)) result = source.FindFileOnDrives(file, kFixedDrive);
    if (result.empty() && FlagOn(d, 7)) result = source.FindFileOnDrives(file, kNetworkDrive);
    // Whatever its source: a folder found by the steps above loses its last level.
    result = FolderPart(result);
  }
  if (FlagOn(d, 8)) {
    const std::string folder = Field(d, 9);
    if (name.empty()) name = folder;
    if (result.empty() && FlagOn(d, 10)) result = source.FindFolderOnDrives(folder, kFixedDrive);
    if (result.empty() && FlagOn(d, 11)) result = source.FindFolderOnDrives(folder, kNetworkDrive);
  }
  if (FlagOn(d, 12) && result.empty()) result = Field(d, 13);
  if (result.empty()) {
    if (FlagOn(d, 16) && gNotice) gNotice("RunTimeDir(" + name + ")\\\\n\\\\nNot Found!");
    if (FlagOn(d, 17)) gMissing = true;
  }
  return result;
}

std::string GetRunTimeDir(int index, RunTimeDirSource& source) {
  if (index < 1 || index > 3) return std::string();
  const int i = index - 1;
  if (!gLookedUp[i]) {
    gCache[i] = FindRunTimeDir(gDefinitions[i], source);
    gLookedUp[i] = true;
  }
  return gCache[i];
}

void SetRunTimeDirDefinition(int index, const std::string& definition) {
  if (index < 1 || index > 3) return;
  gDefinitions[index - 1] = definition;
  gLookedUp[index - 1] = false;
}

std::string RunTimeDirDefinition(int index) {
  return index >= 1 && index <= 3 ? gDefinitions[index - 1] : std::string();
}

bool RunTimeDirMissing() { return gMissing; }

void ResetRunTimeDirs() {
  for (bool& b : gLookedUp) b = false;
  gMissing = false;
}

RunTimeDirNotice SetRunTimeDirNotice(RunTimeDirNotice notice) {
  RunTimeDirNotice previous = gNotice;
  gNotice = notice;
  return previous;
}
