#pragma once
// Where the settings file lives, and loading and saving AppSettings through it.

extern wchar_t settingsPath[260];
extern bool firstRun;       // no usable settings file was read
extern bool resetPending;   // the final save deletes the file instead

void LoadSettings();
void SaveSettings(bool captureWindow);
