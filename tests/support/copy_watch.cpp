#include "copy_watch.h"
#include "app_driver.h"
#include "speech/text_prep.h"
#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// Asks the window for a repaint of one pixel every few milliseconds and keeps the
// longest time it took to come: the window paints only from its message loop, once
// nothing else is queued for it.
class RepaintProbe {
public:
    explicit RepaintProbe(HWND window)
        : thread_([this, window] {
              while (!stop_) {
                  const RECT pixel{0, 0, 1, 1};
                  const double asked = NowMs();
                  InvalidateRect(window, &pixel, FALSE);
                  while (!stop_ && GetUpdateRect(window, nullptr, FALSE))
                      Sleep(1);
                  const double waited = NowMs() - asked;
                  double seen = longest_;
                  while (waited > seen && !longest_.compare_exchange_weak(seen, waited)) {
                  }
                  ++rounds_;
                  Sleep(5);
              }
          })
    {
    }
    ~RepaintProbe()
    {
        stop_ = true;
        thread_.join();
    }
    double LongestMs() const { return longest_; }
    int Rounds() const { return rounds_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<double> longest_{0};
    std::atomic<int> rounds_{0};
    std::thread thread_;
};

bool Answer(HWND window, UINT message, DWORD_PTR& result)
{
    return SendMessageTimeoutW(window, message, 0, 0, SMTO_NORMAL, 100, &result) != 0;
}

} // namespace

double NowMs()
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring PreparedCopy(const std::wstring& text)
{
    size_t length = text.size();
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n'))
        --length;
    std::wstring shown;
    shown.reserve(length + 1);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'\r' && i + 1 < length && text[i + 1] == L'\n')
            continue;
        shown += text[i] == L'\n' ? L'\r' : text[i];
    }
    return NormaliseText(shown + L" ");
}

int CaptionLineCount(const std::wstring& caption)
{
    const size_t slash = caption.rfind(L" / ");
    if (slash == std::wstring::npos)
        return -1;
    wchar_t* end = nullptr;
    const long count = wcstol(caption.c_str() + slash + 3, &end, 10);
    return end && *end == L' ' ? static_cast<int>(count) : -1;
}

CopyTimeline WatchCopy(HWND speechWindow, const std::wstring& text, DWORD timeoutMs)
{
    const std::wstring prepared = PreparedCopy(text);
    // The window-text length counts each paragraph break as two characters.
    const auto expectedLength =
        static_cast<DWORD_PTR>(prepared.size() + std::count(prepared.begin(), prepared.end(), L'\r'));
    HWND view = TextViewOf(speechWindow);
    CopyTimeline timeline;
    RepaintProbe probe(speechWindow);
    if (!SetClipboardText(text))
        return timeline;
    const double copied = NowMs();
    while (!timeline.Complete() && NowMs() - copied < timeoutMs) {
        DWORD_PTR answer = 0;
        // The caret sits at the start until the first word is selected; a selection that
        // ends beyond what the answer's two halves can hold is told as -1.
        if (timeline.firstWordMs < 0 && Answer(view, EM_GETSEL, answer) && answer != 0)
            timeline.firstWordMs = NowMs() - copied;
        const std::wstring caption = WindowText(speechWindow);
        const bool playing = caption.rfind(L"Speech window - playing", 0) == 0;
        if (timeline.playingCaptionMs < 0 && playing)
            timeline.playingCaptionMs = NowMs() - copied;
        if (timeline.wholeTextMs < 0 && playing && CaptionLineCount(caption) > 0 &&
            Answer(view, WM_GETTEXTLENGTH, answer) && answer == expectedLength)
            timeline.wholeTextMs = NowMs() - copied;
        Sleep(1);
    }
    timeline.longestRepaintMs = probe.LongestMs();
    timeline.repaints = probe.Rounds();
    return timeline;
}
