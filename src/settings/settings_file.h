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
// The settings file exists but could not be read at start-up (another program held it
// open, or access was denied): the platform's error code, else 0. The session then runs
// with the first-run values and never writes over or deletes that file.
extern DWORD settingsReadError;

// Once at start-up, before the Speech window exists: reads the file into AppSettings, or
// keeps the first-run values and writes them to a new file. A file that exists but is
// held by another program is tried again for a moment before settingsReadError is set.
void LoadSettings();

// Writes AppSettings to the file; with captureWindow, first takes the Speech window's
// position and size.
void SaveSettings(bool captureWindow);
