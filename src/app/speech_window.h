#pragma once
// The Speech window: the program's main window and its dispatcher. Everything the window
// owns lives in its state record, attached to it when it is created.
#include <windows.h>
#include "app/tray_icon.h"
#include "app/window_frame.h"
#include "platform/scoped_handle.h"
#include "reading/reader.h"

struct SpeechWindowState {
    HWND window = nullptr;
    // The text shown and read aloud, and the voice that reads it.
    Reader reader;
    MenuHandle menuResource;        // the loaded menu; the popup menu is its first submenu
    HMENU popupMenu = nullptr;
    SpeechState menuShowsState = Stopped;
    TrayIcon trayIcon;
    UINT taskbarCreatedMessage = 0;
    KeyboardGuard keyboardGuard;
    // The first failed save's reason, told once when the program ends.
    DWORD settingsSaveError = 0;
    // Outer height of the window minus its TextView's client height; -1 until the first
    // border apply measures it. Never saved.
    int frameHeightDelta = -1;
    // Says the pronunciation samples beside the reading; made at the first one.
    ComPtr<ISpVoice> sampleVoice;
    // The DPI the window is laid out for.
    int dpi = 96;
};

LRESULT CALLBACK SpeechWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Saves the settings with the window's place; a failure is kept to be told at the end.
void SaveSettingsNotingFailure(SpeechWindowState& state);

// The state attached to a Speech window; the window must have been created with it.
SpeechWindowState& SpeechWindowStateOf(HWND window);
