#pragma once
// How the text being read is shown, in the settings file: a [view] section that holds only
// what the user changed, so a file that never had one of these changed stays as it was.
#include "settings/app_settings.h"

class CIniFile;

// The line spacings offered, in percent of the font's height.
inline constexpr int LineSpacings[] = {100, 150, 200};

// A missing key, or a value the program does not offer, reads as the first-run value.
void ReadViewSettings(const CIniFile& file, AppSettingsRecord& settings);
// Writes a key only when it differs from its first-run value, or when the file has the
// key already (a value changed back must not leave the old one behind).
void WriteViewSettings(CIniFile& file, const AppSettingsRecord& settings);

// "1", "1.5" or "2" for a line spacing, as the file and the Appearance tab show it.
const wchar_t* LineSpacingText(int percent);
