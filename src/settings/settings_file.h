#pragma once
// Where the settings file lives, and moving AppSettings between it and memory.
#include <windows.h>
#include <atomic>

// Full path of clipvoce.ini; empty when the platform reports no application-data folder.
extern wchar_t settingsPath[260];
// No usable settings file was read at start-up: the first-run values are in use.
// The first-run thread clears it while the window reads it.
extern std::atomic<bool> firstRun;
// The settings are being reset: the final save deletes the file instead of writing it.
extern bool resetPending;

// Once at start-up, before the Speech window exists: reads the file into AppSettings, or
// keeps the first-run values and writes them to a new file.
void LoadSettings();

// Writes AppSettings to the file; with captureWindow, first takes the Speech window's
// position and size.
void SaveSettings(bool captureWindow);
