#include "view/text_view_control.h"
#include "platform/dpi.h"
#include "platform/log.h"
#include <algorithm>
#include <cstring>

// How the text view looks: its font, its colours and the drawing of the lines in sight.

namespace {

ColourQuery colourQuery = &GetSysColor;

// More characters than a line can show in any font: a run of blanks hanging past the
// edge is not handed to the system whole.
constexpr int LongestDrawnRun = 4096;

// Of the way from one colour to another.
COLORREF Blend(COLORREF from, COLORREF to, int percent)
{
    const auto blend = [percent](int a, int b) { return a + (b - a) * percent / 100; };
    return RGB(blend(GetRValue(from), GetRValue(to)), blend(GetGValue(from), GetGValue(to)),
               blend(GetBValue(from), GetBValue(to)));
}

} // namespace

void SetTextViewColourQuery(ColourQuery query)
{
    colourQuery = query ? query : &GetSysColor;
}

ColourQuery TextViewColourQueryInUse()
{
    return colourQuery;
}

COLORREF DimmedColour(COLORREF text, COLORREF background)
{
    return Blend(text, background, 55);
}

// Light enough that the text on it reads as on the background, strong enough to be
// seen on any screen.
COLORREF SentenceTint(COLORREF background, COLORREF highlight)
{
    return Blend(background, highlight, 22);
}

// Further than what the voice skips, so that the sentence stands out; still legible.
COLORREF FocusDimmedColour(COLORREF text, COLORREF background)
{
    return Blend(text, background, 65);
}

// ---- Look ----

void TextViewControl::ApplyFormat(const CHARFORMAT2W& format, DWORD mask)
{
    if (mask & CFM_SIZE)
        format_.yHeight = format.yHeight;
    if (mask & CFM_COLOR) {
        format_.crTextColor = format.crTextColor;
        format_.dwEffects = (format_.dwEffects & ~CFE_AUTOCOLOR) | (format.dwEffects & CFE_AUTOCOLOR);
    }
    if (mask & CFM_FACE)
        lstrcpynW(format_.szFaceName, format.szFaceName, LF_FACESIZE);
    if (mask & CFM_CHARSET)
        format_.bCharSet = format.bCharSet;
    for (const DWORD effect : {CFE_BOLD, CFE_ITALIC, CFE_UNDERLINE, CFE_STRIKEOUT})
        if (mask & effect)   // each effect's mask bit has the effect's own value
            format_.dwEffects = (format_.dwEffects & ~effect) | (format.dwEffects & effect);
    // A new colour alone does not move a line: a long text is not laid out again for it.
    if (mask & ~static_cast<DWORD>(CFM_COLOR))
        Refont();
    else
        InvalidateRect(window_, nullptr, FALSE);
}

void TextViewControl::Refont()
{
    MakeFont();
    // The line at the top stays at the top in the new font.
    const int topChar = std::max(0, layout_.LineStart(topLine_));
    ResetLayout();
    topLine_ = layout_.LineOf(topChar);
    InvalidateRect(window_, nullptr, FALSE);
}

void TextViewControl::FillFormat(CHARFORMAT2W& format) const
{
    const UINT size = format.cbSize;
    const size_t bytes = std::min<size_t>(size, sizeof format_);
    std::memcpy(&format, &format_, bytes);
    format.cbSize = size;
    format.dwMask =
        CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
}

void TextViewControl::MakeFont()
{
    const int dpi = dpi_;
    LOGFONTW font{};
    font.lfHeight = -MulDiv(format_.yHeight, dpi, 1440);
    font.lfWeight = (format_.dwEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL;
    font.lfItalic = (format_.dwEffects & CFE_ITALIC) ? TRUE : FALSE;
    font.lfUnderline = (format_.dwEffects & CFE_UNDERLINE) ? TRUE : FALSE;
    font.lfStrikeOut = (format_.dwEffects & CFE_STRIKEOUT) ? TRUE : FALSE;
    font.lfCharSet = format_.bCharSet;
    lstrcpynW(font.lfFaceName, format_.szFaceName, LF_FACESIZE);
    GdiObject made(CreateFontIndirectW(&font));
    if (!made) {
        LogFailure(L"CreateFontIndirectW of the text view", GetLastError());
        return;
    }
    const HDC dc = measureDc_.get();
    if (dc)
        SelectObject(dc, made.get());
    font_ = std::move(made);
    TEXTMETRICW metrics{};
    if (dc && GetTextMetricsW(dc, &metrics) && metrics.tmHeight > 0)
        fontHeight_ = metrics.tmHeight;
    SpaceLines();
    const int averageWidth = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 8;
    widths_.Reset(
        [dc, averageWidth](wchar_t first, int count, int* widths) {
            wchar_t characters[256];
            INT ends[256];
            SIZE size{};
            for (int i = 0; i < count; ++i)
                characters[i] = static_cast<wchar_t>(first + i);
            if (!dc || !GetTextExtentExPointW(dc, characters, count, 0, nullptr, ends, &size)) {
                std::fill(widths, widths + count, averageWidth);
                return;
            }
            for (int i = 0; i < count; ++i)
                widths[i] = ends[i] - (i > 0 ? ends[i - 1] : 0);
        },
        [dc, averageWidth](wchar_t high, wchar_t low) {
            const wchar_t pair[2] = {high, low};
            SIZE size{};
            return dc && GetTextExtentPoint32W(dc, pair, 2, &size) ? static_cast<int>(size.cx) : averageWidth;
        },
        // The platform's default tab stops: every half inch.
        dpi / 2);
}

void TextViewControl::SpaceLines()
{
    lineHeight_ = MulDiv(fontHeight_, lineSpacingPercent_, 100);
    textTop_ = (lineHeight_ - fontHeight_) / 2;
}

// Repaints the visible lines that hold any of text[from, to].
void TextViewControl::InvalidateCharacters(int from, int to)
{
    if (from == to)
        return;
    RECT client{};
    GetClientRect(window_, &client);
    const int lastVisible = topLine_ + static_cast<int>(client.bottom / lineHeight_);
    const int first = std::max(layout_.LineOf(from), topLine_);
    const int last = std::min(layout_.LineOf(to), lastVisible);
    if (first > last)
        return;
    RECT rows{0, (first - topLine_) * lineHeight_, client.right, (last - topLine_ + 1) * lineHeight_};
    InvalidateRect(window_, &rows, FALSE);
}

// Draws the text and selection off screen, then shows it in one piece: a capture of the
// screen never finds the view half drawn.
void TextViewControl::Paint(HDC target, const RECT& client)
{
    if (client.right <= 0 || client.bottom <= 0)
        return;
    const MemoryDc dc(CreateCompatibleDC(target));
    const GdiObject bitmap(CreateCompatibleBitmap(target, client.right, client.bottom));
    const HDC drawOn = dc && bitmap ? dc.get() : target;
    std::unique_ptr<SelectedObject> selectedBitmap;
    if (drawOn != target)
        selectedBitmap = std::make_unique<SelectedObject>(drawOn, bitmap.get());
    const GdiObject backgroundBrush(CreateSolidBrush(background_));
    FillRect(drawOn, &client, static_cast<HBRUSH>(backgroundBrush.get()));
    const SelectedObject selectedFont(drawOn, font_.get());
    SetBkMode(drawOn, TRANSPARENT);
    for (int line = topLine_, y = 0; y < client.bottom; ++line, y += lineHeight_) {
        if (layout_.LineStart(line) < 0)
            break;
        DrawLine(drawOn, line, y, client);
    }
    if (drawOn != target)
        BitBlt(target, 0, 0, client.right, client.bottom, drawOn, 0, 0, SRCCOPY);
}

void TextViewControl::DrawLine(HDC dc, int line, int y, const RECT& client)
{
    const int start = layout_.LineStart(line);
    int end = layout_.LineEnd(line);
    if (end > start && Text()[static_cast<size_t>(end - 1)] == L'\r')
        --end;
    const COLORREF textColour =
        (format_.dwEffects & CFE_AUTOCOLOR) ? GetSysColor(COLOR_WINDOWTEXT) : format_.crTextColor;
    const COLORREF highlight = colourQuery(COLOR_HIGHLIGHT);
    const COLORREF highlightText = colourQuery(COLOR_HIGHLIGHTTEXT);
    const bool tinted = look_.tint && sentence_.end > sentence_.start;
    const COLORREF tint = SentenceTint(background_, highlight);
    const bool focusing = Focusing();
    // The sentence's tint takes the whole line, so that its lines join; the selection
    // only the text's height.
    const int textY = y + textTop_;
    if (tinted)
        FillBehind(dc, start, std::max(start, sentence_.start), std::min(end, sentence_.end), y, y + lineHeight_, tint,
                   client);
    FillBehind(dc, start, std::clamp(selStart_, start, end), std::clamp(selEnd_, start, end), textY,
               textY + fontHeight_, highlight, client);
    // A piece at a time between the places where the text's colour may change.
    const int changes[] = {selStart_, selEnd_, sentence_.start, sentence_.end};
    int x = Margin;
    for (int from = start; from < end && x < client.right;) {
        int to = end;
        for (const int change : changes)
            if (change > from && change < to)
                to = change;
        const bool selected = from >= selStart_ && from < selEnd_;
        const bool dimmedByFocus = focusing && !InSentence(from);
        const COLORREF behind = selected ? highlight : tinted && InSentence(from) ? tint : background_;
        const COLORREF colour = selected ? highlightText : textColour;
        if (dimmedByFocus || selected) {
            SetTextColor(dc, dimmedByFocus ? FocusDimmedColour(colour, behind) : colour);
            DrawRun(dc, from, to, x, textY, client);
        } else {
            DrawPlainRun(dc, from, to, x, textY, client, colour, behind);
        }
        x = Margin + layout_.Advance(from, to, x - Margin);
        from = to;
    }
}

void TextViewControl::FillBehind(HDC dc, int start, int from, int to, int top, int bottom, COLORREF colour,
                                 const RECT& client)
{
    if (from >= to)
        return;
    const int left = Margin + layout_.Advance(start, from);
    const int right = Margin + layout_.Advance(from, to, left - Margin);
    RECT area{left, top, std::min<LONG>(right, client.right), bottom};
    const GdiObject brush(CreateSolidBrush(colour));
    FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
}

void TextViewControl::DrawPlainRun(HDC dc, int from, int to, int x, int y, const RECT& client, COLORREF colour,
                                   COLORREF behind)
{
    const COLORREF dimmed = DimmedColour(colour, behind);
    auto range = dimmed_ ? std::lower_bound(dimmed_->begin(), dimmed_->end(), from,
                                            [](const TextRange& r, int at) { return r.end <= at; })
                         : std::vector<TextRange>::const_iterator{};
    while (from < to && x < client.right) {
        const bool inDimmed = dimmed_ && range != dimmed_->end() && range->start <= from;
        const int pieceEnd = inDimmed                                       ? std::min(to, range->end)
                             : dimmed_ && range != dimmed_->end() ? std::min(to, range->start)
                                                                            : to;
        SetTextColor(dc, inDimmed ? dimmed : colour);
        DrawRun(dc, from, pieceEnd, x, y, client);
        x = Margin + layout_.Advance(from, pieceEnd, x - Margin);
        if (inDimmed && pieceEnd == range->end)
            ++range;
        from = pieceEnd;
    }
}

// Draws text[from, to) from x, a piece between tabs at a time, as far as the view shows.
void TextViewControl::DrawRun(HDC dc, int from, int to, int x, int y, const RECT& client)
{
    while (from < to && x < client.right) {
        if (Text()[static_cast<size_t>(from)] == L'\t') {
            x = Margin + layout_.Advance(from, from + 1, x - Margin);
            ++from;
            continue;
        }
        int pieceEnd = from;
        while (pieceEnd < to && Text()[static_cast<size_t>(pieceEnd)] != L'\t' && pieceEnd - from < LongestDrawnRun)
            ++pieceEnd;
        ExtTextOutW(dc, x, y, 0, nullptr, Text().data() + from, static_cast<UINT>(pieceEnd - from), nullptr);
        x = Margin + layout_.Advance(from, pieceEnd, x - Margin);
        from = pieceEnd;
    }
}

