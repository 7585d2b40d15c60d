#include "update/SettingsWin.h"

// Placeholder until the update settings are built.
void ReadTestMode(bool) {}
