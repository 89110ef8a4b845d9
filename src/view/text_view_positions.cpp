#include "view/text_view_control.h"
#include "platform/log.h"
#include <algorithm>
#include <cmath>

// Where the text view's characters are on screen, all from the shape of the lines in
// sight, and the system caret that follows the spoken word for magnifiers.

namespace {

// Longer than any line in sight can show: what lies beyond on a line (only blanks can)
// is placed at the line's end.
constexpr int LongestShapedLine = 4096;
// A paragraph's direction is its first strong letter's, looked for this far at most: a
// paragraph of that many digits and signs is read left to right.
constexpr int LongestDirectionSearch = 64 * 1024;
// More shaped lines than a view shows: the kept shapes are let go beyond this.
constexpr size_t ShapesKept = 512;

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r';
}

} // namespace

// Blanks at a line's end hang past its edge, as in the platform's own controls, and are
// not part of its shape; nor is its paragraph break.
TextViewControl::PlacedLine TextViewControl::Place(int line)
{
    PlacedLine placed;
    placed.start = layout_.LineStart(line);
    if (placed.start < 0)
        return placed;
    const std::wstring& text = Text();
    int end = layout_.LineEnd(line);
    while (end > placed.start && IsBlank(text[static_cast<size_t>(end - 1)]))
        --end;
    end = std::min(end, placed.start + LongestShapedLine);
    auto found = shapes_.find(placed.start);
    if (found == shapes_.end() || found->second.Length() != end - placed.start) {
        if (shapes_.size() >= ShapesKept)
            shapes_.clear();
        const size_t paragraph = placed.start > 0 ? text.rfind(L'\r', static_cast<size_t>(placed.start - 1)) : std::wstring::npos;
        const int paragraphStart = paragraph == std::wstring::npos ? 0 : static_cast<int>(paragraph) + 1;
        const bool rightToLeft = ParagraphReadsRightToLeft(
            text.data(), paragraphStart, std::min(static_cast<int>(text.size()), paragraphStart + LongestDirectionSearch));
        found = shapes_.insert_or_assign(placed.start, LineShape(measureDc_.get(), text.data() + placed.start,
                                                                 end - placed.start, rightToLeft, dpi_ / 2))
                    .first;
    }
    placed.shape = &found->second;
    // A right-to-left paragraph's lines stand at the right edge, as far as they fit.
    placed.left = placed.shape->RightToLeft()
                      ? std::max(Margin, Margin + LayoutWidth() - placed.shape->Width())
                      : Margin;
    placed.top = (line - topLine_) * lineHeight_;
    return placed;
}

POINT TextViewControl::PositionOf(int index)
{
    index = std::clamp(index, 0, static_cast<int>(Text().size()));
    const PlacedLine placed = Place(layout_.LineOf(index));
    if (!placed.shape)
        return POINT{Margin, textTop_};
    return POINT{placed.left + placed.shape->EdgeBefore(index - placed.start), placed.top + textTop_};
}

TextRange TextViewControl::VisibleRange()
{
    RECT client{};
    GetClientRect(window_, &client);
    const int start = std::max(0, layout_.LineStart(topLine_));
    const int lines = std::max(1, static_cast<int>((client.bottom + lineHeight_ - 1) / lineHeight_));
    return {start, std::max(start, layout_.LineEnd(topLine_ + lines - 1))};
}

std::vector<RECT> TextViewControl::RangeRectangles(TextRange range)
{
    std::vector<RECT> rectangles;
    RECT client{};
    GetClientRect(window_, &client);
    const TextRange visible = VisibleRange();
    const int from = std::max(range.start, visible.start);
    const int to = std::min(range.end, visible.end);
    for (int line = layout_.LineOf(from); from < to; ++line) {
        const PlacedLine placed = Place(line);
        if (!placed.shape || placed.start >= to)
            break;
        const std::vector<RECT> pieces =
            Rectangles(placed, {from, to}, placed.top, placed.top + lineHeight_, client, false);
        rectangles.insert(rectangles.end(), pieces.begin(), pieces.end());
    }
    return rectangles;
}

int TextViewControl::IndexAtPoint(POINT point)
{
    const int row = static_cast<int>(std::floor(static_cast<double>(point.y) / lineHeight_));
    int line = std::max(0, topLine_ + row);
    // Below the last line: the layout is complete then, and only then is the last line known
    // without laying out a long text to its end.
    if (layout_.LineStart(line) < 0)
        line = std::max(0, layout_.KnownLines() - 1);
    const PlacedLine placed = Place(line);
    if (!placed.shape)
        return static_cast<int>(Text().size());
    return placed.start + placed.shape->IndexAt(point.x - placed.left);
}

int TextViewControl::CharacterAtPoint(POINT point)
{
    const int row = static_cast<int>(std::floor(static_cast<double>(point.y) / lineHeight_));
    const PlacedLine placed = Place(std::max(0, topLine_ + row));
    if (!placed.shape)
        return static_cast<int>(Text().size());
    return placed.start + placed.shape->CharacterAt(point.x - placed.left);
}

void TextViewControl::ScrollIntoView(int index, bool alignToTop)
{
    const int line = layout_.LineOf(index);
    if (alignToTop)
        ScrollTo(line);
    else
        ShowLine(line);
}

// ---- The caret ----

void TextViewControl::SetActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    PlaceCaret();
}

// While the window is active the system caret stands on the first letter of the spoken
// word (or where the caret is, stopped), so that magnifiers following the text cursor
// follow the reading; a window in the background leaves the caret to others.
void TextViewControl::PlaceCaret()
{
    if (!active_) {
        if (caretHeight_ > 0 && !DestroyCaret())
            LogFailure(L"DestroyCaret of the text view", GetLastError());
        caretHeight_ = 0;
        return;
    }
    DWORD width = 1;
    if (!SystemParametersInfoW(SPI_GETCARETWIDTH, 0, &width, 0) || width == 0)
        width = 1;
    if (caretHeight_ != lineHeight_) {
        if (!CreateCaret(window_, nullptr, static_cast<int>(width), lineHeight_)) {
            LogFailure(L"CreateCaret of the text view", GetLastError());
            caretHeight_ = 0;
            return;
        }
        // Never shown: the highlight is the mark on screen, and a blinking bar on it
        // would only distract; magnifiers take the caret's place all the same.
        caretHeight_ = lineHeight_;
    }
    const int index = std::clamp(selStart_, 0, static_cast<int>(Text().size()));
    const PlacedLine placed = Place(layout_.LineOf(index));
    int x = Margin;
    int y = 0;
    if (placed.shape) {
        const int edge = placed.shape->EdgeBefore(index - placed.start);
        // Inside the first letter, on whichever side it starts: a right-to-left word's
        // first letter lies to the left of its edge.
        const std::vector<Span> first = placed.shape->Spans(index - placed.start, index - placed.start + 1);
        const bool leftward = !first.empty() ? first.front().right <= edge : placed.shape->RightToLeft();
        x = placed.left + (leftward ? edge - static_cast<int>(width) : edge);
        y = placed.top;
    }
    SetCaretPos(x, y);
    NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, window_, OBJID_CARET, CHILDID_SELF);
}
