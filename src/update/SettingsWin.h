// Settings of the auto-update program: info files, overrides, test mode.
#pragma once

// Re-reads TestMode and TestModeURL from the registry when forced.
void ReadTestMode(bool force);
