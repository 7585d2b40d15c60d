#include "update/SettingsWin.h"

// Placeholder until the update settings are built.
bool ReadTestMode(bool) { return false; }
