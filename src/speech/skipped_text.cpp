#include "speech/skipped_text.h"
#include "settings/app_settings.h"
#include "platform/log.h"
#include <richedit.h>
#include <algorithm>

namespace {

// Ranges dimmed per timer tick: each costs the control a format change.
constexpr size_t RangesPerTick = 200;
// Of the way from the text's colour to the background's.
constexpr int DimmedPercent = 55;

int Blend(int from, int to)
{
    return from + (to - from) * DimmedPercent / 100;
}

} // namespace

COLORREF DimmedColour(COLORREF text, COLORREF background)
{
    return RGB(Blend(GetRValue(text), GetRValue(background)), Blend(GetGValue(text), GetGValue(background)),
               Blend(GetBValue(text), GetBValue(background)));
}

SkippedTextShading::~SkippedTextShading()
{
    Stop();
}

void SkippedTextShading::Stop()
{
    if (timerWindow_)
        KillTimer(timerWindow_, reinterpret_cast<UINT_PTR>(this));
    timerWindow_ = nullptr;
    ranges_.clear();
    next_ = 0;
    resetFrom_ = -1;
}

void SkippedTextShading::Show(std::vector<CharRange> ranges, int from)
{
    Stop();
    // What was dimmed in the new part may not stay so; a fresh text has nothing dimmed.
    if (anyDimmed_ || from > 0)
        resetFrom_ = from;
    ranges_ = std::move(ranges);
    next_ = std::lower_bound(ranges_.begin(), ranges_.end(), from, [](const CharRange& r, int at) { return r.end <= at; }) -
            ranges_.begin();
    if (!AppSettings.showFullText)
        ranges_.clear();
    if (ranges_.size() == next_ && resetFrom_ < 0)
        return;
    // The timer is the view's: it goes with the control, which may be replaced by then.
    timerWindow_ = view_.Handle();
    if (!SetTimer(timerWindow_, reinterpret_cast<UINT_PTR>(this), USER_TIMER_MINIMUM, OnTimer)) {
        LogFailure(L"SetTimer for dimming skipped text", GetLastError());
        timerWindow_ = nullptr;
    }
}

void CALLBACK SkippedTextShading::OnTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    reinterpret_cast<SkippedTextShading*>(id)->ShadeSome();
}

void SkippedTextShading::SetColour(int start, int end, const CHARFORMAT2W& format)
{
    HWND view = view_.Handle();
    CHARRANGE range{start, end};
    SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageW(view, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

// Formats go through the selection; the reader's highlight and the view's scroll
// position are put back, and nothing is drawn in between.
void SkippedTextShading::ShadeSome()
{
    HWND view = view_.Handle();
    if (view != timerWindow_) {
        Stop();
        return;
    }
    CHARRANGE selection{};
    POINT scroll{};
    SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    SendMessageW(view, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    SendMessageW(view, WM_SETREDRAW, FALSE, 0);
    if (resetFrom_ >= 0) {
        CHARFORMAT2W plain{};
        plain.cbSize = sizeof plain;
        SendMessageW(view, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&plain));
        SetColour(resetFrom_, -1, plain);
        anyDimmed_ = resetFrom_ > 0 && anyDimmed_;
        resetFrom_ = -1;
    }
    CHARFORMAT2W dimmed{};
    dimmed.cbSize = sizeof dimmed;
    dimmed.dwMask = CFM_COLOR;
    dimmed.crTextColor = DimmedColour(AppSettings.textColour, AppSettings.backgroundColour);
    const size_t first = next_;
    const size_t end = std::min(ranges_.size(), next_ + RangesPerTick);
    for (; next_ < end; ++next_)
        SetColour(ranges_[next_].start, ranges_[next_].end, dimmed);
    anyDimmed_ = anyDimmed_ || end > first;
    SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    SendMessageW(view, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, FALSE);
    if (next_ >= ranges_.size())
        Stop();
}
