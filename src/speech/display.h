#pragma once
// What the TextView shows: the highlight that follows the spoken word, played-text mode,
// auto scroll, font and colours.
#include <windows.h>

// Whole lines the TextView shows at its current size and font.
int VisibleLines();

// Highlights the word the voice reports as current; returns the word's end.
int HighlightSpokenWord();

void InitTextFormat();
void ApplyFontAndColours();
void UpdateVisibleLines();

// Rules kept apart from the controls so they can be checked on their own.
int TwipsFromHeight(int lfHeight, int dpi);
int ComputeVisibleLines(int clientHeight, int lineHeight);
bool NeedsAutoScroll(int wordLine, int firstVisibleLine, int visibleLines);
