#pragma once
// What the TextView shows: the highlight that follows the spoken word, played-text mode,
// auto scroll, font and colours.
#include <windows.h>
#include <richedit.h>
#include "speech/text_view.h"

class Display {
public:
    Display();

    // Whole lines the view shows at its current size and font.
    int VisibleLines() const { return visibleLines_; }

    // The font and colours of the settings.
    void ApplyFontAndColours(TextView& view);
    void UpdateVisibleLines(const TextView& view);
    // Highlights the word the voice is speaking. Returns the zero-based line the status
    // line is to show, or -1 for the line of the selection.
    int ShowSpokenWord(TextView& view, WordRange word);

private:
    void MeasureLineHeight(const TextView& view);

    int lineHeight_ = 1;
    int visibleLines_ = 1;
    CHARFORMATW textFormat_{};
};

// Rules kept apart from the controls so they can be checked on their own.
int TwipsFromHeight(int lfHeight, int dpi);
int ComputeVisibleLines(int clientHeight, int lineHeight);
bool NeedsAutoScroll(int wordLine, int firstVisibleLine, int visibleLines);
