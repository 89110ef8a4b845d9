#pragma once
// Where the settings file lives, and moving AppSettings between it and memory.
#include <windows.h>
#include <atomic>
#include <string>

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

// Once at start-up, before the Speech window exists: reads the file (in the folder of the
// given name under the user's application data) into AppSettings, or
// keeps the first-run values and writes them to a new file. A file that exists but is
// held by another program is tried again for a moment before settingsReadError is set.
void LoadSettings(const std::wstring& folderName);

// Writes AppSettings to the file; with a window, first takes its position and size.
// 0 when the file was written, or left alone on purpose; else the platform's reason,
// which is also logged.
DWORD SaveSettings(HWND window = nullptr);
