#pragma once
// The Speech window: the program's main window and its dispatcher. Everything the window
// owns lives in its state record, attached to it when it is created.
#include <windows.h>
#include "app/tray_icon.h"
#include "app/window_frame.h"
#include "clipboard/clipboard_monitor.h"
#include "history/reading_history.h"
#include "ocr/image_reading.h"
#include "platform/scoped_handle.h"
#include "pronunciation/pronunciation_store.h"
#include "reading/reader.h"

struct SpeechWindowState {
    HWND window = nullptr;
    // The user's pronunciation dictionary; made before the reader, which hears through it.
    PronunciationStoreRecord pronunciations;
    // The text shown and read aloud, and the voice that reads it.
    Reader reader{pronunciations};
    MenuHandle menuResource;        // the loaded menu; the popup menu is its first submenu
    HMENU popupMenu = nullptr;
    SpeechState menuShowsState = Stopped;
    TrayIcon trayIcon;
    ClipboardWatch clipboard;
    // Set while the first-run greeting is being shown, so that further copies in that
    // time do not open another one over it; and whether one came meanwhile.
    bool greetingShown = false;
    bool copiedDuringGreeting = false;
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
    // The texts taken, each with where its reading reached; read once history is kept.
    ReadingHistory history;
    // The text of a copied image being read.
    ImageReading imageReading;
    bool historyRead = false;
    // Where a history that could not be read was set aside, until the user is told.
    std::wstring historySetAside;
};

LRESULT CALLBACK SpeechWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Saves the settings with the window's place; a failure is kept to be told at the end.
void SaveSettingsNotingFailure(SpeechWindowState& state);

// The state attached to a Speech window; the window must have been created with it.
SpeechWindowState& SpeechWindowStateOf(HWND window);

// The paste command: the clipboard's text is taken as a copy is, also while the
// clipboard is not monitored.
void PasteIntoSpeechWindow(SpeechWindowState& state);
