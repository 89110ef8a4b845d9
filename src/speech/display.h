#pragma once
// What the Speech window shows: the highlight that follows the spoken word, played-text
// mode, auto scroll, font and colours, and the window-level settings.
#include <windows.h>

extern int lineHeight;
extern int visibleLines;

// Highlights the word the voice reports as current; returns the word's end.
int HighlightSpokenWord();

void InitTextFormat();
void ApplyFontAndColours();
void UpdateVisibleLines();

void ApplyBorder();        // start-up and Options OK: make the window match `border`
void ToggleBorder();       // command: flip `border`, keeping the text where it is on screen
// Keep the keyboard with the window through what the platform does after a border change.
void OnSpeechWindowActivate(WPARAM wParam, LPARAM lParam);
void OnTakeKeyboardBack();
// 0 toggles `window`; any other show command is the start-up form.
void ShowSpeechWindow(int showCommand);
void ApplyTopMost();
void ApplyTransparency();

// Rules kept apart from the controls so they can be checked on their own.
int TwipsFromHeight(int lfHeight, int dpi);
int ComputeVisibleLines(int clientHeight, int lineHeight);
bool NeedsAutoScroll(int wordLine, int firstVisibleLine, int visibleLines);
