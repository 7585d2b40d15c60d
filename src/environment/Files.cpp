#include "environment/Files.h"

std::string FileNamePart(const std::string& path) {
  size_t p = path.find_last_of("\\:");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string FileTitle(const std::string& path) {
  const std::string name = FileNamePart(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}
