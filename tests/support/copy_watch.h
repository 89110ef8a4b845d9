#pragma once
// What the real program shows after a copy, watched from outside as a user would see it:
// when the spoken word is first highlighted, when the caption first says "playing", when
// the whole text is in the view with its lines counted, and meanwhile the longest time
// the Speech window left a repaint waiting (a repaint comes after every posted message
// and every key, so a window that repaints in time also takes keys in time).
#include <windows.h>
#include <string>

// The text the view holds once a copy of text has been taken (replacing what it held):
// without trailing line breaks, one CR per line break, prepared, with its trailing blank.
std::wstring PreparedCopy(const std::wstring& text);

struct CopyTimeline {
    // Milliseconds from the copy; -1 when it did not happen in time.
    double firstWordMs = -1;
    double playingCaptionMs = -1;
    double wholeTextMs = -1;
    double longestRepaintMs = 0;
    int repaints = 0;
    bool Complete() const { return firstWordMs >= 0 && playingCaptionMs >= 0 && wholeTextMs >= 0; }
};

// Copies text (the program must be idle, with auto play and the full text shown) and
// watches until all three have happened or timeoutMs has passed.
CopyTimeline WatchCopy(HWND speechWindow, const std::wstring& text, DWORD timeoutMs);

// The count of lines in a caption such as "Speech window - playing   [ 3 / 12 ]"; -1
// while the lines are still being counted or when the caption shows no count.
int CaptionLineCount(const std::wstring& caption);

// Milliseconds on a fine clock.
double NowMs();
