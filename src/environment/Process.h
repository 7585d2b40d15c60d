// The decisions of process and window discovery, over given names and
// window facts (portable, so they are tested natively).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A program-file target prepared for matching: its short form, or a
// placeholder that never equals a file name when the file does not exist.
struct ProcessTarget {
  std::string path;
  std::string shortPath;
  bool exact = false;
};
ProcessTarget MakeProcessTarget(const std::string& path, const std::string& shortPath, bool exact);
// Full path, base name (unless exact) or short form, ignoring case.
bool ProcessMatches(const ProcessTarget& target, const std::string& fullPath, const std::string& baseName,
                    const std::string& shortPath);

// What the scorer needs to know of one top-level window.
struct WindowFacts {
  uintptr_t handle = 0;
  uintptr_t rootOwner = 0;  // 0 when the window has no owner
  bool titled = false;
  bool visible = false;
};
// Index of the main window: owning most of the others, then titled, then
// visible; ties go to the earlier window. -1 when every window scores 0.
int ChooseMainWindow(const std::vector<WindowFacts>& windows);
