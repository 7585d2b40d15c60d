// Processes and their windows, found by program file: is it running, which
// window is its main one, ask it to close, stop it, wait for its end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "environment/Process.h"

bool BindToolHelp();
bool BindProcessStatus();
uint32_t FindProcess9x(const std::string& target, bool exact);
// Asks QueryFullProcessImageNameA first (it also names 64-bit processes to
// the 32-bit stub), the process-status functions where it is missing.
uint32_t FindProcessNT(const std::string& target, bool exact);
// The program file of one process, and which query named it.
ImageQuery ProcessImageFile(uint32_t pid, std::string& path, std::string& baseName);
uint32_t FindProcess(const std::string& target, bool exact);
std::vector<uint32_t> ListProcessIds();
bool IsProcessAlive(uint32_t pid);
bool IsRunning(const std::string& target);
// These wait without a time-out, pumping messages.
void WaitForExit(const std::string& target);
void WaitWhileWindow(const char* className, const char* title);
// Waits, pumping messages, until the process of an open handle has ended.
void WaitForProcess(HANDLE process);
HWND RootOwner(HWND window);
HWND FindMainWindow(const std::string& target, bool exact);
bool PostToMainWindow(const std::string& target, bool exact, UINT msg, WPARAM wParam, LPARAM lParam);
bool CloseMainWindow(const std::string& target, bool exact);
bool QuitMainWindow(const std::string& target, bool exact);
bool TerminateProgram(const std::string& target, bool exact);
