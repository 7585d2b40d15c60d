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

bool FlagOn(const std::string& definition, int field) { return GetField(definition, field) == "1"; }
std::string Field(const std::string& definition, int field) { return GetField(definition, field); }

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
  // A file (fields 4 to 7), then a folder (8 to 11): searched for on the fixed
  // drives, then on the network drives.
  for (int at = 4; at <= 8; at += 4) {
    if (!FlagOn(d, at)) continue;
    const std::string target = Field(d, at + 1);
    if (name.empty()) name = target;
    for (unsigned type = kFixedDrive; type <= kNetworkDrive; ++type)
      if (result.empty() && FlagOn(d, at + 2 + int(type - kFixedDrive)))
        result = at == 4 ? source.FindFileOnDrives(target, type) : source.FindFolderOnDrives(target, type);
    // Whatever its source: a folder found by the steps above loses its last level.
    if (at == 4) result = FolderPart(result);
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
