// Directory links for the tests: a symbolic link where the system makes one;
// under Wine (whose CreateSymbolicLinkA creates nothing and which cannot
// remove a link to a folder) a host link made and removed with ln and rm,
// which Wine lists as a reparse point, as Windows lists junctions.
#pragma once

#include <windows.h>

#include <string>

inline bool IsDirectoryLink(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The host path of a Windows path under Wine; empty elsewhere.
inline std::string HostPath(const std::string& path) {
  using UnixFileName = char*(CDECL*)(LPCWSTR);
  const auto unixFileName = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  const size_t cut = path.rfind('\\');
  if (!unixFileName || cut == std::string::npos) return std::string();
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path.substr(0, cut).c_str(), -1, wide, MAX_PATH)) return std::string();
  char* folder = unixFileName(wide);
  if (!folder) return std::string();
  const std::string host = std::string(folder) + "/" + path.substr(cut + 1);
  HeapFree(GetProcessHeap(), 0, folder);
  return host;
}

// Runs a host program under Wine (named by its path on drive Z:) and waits
// until done() holds: the process handle does not follow a host program.
template <typename Done>
bool RunOnHost(const char* program, std::string commandLine, Done done) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 500 && !done(); ++i) Sleep(20);
  return done();
}

// Makes `link` (its folder must exist) point to `target`, a path relative to
// the link's folder written with "/" ("." is the link's own folder, "../x" a
// sibling of it). False when no link could be made.
inline bool MakeDirectoryLink(const std::string& link, const std::string& target) {
  std::string windowsTarget = target;
  for (char& c : windowsTarget) c = c == '/' ? '\\' : c;
  CreateSymbolicLinkA(link.c_str(), windowsTarget.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  if (IsDirectoryLink(link)) return true;
  const std::string host = HostPath(link);
  return !host.empty() && RunOnHost("Z:\\bin\\ln", "/bin/ln -s \"" + target + "\" \"" + host + "\"",
                                    [&] { return IsDirectoryLink(link); });
}

// Removes the link itself; true when it is gone.
inline bool RemoveDirectoryLink(const std::string& link) {
  const auto gone = [&] { return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; };
  if (RemoveDirectoryA(link.c_str()) || gone()) return true;
  const std::string host = HostPath(link);
  return !host.empty() && RunOnHost("Z:\\bin\\rm", "/bin/rm \"" + host + "\"", gone);
}
