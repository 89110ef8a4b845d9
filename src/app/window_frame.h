#pragma once
// The Speech window's frame: its border, visibility, top-most place and transparency, as
// the settings ask for them.
#include <windows.h>

struct SpeechWindowState;

// After a border change the platform may still take activation away from the window
// late, as it learns that the window was hidden: for a short while such a loss to no
// window at all is undone.
struct KeyboardGuard {
    ULONGLONG until = 0;
    bool takingBack = false;
};

void ApplyBorder(SpeechWindowState& state);    // start-up and Options OK: match `showBorder`
void ToggleBorder(SpeechWindowState& state);   // command: flip `showBorder`, text kept in place
// Keep the keyboard with the window through what the platform does after a border change.
void OnSpeechWindowActivate(SpeechWindowState& state, WPARAM wParam, LPARAM lParam);
void OnTakeKeyboardBack(SpeechWindowState& state);
// 0 toggles the window's visibility setting; any other show command is the start-up form.
void ShowSpeechWindow(SpeechWindowState& state, int showCommand);
// Shows the window, keeps it shown from now on, and puts it in front, or the dialog
// that is open over it.
void BringSpeechWindowForward(SpeechWindowState& state);
void ApplyTopMost(HWND window);
void ApplyTransparency(HWND window);
