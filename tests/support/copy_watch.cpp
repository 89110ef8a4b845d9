#include "copy_watch.h"
#include "app_driver.h"
#include "view/normalise.h"
#include <algorithm>
#include <future>

namespace {

// A window that does not paint within this long counts as having taken all of it.
constexpr double GiveUpMs = 20000;

double RepaintMs(HWND window, const std::atomic<bool>& stop)
{
    const RECT pixel{0, 0, 1, 1};
    const double asked = NowMs();
    InvalidateRect(window, &pixel, FALSE);
    while (!stop && GetUpdateRect(window, nullptr, FALSE) && NowMs() - asked < GiveUpMs)
        Sleep(1);
    return NowMs() - asked;
}

void Raise(std::atomic<double>& longest, double value)
{
    double seen = longest;
    while (value > seen && !longest.compare_exchange_weak(seen, value)) {
    }
}

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

// A small window on a thread of its own that does nothing but paint; it never takes the
// focus from the program under test.
class RepaintProbe::IdleWindow {
public:
    IdleWindow()
    {
        std::promise<HWND> made;
        std::future<HWND> window = made.get_future();
        thread_ = std::thread([&made, this] {
            HWND idle = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 4, 4,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            ShowWindow(idle, SW_SHOWNOACTIVATE);
            threadId_ = GetCurrentThreadId();
            made.set_value(idle);
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0)
                DispatchMessageW(&message);
            DestroyWindow(idle);
        });
        window_ = window.get();
    }
    ~IdleWindow()
    {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND Window() const { return window_; }

private:
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    HWND window_ = nullptr;
};

RepaintProbe::RepaintProbe(HWND window)
    : idle_(std::make_unique<IdleWindow>()),
      thread_([this, window] {
          while (!stop_) {
              Raise(windowLongest_, RepaintMs(window, stop_));
              Raise(controlLongest_, RepaintMs(idle_->Window(), stop_));
              ++rounds_;
              Sleep(5);
          }
      })
{
}

RepaintProbe::~RepaintProbe()
{
    stop_ = true;
    thread_.join();
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
    timeline.copiedAtMs = copied;
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
    timeline.longestRepaintMs = probe.WindowLongestMs();
    timeline.allowanceMs = probe.AllowanceMs();
    timeline.repaints = probe.Rounds();
    return timeline;
}

TextRenderedOnRequest::TextRenderedOnRequest(std::wstring text) : text_(std::move(text))
{
    window_ = CreateMessageWindow(L"ClipvoceTestRenderOnRequest", Procedure);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    bool opened = false;
    PumpUntil([&] { return opened = OpenClipboard(window_) != FALSE; }, 5000);
    if (!opened)
        return;
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, nullptr);
    CloseClipboard();
    placed_ = IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
}

TextRenderedOnRequest::~TextRenderedOnRequest()
{
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

LRESULT CALLBACK TextRenderedOnRequest::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<TextRenderedOnRequest*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_RENDERFORMAT && wParam == CF_UNICODETEXT) {
        const size_t bytes = (self->text_.size() + 1) * sizeof(wchar_t);
        if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            memcpy(GlobalLock(memory), self->text_.c_str(), bytes);
            GlobalUnlock(memory);
            SetClipboardData(CF_UNICODETEXT, memory);
        }
        self->rendered_ = true;
        return 0;
    }
    // Ending while still the owner: the text is simply not there any more.
    if (message == WM_RENDERALLFORMATS)
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}
