#include "environment/RunTimeDirWin.h"

#include "environment/FilesWin.h"
#include "support/RegistryWin.h"

namespace {

class SystemSource final : public RunTimeDirSource {
 public:
  std::string RegistryValue(const std::string& keyPath, const std::string& name) override {
    return RegReadString(keyPath.c_str(), name.c_str());
  }
  std::string FindFileOnDrives(const std::string& fileName, unsigned driveType) override {
    return ::FindFileOnDrives(fileName, driveType);
  }
  std::string FindFolderOnDrives(const std::string& folderName, unsigned driveType) override {
    return ::FindFolderOnDrives(folderName, driveType);
  }
};

}  // namespace

RunTimeDirSource& SystemRunTimeDirSource() {
  static SystemSource source;
  return source;
}

std::string AppPathsDir(const std::string& exeName) { return AppPathsDir(exeName, SystemRunTimeDirSource()); }
std::string RegistryPathValue(const std::string& path) { return RegistryPathValue(path, SystemRunTimeDirSource()); }
std::string FindRunTimeDir(const std::string& definition) {
  return FindRunTimeDir(definition, SystemRunTimeDirSource());
}
std::string GetRunTimeDir(int index) { return GetRunTimeDir(index, SystemRunTimeDirSource()); }
