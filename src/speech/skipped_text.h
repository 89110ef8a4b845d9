#pragma once
// Text the voice does not hear stays in the view, drawn in a colour between the text's
// and the background's, so that it reads as set aside in any colour scheme.
#include <windows.h>
#include <richedit.h>
#include <vector>
#include "speech/spoken_text.h"
#include "speech/text_view.h"

COLORREF DimmedColour(COLORREF text, COLORREF background);

// Dims the skipped ranges of the view a part at a time, after the message at hand: a long
// text with many of them neither delays the voice's start nor holds up the window. In
// played-text mode nothing is dimmed, since nothing unspoken may show.
class SkippedTextShading {
public:
    explicit SkippedTextShading(TextView& view) : view_(view) {}
    ~SkippedTextShading();
    SkippedTextShading(const SkippedTextShading&) = delete;
    SkippedTextShading& operator=(const SkippedTextShading&) = delete;

    // The view's text from `from` on is new or drawn anew, skipping these ranges; the
    // text before it keeps its shading.
    void Show(std::vector<CharRange> ranges, int from = 0);
    void Stop();

private:
    static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
    void ShadeSome();
    void SetColour(int start, int end, const CHARFORMAT2W& format);

    TextView& view_;
    HWND timerWindow_ = nullptr;
    std::vector<CharRange> ranges_;
    size_t next_ = 0;
    int resetFrom_ = -1;   // where the text is to get its plain colour again first; -1: nowhere
    bool anyDimmed_ = false;
};
