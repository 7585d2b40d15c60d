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

// What the system tells about one process, as process discovery asks it.
class ProcessQueries {
 public:
  // The program file's full path from QueryFullProcessImageNameA. False when
  // that function is missing (before Vista) or does not answer for pid.
  virtual bool FullImageName(uint32_t pid, std::string& path) = 0;
  // The first module's full path and base name through the process-status
  // functions. False when the process cannot be opened or read: a 32-bit
  // program cannot read the modules of a 64-bit one.
  virtual bool FirstModuleNames(uint32_t pid, std::string& path, std::string& baseName) = 0;
  // The 8.3 form of an existing path; empty when there is none.
  virtual std::string ShortPathOf(const std::string& path) = 0;

 protected:
  ~ProcessQueries() = default;
};

// Which query named a process's program file.
enum class ImageQuery { None, FullImageName, ModuleNames };
// The program file of a process: the full-image query first, the process
// status functions where it is missing or fails.
ImageQuery ProcessImageFile(ProcessQueries& queries, uint32_t pid, std::string& path, std::string& baseName);
// The first of ids whose program file matches the target; 0 when none does.
uint32_t FindMatchingProcess(ProcessQueries& queries, const std::vector<uint32_t>& ids, const ProcessTarget& target);

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
