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

    // The font and colours of the settings; textPrepared tells whether the view holds a
    // text of its own to measure lines by.
    void ApplyFontAndColours(TextView& view, bool textPrepared);
    void UpdateVisibleLines(const TextView& view);
    // Highlights the word the voice is speaking. Returns the zero-based line the status
    // line is to show, or -1 for the line of the selection.
    int ShowSpokenWord(TextView& view, WordRange word);

private:
    void MeasureLineHeight(TextView& view, bool textPrepared);

    int lineHeight_ = 1;
    int visibleLines_ = 1;
    CHARFORMATW textFormat_{};
};

// Rules kept apart from the controls so they can be checked on their own.
int TwipsFromHeight(int lfHeight, int dpi);
int ComputeVisibleLines(int clientHeight, int lineHeight);
bool NeedsAutoScroll(int wordLine, int firstVisibleLine, int visibleLines);
