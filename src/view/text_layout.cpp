#include "view/text_layout.h"
#include "view/text_units.h"
#include <algorithm>

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Marks that belong on the character before them (accents, vowel points, variation
// selectors) and the joiner: a line never breaks before one.
bool JoinsPrevious(wchar_t c)
{
    // Below the first block of combining accents there are none: most text is asked
    // nothing of the platform.
    return c >= 0x0300 && (c == 0x200D || IsCombiningMark(c));
}

// Scripts written without blanks between words: a line may break before and after
// each of their characters.
bool BreaksAnywhere(wchar_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
}

} // namespace

void CharWidths::Reset(BlockMeasure block, PairMeasure pair, int tabStop)
{
    block_ = std::move(block);
    pair_ = std::move(pair);
    tabStop_ = tabStop > 0 ? tabStop : 1;
    std::fill(filled_.begin(), filled_.end(), false);
    pairs_.clear();
}

void CharWidths::Fill(uint16_t block)
{
    int* widths = widths_.data() + (static_cast<size_t>(block) << 8);
    std::fill(widths, widths + 256, 0);
    if (block_)
        block_(static_cast<wchar_t>(block << 8), 256, widths);
    filled_[block] = true;
}

int CharWidths::OfPair(wchar_t high, wchar_t low)
{
    const uint32_t key = (static_cast<uint32_t>(high) << 16) | low;
    for (const auto& [pair, width] : pairs_)
        if (pair == key)
            return width;
    const int width = pair_ ? pair_(high, low) : Of(high);
    pairs_.emplace_back(key, width);
    return width;
}

void TextLayout::Reset(const std::wstring& text, int width)
{
    text_ = &text;
    width_ = std::max(width, 1);
    starts_.assign(1, 0);
    complete_ = false;
}

void TextLayout::TextChangedFrom(const std::wstring& text, int index)
{
    text_ = &text;
    // A line's end can depend on the first character of the line after next: the
    // character that did not fit may have moved on by two lines.
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), index);
    const auto line = static_cast<size_t>(after - starts_.begin()) - 1;
    starts_.resize(line >= 2 ? line - 1 : 1);
    complete_ = false;
}

// The start of the line after the one at start, or -1 when that line runs to the end.
int TextLayout::NextLineStart(int start)
{
    const wchar_t* text = text_->data();
    const int length = static_cast<int>(text_->size());
    int x = 0;
    int breakAfter = -1;
    for (int i = start; i < length;) {
        const wchar_t c = text[i];
        if (c == L'\r')
            return i + 1;
        if (c == L' ' || c == L'\t') {
            x = c == L'\t' ? widths_.TabEnd(x) : x + widths_.Of(c);
            breakAfter = ++i;
            continue;
        }
        const bool pair = IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(text[i + 1]);
        const int width = pair ? widths_.OfPair(c, text[i + 1]) : widths_.Of(c);
        const bool anywhere = BreaksAnywhere(c);
        if (anywhere && i > start)
            breakAfter = i;
        // The first character of a line stays on it, however wide, and so do its marks.
        if (x + width > width_ && i > start && !JoinsPrevious(c))
            return breakAfter > start ? breakAfter : i;
        x += width;
        i += pair ? 2 : 1;
        if (anywhere || (c == L'-' && i < length && text[i] != L' ' && text[i] != L'\t' && text[i] != L'\r'))
            breakAfter = i;
    }
    return -1;
}

void TextLayout::FindLineAfterLast()
{
    const int next = NextLineStart(starts_.back());
    if (next < 0)
        complete_ = true;
    else
        starts_.push_back(next);
}

bool TextLayout::LayOutMore(int characters)
{
    const int goal = starts_.back() + std::max(characters, 1);
    while (!complete_ && starts_.back() < goal)
        FindLineAfterLast();
    return complete_;
}

int TextLayout::LineCount()
{
    while (!complete_)
        FindLineAfterLast();
    return KnownLines();
}

int TextLayout::LineStart(int line)
{
    if (line < 0)
        return -1;
    while (!complete_ && KnownLines() <= line)
        FindLineAfterLast();
    return line < KnownLines() ? starts_[static_cast<size_t>(line)] : -1;
}

int TextLayout::LineEnd(int line)
{
    const int next = LineStart(line + 1);
    return next >= 0 ? next : static_cast<int>(text_->size());
}

int TextLayout::LineOf(int index)
{
    index = std::clamp(index, 0, static_cast<int>(text_->size()));
    while (!complete_ && starts_.back() < index)
        FindLineAfterLast();
    return static_cast<int>(std::upper_bound(starts_.begin(), starts_.end(), index) - starts_.begin()) - 1;
}

int TextLayout::Advance(int from, int to, int x)
{
    const wchar_t* text = text_->data();
    for (int i = from; i < to; ++i) {
        const wchar_t c = text[i];
        if (c == L'\t')
            x = widths_.TabEnd(x);
        else if (c == L'\r')
            continue;
        else if (IsHighSurrogate(c) && i + 1 < to && IsLowSurrogate(text[i + 1]))
            x += widths_.OfPair(c, text[++i]);
        else
            x += widths_.Of(c);
    }
    return x;
}
