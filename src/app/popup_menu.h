#pragma once
// The popup menu of the tray icon and the Speech window: loading it, keeping its items in
// step with the reading state and the settings, and showing it.
#include <windows.h>
#include "voice/speech_controller.h"

struct SpeechWindowState;

// Loads the menu into the window's state and shows the current state and settings in it.
bool PreparePopupMenu(SpeechWindowState& state);

// Play/Stop and Pause/Resume follow the reading state.
void ShowStateInMenu(HMENU menu, SpeechState speech);
// The clipboard monitor and append items follow their settings.
void ShowClipboardSettingsInMenu(HMENU menu);
// The focus mode item is checked while it is on.
void ShowFocusModeInMenu(HMENU menu);

// At the cursor; nothing while a dialog of the program is open or before the first-run
// greeting has been seen.
void ShowPopupMenu(SpeechWindowState& state);
