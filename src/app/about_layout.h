#pragma once
// The About dialog's texts, fitted to the font in use. The template places them in
// dialog units for one font; another face, or the same face at another DPI, may need more
// room than that gives.
#include <windows.h>

// Widens each text control that is too narrow for its text, within the dialog, or wraps
// it onto more lines where the dialog is too narrow; what lies below a control that
// grows moves down, and the dialog grows with it.
void FitAboutTexts(HWND dialog);

// A width wider than any screen: the room a text takes on one line.
constexpr int OneLineWidth = 0x7FFF;

// The room a text control's text takes at most maxWidth pixels wide, borders included;
// {0, 0} for a control that shows no text.
SIZE TextControlNeeds(HWND control, int maxWidth);
