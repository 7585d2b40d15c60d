#include "environment/Process.h"

#include "support/Utils.h"

ProcessTarget MakeProcessTarget(const std::string& path, const std::string& shortPath, bool exact) {
  ProcessTarget t;
  t.path = path;
  // "*" never occurs in a file name, so the placeholder never matches.
  t.shortPath = shortPath.empty() ? "*XX*" : shortPath;
  t.exact = exact;
  return t;
}

bool ProcessMatches(const ProcessTarget& target, const std::string& fullPath, const std::string& baseName,
                    const std::string& shortPath) {
  if (target.path.empty()) return false;
  return TextEquals(fullPath, target.path) || TextEquals(target.exact ? "*X*" : baseName, target.path) ||
         TextEquals(shortPath, target.shortPath);
}

ImageQuery ProcessImageFile(ProcessQueries& queries, uint32_t pid, std::string& path, std::string& baseName) {
  path.clear();
  baseName.clear();
  // The query reads no process memory, so it also answers for a 64-bit
  // process seen from a 32-bit program, and with less access.
  if (queries.FullImageName(pid, path) && !path.empty()) {
    baseName = FileNamePart(path);
    return ImageQuery::FullImageName;
  }
  path.clear();
  if (queries.FirstModuleNames(pid, path, baseName) && !path.empty()) return ImageQuery::ModuleNames;
  path.clear();
  baseName.clear();
  return ImageQuery::None;
}

uint32_t FindMatchingProcess(ProcessQueries& queries, const std::vector<uint32_t>& ids, const ProcessTarget& target) {
  if (target.path.empty()) return 0;
  std::string path, baseName;
  for (uint32_t pid : ids) {
    if (ProcessImageFile(queries, pid, path, baseName) == ImageQuery::None) continue;
    // The short form is asked of the system only when the names do not
    // already match; an empty short form never equals the target's.
    if (ProcessMatches(target, path, baseName, std::string()) ||
        ProcessMatches(target, path, baseName, queries.ShortPathOf(path)))
      return pid;
  }
  return 0;
}

int ChooseMainWindow(const std::vector<WindowFacts>& windows) {
  std::vector<uint16_t> scores(windows.size(), 0);
  for (const WindowFacts& w : windows) {
    if (w.rootOwner == 0) continue;
    for (size_t i = 0; i < windows.size(); ++i)
      if (windows[i].handle == w.rootOwner) ++scores[i];
  }
  int best = -1;
  uint16_t bestScore = 0;
  for (size_t i = 0; i < windows.size(); ++i) {
    const WindowFacts& w = windows[i];
    const uint16_t score = uint16_t(scores[i] * 4 + (w.titled ? 2 : 0) + (w.visible ? 1 : 0));
    if (score > bestScore) {
      bestScore = score;
      best = int(i);
    }
  }
  return best;
}
