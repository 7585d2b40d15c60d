// Trace lines to the external viewer window ".KDebug.". Writing never fails:
// without a viewer the text is dropped.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

class DebugSink;

// Registers ".K_DebugMsg."; run once at start, before the first trace line.
void InstallDebugChannel();
uint16_t DebugMessageId();
// Delivers one NUL-terminated piece to the viewer, if one runs.
void SendDebugText(const char* text);
DebugSink& TraceStream();

// One trace line: the process id in decimal, the parts, a line-feed.
void Trace(std::initializer_list<std::string_view> parts);
// A lone line-feed.
void TraceEmptyLine();
