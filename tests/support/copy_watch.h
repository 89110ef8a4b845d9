#pragma once
// What the real program shows after a copy, watched from outside as a user would see it:
// when the spoken word is first highlighted, when the caption first says "playing", when
// the whole text is in the view with its lines counted, and meanwhile the longest time
// the Speech window left a repaint waiting (a repaint comes after every posted message
// and every key, so a window that repaints in time also takes keys in time).
#include <windows.h>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

// The text the view holds once a copy of text has been taken (replacing what it held):
// without trailing line breaks, one CR per line break, prepared, with its trailing blank.
std::wstring PreparedCopy(const std::wstring& text);

// Milliseconds on a fine clock.
double NowMs();

// Asks a window for a repaint every few milliseconds, from a thread of its own, and keeps
// the longest wait; the same in turn of an idle window of the test's own, whose slowest
// repaint shows what the machine's load alone costs.
class RepaintProbe {
public:
    explicit RepaintProbe(HWND window);
    ~RepaintProbe();
    RepaintProbe(const RepaintProbe&) = delete;
    RepaintProbe& operator=(const RepaintProbe&) = delete;

    double WindowLongestMs() const { return windowLongest_; }
    double ControlLongestMs() const { return controlLongest_; }
    int Rounds() const { return rounds_; }
    // What a wait may exceed its target by on this machine now: twice the idle window's
    // slowest repaint.
    double AllowanceMs() const { return 2 * controlLongest_; }

private:
    class IdleWindow;
    std::unique_ptr<IdleWindow> idle_;
    std::atomic<bool> stop_{false};
    std::atomic<double> windowLongest_{0};
    std::atomic<double> controlLongest_{0};
    std::atomic<int> rounds_{0};
    std::thread thread_;
};

struct CopyTimeline {
    // Milliseconds from the copy; -1 when it did not happen in time.
    double firstWordMs = -1;
    double playingCaptionMs = -1;
    double wholeTextMs = -1;
    // When the copy was made, on NowMs's clock.
    double copiedAtMs = 0;
    double longestRepaintMs = 0;
    double allowanceMs = 0;
    int repaints = 0;
    bool Complete() const { return firstWordMs >= 0 && playingCaptionMs >= 0 && wholeTextMs >= 0; }
};

// Copies text (the program must be idle, with auto play and the full text shown) and
// watches until all three have happened or timeoutMs has passed.
CopyTimeline WatchCopy(HWND speechWindow, const std::wstring& text, DWORD timeoutMs);

// The count of lines in a caption such as "Speech window - playing   [ 3 / 12 ]"; -1
// while the lines are still being counted or when the caption shows no count.
int CaptionLineCount(const std::wstring& caption);

// Puts a text on the clipboard that is rendered only when a program asks for it, so the
// test knows when the program reads the copy. The test must take its messages meanwhile.
class TextRenderedOnRequest {
public:
    explicit TextRenderedOnRequest(std::wstring text);
    ~TextRenderedOnRequest();
    TextRenderedOnRequest(const TextRenderedOnRequest&) = delete;
    TextRenderedOnRequest& operator=(const TextRenderedOnRequest&) = delete;

    bool Placed() const { return placed_; }
    bool Rendered() const { return rendered_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::wstring text_;
    HWND window_ = nullptr;
    bool placed_ = false;
    bool rendered_ = false;
};
