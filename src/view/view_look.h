#pragma once
// What the TextView shows: the highlight that follows the spoken word and the sentence
// around it, played-text mode, auto scroll, font, colours and line spacing.
#include <windows.h>
#include <richedit.h>
#include "view/text_view.h"

// The colours the Speech window shows: the saved ones or, while the system's
// high-contrast mode is on, the theme's (the saved ones are kept for when it is off).
struct ViewColours {
    COLORREF text;
    COLORREF background;
};
ViewColours ShownColours();

class ViewLook {
public:
    ViewLook();

    // Whole lines the view shows at its current size and font.
    int VisibleLines() const { return visibleLines_; }

    // The font, colours, line spacing and sentence marks of the settings.
    void ApplyFontAndColours(TextView& view);
    // The colours alone: the system's colours, or its high-contrast mode, changed.
    void ApplyColours(TextView& view);
    // The sentence marks of the settings alone (focus mode was switched).
    void ApplySentenceLook(TextView& view);
    // The view is now shown at dpi.
    void ChangeDpi(TextView& view, int dpi);
    void UpdateVisibleLines(const TextView& view);
    // Highlights the word the voice is speaking, in its sentence. Returns the zero-based
    // line the status line is to show, or -1 for the line of the selection.
    int ShowSpokenWord(TextView& view, TextRange word, TextRange sentence);

private:
    void MeasureLineHeight(const TextView& view);
    // The colours into the format; sends the background colour.
    void TakeColours(TextView& view);

    int lineHeight_ = 1;
    int visibleLines_ = 1;
    CHARFORMATW textFormat_{};
};

// Rules kept apart from the controls so they can be checked on their own.
int TwipsFromHeight(int lfHeight, int dpi);
int ComputeVisibleLines(int clientHeight, int lineHeight);
bool NeedsAutoScroll(int wordLine, int firstVisibleLine, int visibleLines);
