#include "view/text_view_control.h"
#include "platform/dpi.h"
#include "platform/log.h"
#include "view/view_accessibility.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace {

// A text up to about this long is laid out at once; the rest of a longer one follows
// between messages, this much at a step.
constexpr int LayoutAtOnceChars = 64 * 1024;
constexpr int LayoutStepChars = 32 * 1024;

bool IsKeyMessage(UINT m)
{
    return m == WM_KEYDOWN || m == WM_KEYUP || m == WM_CHAR || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP;
}

bool IsMouseMessage(UINT m)
{
    return (m >= WM_MOUSEFIRST && m <= WM_MBUTTONDBLCLK) || m == WM_MOUSEWHEEL;
}

} // namespace

void AppendWithViewBreaks(std::wstring& out, const wchar_t* text, size_t length)
{
    out.reserve(out.size() + length);
    size_t run = 0;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        if (c != L'\r' && c != L'\n')
            continue;
        out.append(text + run, i - run);
        out += L'\r';
        if (c == L'\r' && i + 1 < length && text[i + 1] == L'\n')
            ++i;
        run = i + 1;
    }
    out.append(text + run, length - run);
}

bool RegisterTextViewClass()
{
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &TextViewControl::Procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
        wc.lpszClassName = TextViewClassName;
        if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            LogFailure(L"RegisterClassW of the text view", GetLastError());
            return false;
        }
        return true;
    }();
    return registered;
}

TextViewControl* TextViewControl::Of(HWND window)
{
    wchar_t name[32] = L"";
    if (!window || !GetClassNameW(window, name, 32) || std::wcscmp(name, TextViewClassName) != 0)
        return nullptr;
    return reinterpret_cast<TextViewControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK TextViewControl::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* control = reinterpret_cast<TextViewControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        control = new (std::nothrow) TextViewControl(window);
        if (!control)
            return FALSE;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    } else if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete control;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return control ? control->Handle(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

TextViewControl::TextViewControl(HWND window)
    : window_(window), accessibility_(std::make_unique<ViewAccessibility>(*this)), background_(GetSysColor(COLOR_WINDOW)), dpi_(WindowDpi(window))
{
    measureDc_.reset(CreateCompatibleDC(nullptr));
    if (!measureDc_)
        LogFailure(L"CreateCompatibleDC of the text view", GetLastError());
    // The system's dialog font until the program gives its own.
    LOGFONTW guiFont{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof guiFont, &guiFont);
    format_.cbSize = sizeof format_;
    format_.dwEffects = CFE_AUTOCOLOR;
    format_.yHeight = MulDiv(guiFont.lfHeight < 0 ? -guiFont.lfHeight : 11, 1440, SystemDpi());
    format_.bCharSet = guiFont.lfCharSet;
    lstrcpynW(format_.szFaceName, guiFont.lfFaceName, LF_FACESIZE);
    MakeFont();
}

TextViewControl::~TextViewControl() = default;

// ---- Text ----

void TextViewControl::SetDimmed(SharedRanges ranges)
{
    if (!dimmed_ && (!ranges || ranges->empty()))
        return;
    dimmed_ = ranges && !ranges->empty() ? std::move(ranges) : nullptr;
    InvalidateRect(window_, nullptr, FALSE);
}

// Only the lines of the sentence left and of the one now read are drawn again.
void TextViewControl::SetSentence(TextRange sentence)
{
    if (sentence.end <= sentence.start)
        sentence = {};
    if (sentence.start == sentence_.start && sentence.end == sentence_.end)
        return;
    const TextRange old = sentence_;
    sentence_ = sentence;
    if (look_.focus && (old.end == old.start || sentence.end == sentence.start)) {
        // Everything else goes from dimmed to not, or back.
        InvalidateRect(window_, nullptr, FALSE);
        return;
    }
    InvalidateCharacters(old.start, old.end);
    InvalidateCharacters(sentence.start, sentence.end);
}

void TextViewControl::SetSentenceLook(SentenceLook look)
{
    if (look == look_)
        return;
    look_ = look;
    InvalidateRect(window_, nullptr, FALSE);
}

void TextViewControl::SetPlayedTextMode(bool on)
{
    if (on == playedTextMode_)
        return;
    playedTextMode_ = on;
    InvalidateRect(window_, nullptr, FALSE);
}

void TextViewControl::SetLineSpacing(int percent)
{
    percent = std::clamp(percent, 100, 300);
    if (percent == lineSpacingPercent_)
        return;
    lineSpacingPercent_ = percent;
    SpaceLines();
    // The line at the top stays at the top; the caret's line stays in sight.
    ScrollTo(topLine_);
    ShowLine(layout_.LineOf(selEnd_));
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
}

void TextViewControl::SetDpi(int dpi)
{
    if (dpi <= 0 || dpi == dpi_)
        return;
    dpi_ = dpi;
    Refont();
}

void TextViewControl::TakeText(SharedText text)
{
    text_ = text ? std::move(text) : std::make_shared<const std::wstring>();
    dimmed_.reset();
    sentence_ = {};
    selStart_ = selEnd_ = 0;
    topLine_ = 0;
    ++revision_;
    breaks_ = -1;
    shapes_.clear();
    layout_.Reset(*text_, LayoutWidth());
    ContinueLayout();
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    accessibility_->TextChanged();
}

void TextViewControl::ReplaceSelection(const wchar_t* text)
{
    std::wstring inserted;
    if (text)
        AppendWithViewBreaks(inserted, text, std::wcslen(text));
    std::wstring changed = Text();
    changed.replace(static_cast<size_t>(selStart_), static_cast<size_t>(selEnd_ - selStart_), inserted);
    text_ = std::make_shared<const std::wstring>(std::move(changed));
    const int from = selStart_;
    selStart_ = selEnd_ = from + static_cast<int>(inserted.size());
    TextChangedFrom(from);
    ShowLine(layout_.LineOf(selEnd_));
}

void TextViewControl::TextChangedFrom(int index)
{
    // What was set aside, and the sentence read, belong to the text as it was.
    dimmed_.reset();
    sentence_ = {};
    ++revision_;
    breaks_ = -1;
    shapes_.clear();
    layout_.TextChangedFrom(*text_, index);
    ContinueLayout();
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    accessibility_->TextChanged();
}

int TextViewControl::WindowTextLength() const
{
    if (breaks_ < 0)
        breaks_ = static_cast<int>(std::count(Text().begin(), Text().end(), L'\r'));
    return static_cast<int>(Text().size()) + breaks_;
}

// Copies text[from, to) into buffer, at most capacity - 1 characters and a NUL; with crlf
// each paragraph break as CR LF. Returns the characters written.
LRESULT TextViewControl::CopyText(wchar_t* buffer, size_t capacity, int from, int to, bool crlf) const
{
    if (!buffer || capacity == 0)
        return 0;
    size_t written = 0;
    for (int i = from; i < to && written + 1 < capacity; ++i) {
        const wchar_t c = Text()[static_cast<size_t>(i)];
        if (c == L'\r' && crlf) {
            if (written + 2 >= capacity)
                break;
            buffer[written++] = L'\r';
            buffer[written++] = L'\n';
        } else {
            buffer[written++] = c;
        }
    }
    buffer[written] = L'\0';
    return static_cast<LRESULT>(written);
}

// ---- Selection and scrolling ----

int TextViewControl::FullyVisibleLines() const
{
    RECT client{};
    GetClientRect(window_, &client);
    return std::max(1, static_cast<int>(client.bottom / lineHeight_));
}

// A start of -1 keeps only the caret, at the selection's end; an end of -1, or past the
// text, is the text's end. The caret's line is scrolled into sight.
void TextViewControl::Select(int start, int end)
{
    const int length = static_cast<int>(Text().size());
    if (start < 0) {
        start = end = selEnd_;
    } else {
        start = std::min(start, length);
        end = end < 0 ? length : std::min(end, length);
    }
    const int caret = end;
    if (start > end)
        std::swap(start, end);
    const int oldStart = selStart_;
    const int oldEnd = selEnd_;
    selStart_ = start;
    selEnd_ = end;
    InvalidateCharacters(std::min(oldStart, start), std::max(oldStart, start));
    InvalidateCharacters(std::min(oldEnd, end), std::max(oldEnd, end));
    ShowLine(layout_.LineOf(caret));
    PlaceCaret();
    if (start != oldStart || end != oldEnd)
        accessibility_->SelectionChanged();
}

void TextViewControl::ShowLine(int line)
{
    const int lines = FullyVisibleLines();
    if (line < topLine_)
        ScrollTo(line);
    else if (line >= topLine_ + lines)
        ScrollTo(line - lines + 1);
}

// Scrolls so that line is the first visible one, as far as the text goes: never past
// the point where its last line is at the bottom.
bool TextViewControl::ScrollTo(int line)
{
    const int lines = FullyVisibleLines();
    line = std::max(line, 0);
    if (layout_.LineStart(line + lines - 1) < 0)
        line = std::max(0, std::min(line, layout_.KnownLines() - lines));
    if (line != topLine_) {
        topLine_ = line;
        InvalidateRect(window_, nullptr, FALSE);
        PlaceCaret();
    }
    return true;
}

int TextViewControl::LayoutWidth() const
{
    RECT client{};
    GetClientRect(window_, &client);
    return std::max(1, static_cast<int>(client.right) - 2 * Margin);
}

void TextViewControl::ResetLayout()
{
    shapes_.clear();
    laidOutWidth_ = LayoutWidth();
    layout_.Reset(*text_, laidOutWidth_);
    ContinueLayout();
}

// The lines of a short text are all found now; a long one's first lines now, the rest
// between messages, after which the parent hears that the count is complete.
void TextViewControl::ContinueLayout()
{
    if (layout_.LayOutMore(LayoutAtOnceChars)) {
        layoutWork_.Cancel();
        return;
    }
    layoutWork_.Start([this] {
        if (!layout_.LayOutMore(LayoutStepChars))
            return false;
        NMHDR header{window_, static_cast<UINT_PTR>(GetDlgCtrlID(window_)), TextViewLinesCounted};
        SendMessageW(GetParent(window_), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
        return true;
    });
}

void TextViewControl::OnSize()
{
    if (LayoutWidth() != laidOutWidth_) {
        const int topChar = std::max(0, layout_.LineStart(topLine_));
        ResetLayout();
        topLine_ = layout_.LineOf(topChar);
    }
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
}

// ---- Input ----

// Keys and clicks go to the parent first, as a rich edit with the matching event mask
// sends them; a non-zero answer means the parent took them.
bool TextViewControl::FilteredByParent(UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool wanted = (IsKeyMessage(message) && (eventMask_ & ENM_KEYEVENTS)) ||
                        (IsMouseMessage(message) && (eventMask_ & ENM_MOUSEEVENTS));
    if (!wanted)
        return false;
    MSGFILTER filter{};
    filter.nmhdr.hwndFrom = window_;
    filter.nmhdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window_));
    filter.nmhdr.code = EN_MSGFILTER;
    filter.msg = message;
    filter.wParam = wParam;
    filter.lParam = lParam;
    return SendMessageW(GetParent(window_), WM_NOTIFY, filter.nmhdr.idFrom, reinterpret_cast<LPARAM>(&filter)) != 0;
}

LRESULT TextViewControl::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((IsKeyMessage(message) || IsMouseMessage(message)) && FilteredByParent(message, wParam, lParam))
        return 0;
    const int length = static_cast<int>(Text().size());
    switch (message) {
    case WM_SETTEXT: {
        std::wstring text;
        if (lParam)
            AppendWithViewBreaks(text, reinterpret_cast<const wchar_t*>(lParam),
                                 std::wcslen(reinterpret_cast<const wchar_t*>(lParam)));
        TakeText(std::make_shared<const std::wstring>(std::move(text)));
        return TRUE;
    }
    case WM_GETTEXT:
        return CopyText(reinterpret_cast<wchar_t*>(lParam), wParam, 0, length, true);
    case WM_GETTEXTLENGTH:
        return WindowTextLength();
    case EM_GETTEXTLENGTHEX: {
        const auto* how = reinterpret_cast<const GETTEXTLENGTHEX*>(wParam);
        return how && (how->flags & GTL_USECRLF) ? WindowTextLength() : length;
    }
    case EM_GETTEXTEX: {
        const auto* how = reinterpret_cast<const GETTEXTEX*>(wParam);
        if (!how || how->codepage != 1200)
            return 0;
        const bool selection = (how->flags & GT_SELECTION) != 0;
        return CopyText(reinterpret_cast<wchar_t*>(lParam), how->cb / sizeof(wchar_t), selection ? selStart_ : 0,
                        selection ? selEnd_ : length, (how->flags & GT_USECRLF) != 0);
    }
    case EM_GETTEXTRANGE: {
        auto* range = reinterpret_cast<TEXTRANGEW*>(lParam);
        if (!range)
            return 0;
        const int from = std::clamp<int>(range->chrg.cpMin, 0, length);
        const int to = range->chrg.cpMax < 0 ? length : std::clamp<int>(range->chrg.cpMax, from, length);
        return CopyText(range->lpstrText, static_cast<size_t>(to - from) + 1, from, to, false);
    }
    case EM_SETSEL:
        Select(static_cast<int>(wParam), static_cast<int>(lParam));
        return selEnd_;
    case EM_GETSEL:
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(selStart_);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(selEnd_);
        return selEnd_ > 0xFFFF ? -1 : MAKELRESULT(selStart_, selEnd_);
    case EM_REPLACESEL:
        ReplaceSelection(reinterpret_cast<const wchar_t*>(lParam));
        return 0;
    case EM_EXLINEFROMCHAR:
        return layout_.LineOf(static_cast<int>(lParam) < 0 ? selStart_ : static_cast<int>(lParam));
    case EM_LINEFROMCHAR:
        return layout_.LineOf(static_cast<int>(wParam) < 0 ? selStart_ : static_cast<int>(wParam));
    case EM_GETLINECOUNT:
        return layout_.LineCount();
    case EM_GETFIRSTVISIBLELINE:
        return topLine_;
    case EM_LINEINDEX:
        return layout_.LineStart(static_cast<int>(wParam) < 0 ? layout_.LineOf(selEnd_) : static_cast<int>(wParam));
    case EM_POSFROMCHAR: {
        // A character index alone asks for the packed answer; otherwise wParam points
        // at the point to fill, and lParam is the index.
        if (wParam >= 0x40000) {
            const POINT at = PositionOf(static_cast<int>(lParam));
            *reinterpret_cast<POINTL*>(wParam) = POINTL{at.x, at.y};
            return 0;
        }
        const POINT at = PositionOf(static_cast<int>(wParam));
        return MAKELRESULT(static_cast<WORD>(at.x), static_cast<WORD>(at.y));
    }
    case EM_LINESCROLL:
        return ScrollTo(topLine_ + static_cast<int>(lParam));
    case EM_SCROLL: {
        const int before = topLine_;
        const int page = FullyVisibleLines();
        const int by = wParam == SB_LINEUP ? -1 : wParam == SB_LINEDOWN ? 1 : wParam == SB_PAGEUP ? -page
                       : wParam == SB_PAGEDOWN ? page : 0;
        ScrollTo(topLine_ + by);
        return MAKELRESULT(static_cast<WORD>(topLine_ - before), TRUE);
    }
    case EM_SETEVENTMASK:
        return std::exchange(eventMask_, static_cast<DWORD>(lParam));
    case EM_GETEVENTMASK:
        return eventMask_;
    case EM_SETBKGNDCOLOR: {
        const COLORREF previous = background_;
        background_ = wParam ? GetSysColor(COLOR_WINDOW) : static_cast<COLORREF>(lParam);
        InvalidateRect(window_, nullptr, FALSE);
        return previous;
    }
    case EM_SETCHARFORMAT: {
        const auto* format = reinterpret_cast<const CHARFORMATW*>(lParam);
        if (!format || format->cbSize < sizeof(CHARFORMATW))
            return FALSE;
        CHARFORMAT2W full{};
        std::memcpy(&full, format, std::min<size_t>(format->cbSize, sizeof full));
        ApplyFormat(full, format->dwMask);
        return TRUE;
    }
    case EM_GETCHARFORMAT: {
        auto* format = reinterpret_cast<CHARFORMAT2W*>(lParam);
        if (!format || format->cbSize < sizeof(CHARFORMATW))
            return 0;
        FillFormat(*format);
        return format->dwMask;
    }
    case EM_EXLIMITTEXT:
    case EM_LIMITTEXT:
    case EM_SETUNDOLIMIT:
        return 0;
    case WM_MOUSEWHEEL:
        ScrollTo(topLine_ - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA);
        return 0;
    case WM_CREATE:
        ResetLayout();
        return 0;
    case WM_GETOBJECT: {
        LRESULT answer = 0;
        return accessibility_->Answer(wParam, lParam, answer) ? answer : DefWindowProcW(window_, message, wParam, lParam);
    }
    case WM_DESTROY:
        SetActive(false);
        accessibility_->Disconnect();
        return 0;
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (const HDC dc = BeginPaint(window_, &paint)) {
            RECT client{};
            GetClientRect(window_, &client);
            Paint(dc, client, paint.rcPaint);
            EndPaint(window_, &paint);
        }
        return 0;
    }
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}
