#pragma once
// The command table of the Speech window: menu items, accelerators and the tray.
#include <windows.h>

struct SpeechWindowState;

void OnCommand(SpeechWindowState& state, WPARAM wParam, LPARAM lParam);

// Asks "Are you sure want to quit?" when `confirmQuit` is on; true means go ahead.
bool ConfirmQuit(HWND window);

