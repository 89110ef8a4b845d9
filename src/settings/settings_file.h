#pragma once
// Where the settings file lives, and moving AppSettings between it and memory.
#include <windows.h>
#include <atomic>
#include <string>
#include "settings/ini_file.h"

// The settings file as this session found and keeps it.
struct SettingsStoreRecord {
    // Full path of clipvoce.ini; empty when the platform reports no application-data folder.
    std::wstring path;
    // The file's content, with keys the program does not know, written back at each save.
    CIniFile document;
    // No usable settings file was read at start-up: the first-run values are in use.
    // Cleared once the first-run greeting has been closed.
    std::atomic<bool> firstRun = false;
    // The settings are being reset: the final save deletes the file instead of writing it.
    bool resetPending = false;
    // The settings file exists but could not be read at start-up (another program held it
    // open, or access was denied): the platform's error code, else 0. The session then runs
    // with the first-run values and never writes over or deletes that file.
    DWORD readError = 0;
};

extern SettingsStoreRecord SettingsStore;

// Once at start-up, before the Speech window exists: reads the file (in the folder of the
// given name under the user's application data) into AppSettings, or
// keeps the first-run values and writes them to a new file. A file that exists but is
// held by another program is tried again for a moment before readError is set.
void LoadSettings(const std::wstring& folderName);

// Writes AppSettings to the file; with a window, first takes its position and size, the
// height as that of the framed window: a borderless window lacks frameHeightDelta of it.
// 0 when the file was written, or left alone on purpose; else the platform's reason,
// which is also logged.
DWORD SaveSettings(HWND window = nullptr, int frameHeightDelta = 0);

// The note that tells how to hear a copy that was only shown is given once per settings
// file. It is remembered in a section of its own that the file gains only then, so a
// file that never had the note stays exactly as older copies of the program write it;
// the next save writes it.
bool HearingCopiesNoteShown();
void RememberHearingCopiesNoteShown();

// The program's log beside the settings file; empty without a settings folder.
std::wstring LogFilePath();
