#include "view/text_view_control.h"
#include "platform/dpi.h"
#include "platform/log.h"
#include <algorithm>
#include <cstring>

// How the text view looks: its font, its colours and the drawing of the lines in sight.

namespace {

// Of the way from one colour to another.
COLORREF Blend(COLORREF from, COLORREF to, int percent)
{
    const auto blend = [percent](int a, int b) { return a + (b - a) * percent / 100; };
    return RGB(blend(GetRValue(from), GetRValue(to)), blend(GetGValue(from), GetGValue(to)),
               blend(GetBValue(from), GetBValue(to)));
}

} // namespace

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
    PlaceCaret();
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
    // Shapes hold on to the font they were made in.
    shapes_.clear();
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

// Draws the text and selection off screen, on the DC the lines are shaped for, then shows
// it in one piece: a capture of the screen never finds the view half drawn. What lies
// outside the area to paint is still in the picture from the paint before, so a word
// moving on redraws its own lines only.
void TextViewControl::Paint(HDC target, const RECT& client, const RECT& area)
{
    const HDC dc = measureDc_.get();
    if (client.right <= 0 || client.bottom <= 0 || !dc)
        return;
    RECT drawn = area;
    if (backBufferSize_.cx != client.right || backBufferSize_.cy != client.bottom) {
        GdiObject bitmap(CreateCompatibleBitmap(target, client.right, client.bottom));
        if (!bitmap) {
            LogFailure(L"CreateCompatibleBitmap of the text view", GetLastError());
            return;
        }
        SelectObject(dc, bitmap.get());
        backBuffer_ = std::move(bitmap);
        backBufferSize_ = SIZE{client.right, client.bottom};
        // A new picture: all of it is drawn.
        drawn = client;
    }
    if (!IntersectRect(&drawn, &drawn, &client))
        return;
    // Letters drawn twice over themselves would come out bolder at their soft edges.
    const GdiObject clip(CreateRectRgnIndirect(&drawn));
    SelectClipRgn(dc, static_cast<HRGN>(clip.get()));
    const GdiObject backgroundBrush(CreateSolidBrush(background_));
    FillRect(dc, &drawn, static_cast<HBRUSH>(backgroundBrush.get()));
    SetBkMode(dc, TRANSPARENT);
    const int firstLine = topLine_ + static_cast<int>(drawn.top / lineHeight_);
    for (int line = firstLine, y = (firstLine - topLine_) * lineHeight_; y < drawn.bottom; ++line, y += lineHeight_) {
        if (layout_.LineStart(line) < 0)
            break;
        DrawLine(dc, line, y, client);
    }
    SelectClipRgn(dc, nullptr);
    BitBlt(target, drawn.left, drawn.top, drawn.right - drawn.left, drawn.bottom - drawn.top, dc, drawn.left, drawn.top,
           SRCCOPY);
}

TextViewControl::LineColours TextViewControl::ColoursNow() const
{
    LineColours colours;
    colours.text = (format_.dwEffects & CFE_AUTOCOLOR) ? GetSysColor(COLOR_WINDOWTEXT) : format_.crTextColor;
    // In played-text mode the text read so far is the mark, drawn as plain text; the
    // rest is not drawn at all.
    colours.marked = playedTextMode_ ? background_ : GetSysColor(COLOR_HIGHLIGHT);
    colours.markedText = playedTextMode_ ? colours.text : GetSysColor(COLOR_HIGHLIGHTTEXT);
    colours.tint = SentenceTint(background_, GetSysColor(COLOR_HIGHLIGHT));
    return colours;
}

TextRange TextViewControl::Marked() const
{
    if (!playedTextMode_)
        return {selStart_, selEnd_};
    return selStart_ < selEnd_ ? TextRange{0, selEnd_} : TextRange{};
}

// The colour of text[from] and of what is behind it; false when it is not drawn.
bool TextViewControl::ColourAt(int from, const LineColours& colours, COLORREF& colour) const
{
    const TextRange marked = Marked();
    const bool isMarked = from >= marked.start && from < marked.end;
    if (playedTextMode_ && !isMarked)
        return false;
    const bool tinted = look_.tint && sentence_.end > sentence_.start && InSentence(from);
    const COLORREF behind = isMarked ? colours.marked : tinted ? colours.tint : background_;
    colour = isMarked ? colours.markedText : colours.text;
    if (Focusing() && !InSentence(from))
        colour = FocusDimmedColour(colour, behind);
    else if (!isMarked && InDimmed(from))
        colour = DimmedColour(colour, behind);
    return true;
}

bool TextViewControl::InDimmed(int index) const
{
    if (!dimmed_)
        return false;
    const auto range = std::lower_bound(dimmed_->begin(), dimmed_->end(), index,
                                        [](const TextRange& r, int at) { return r.end <= at; });
    return range != dimmed_->end() && range->start <= index;
}

// The next place after from, before to, where the colour of the text may change.
int TextViewControl::NextColourChange(int from, int to) const
{
    const TextRange marked = Marked();
    for (const int change : {marked.start, marked.end, sentence_.start, sentence_.end})
        if (change > from && change < to)
            to = change;
    if (dimmed_) {
        const auto range = std::lower_bound(dimmed_->begin(), dimmed_->end(), from,
                                            [](const TextRange& r, int at) { return r.end <= at; });
        if (range != dimmed_->end()) {
            const int change = range->start > from ? range->start : range->end;
            if (change > from && change < to)
                to = change;
        }
    }
    return to;
}

// The line is drawn whole in each of its colours, clipped each time to where the text of
// that colour is: shaped as one, its letters keep their joined forms and its words their
// order however the colours cut it.
void TextViewControl::DrawLine(HDC dc, int line, int y, const RECT& client)
{
    const PlacedLine placed = Place(line);
    if (!placed.shape)
        return;
    const LineColours colours = ColoursNow();
    const int textY = y + textTop_;
    // The sentence's tint takes the whole line, so that its lines join; the mark only
    // the text's height.
    if (look_.tint && !playedTextMode_)
        FillBehind(dc, placed, sentence_, y, y + lineHeight_, colours.tint, client);
    FillBehind(dc, placed, Marked(), textY, textY + fontHeight_, colours.marked, client);
    const int end = placed.start + placed.shape->Length();
    for (int from = placed.start; from < end;) {
        const int to = NextColourChange(from, end);
        COLORREF colour = 0;
        if (ColourAt(from, colours, colour)) {
            SetTextColor(dc, colour);
            if (from == placed.start && to == end) {
                placed.shape->Draw(placed.left, textY);
            } else {
                const GdiObject region(ClipRegion(placed, {from, to}, y, y + lineHeight_, client));
                const int saved = SaveDC(dc);
                ExtSelectClipRgn(dc, static_cast<HRGN>(region.get()), RGN_AND);
                placed.shape->Draw(placed.left, textY);
                RestoreDC(dc, saved);
            }
        }
        from = to;
    }
}

// Where the characters of range on the placed line are, from top to bottom; the
// stretches at the line's ends reach the client's edges, so that what a glyph draws
// beyond its advance is kept.
std::vector<RECT> TextViewControl::Rectangles(const PlacedLine& placed, TextRange range, int top, int bottom,
                                              const RECT& client, bool toEdges) const
{
    std::vector<RECT> rectangles;
    const int width = placed.shape->Width();
    for (const Span& span : placed.shape->Spans(range.start - placed.start, range.end - placed.start)) {
        RECT piece{placed.left + span.left, top, placed.left + span.right, bottom};
        if (toEdges && span.left == 0)
            piece.left = client.left;
        if (toEdges && span.right == width)
            piece.right = client.right;
        RECT shown{};
        if (IntersectRect(&shown, &piece, &client))
            rectangles.push_back(shown);
    }
    return rectangles;
}

HRGN TextViewControl::ClipRegion(const PlacedLine& placed, TextRange range, int top, int bottom,
                                 const RECT& client) const
{
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : Rectangles(placed, range, top, bottom, client, true)) {
        const GdiObject piece(CreateRectRgnIndirect(&r));
        if (region && piece)
            CombineRgn(region, region, static_cast<HRGN>(piece.get()), RGN_OR);
    }
    return region;
}

void TextViewControl::FillBehind(HDC dc, const PlacedLine& placed, TextRange range, int top, int bottom,
                                 COLORREF colour, const RECT& client)
{
    if (range.end <= range.start)
        return;
    const GdiObject brush(CreateSolidBrush(colour));
    for (const RECT& area : Rectangles(placed, range, top, bottom, client, false))
        FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
}
