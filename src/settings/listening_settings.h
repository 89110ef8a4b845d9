#pragma once
// The listening filters in the settings file: a [listening] section that holds only what
// the user changed, so a file that never had a filter changed stays as it was.
#include "settings/app_settings.h"

class CIniFile;

// A missing key, and a value other than 0 or 1, reads as on, the first-run value.
void ReadListeningSettings(const CIniFile& file, AppSettingsRecord& settings);
// Writes a key only when it is off, or when the file has the key already (a filter turned
// on again must not leave the old value behind).
void WriteListeningSettings(CIniFile& file, const AppSettingsRecord& settings);
