#include "view/text_units.h"
#include <windows.h>
#include <algorithm>

namespace {

bool IsHigh(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

bool IsCombiningMark(wchar_t c)
{
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE3, &c, 1, &type) && (type & C3_NONSPACING);
}

int CharacterStart(const std::wstring& text, int index)
{
    const int length = static_cast<int>(text.size());
    if (index >= length)
        return length;
    index = std::max(index, 0);
    while (index > 0) {
        const wchar_t c = text[static_cast<size_t>(index)];
        const wchar_t before = text[static_cast<size_t>(index) - 1];
        // A mark after a paragraph break has no base to stay with.
        if ((IsLow(c) && IsHigh(before)) || (IsCombiningMark(c) && before != L'\r'))
            --index;
        else
            break;
    }
    return index;
}

int CharacterEnd(const std::wstring& text, int index)
{
    const int length = static_cast<int>(text.size());
    index = CharacterStart(text, index);
    if (index >= length)
        return length;
    const wchar_t base = text[static_cast<size_t>(index)];
    int end = index + 1;
    if (IsHigh(base) && end < length && IsLow(text[static_cast<size_t>(end)]))
        ++end;
    if (base != L'\r')
        while (end < length && IsCombiningMark(text[static_cast<size_t>(end)]))
            ++end;
    return end;
}

bool IsWordCharacter(const std::wstring& text, int index)
{
    if (index < 0 || index >= static_cast<int>(text.size()))
        return false;
    const wchar_t c = text[static_cast<size_t>(index)];
    if (IsHigh(c) && index + 1 < static_cast<int>(text.size()) && IsLow(text[static_cast<size_t>(index) + 1])) {
        // The classes below know no character beyond the first plane: the scripts and
        // ideographs of the others count as letters, their symbols and pictographs do not.
        const unsigned codePoint = 0x10000 + ((c - 0xD800u) << 10) + (text[static_cast<size_t>(index) + 1] - 0xDC00u);
        return codePoint < 0x1D000 || (codePoint >= 0x20000 && codePoint < 0x40000);
    }
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & (C1_ALPHA | C1_DIGIT));
}

bool TextUnits::IsWordStart(int index) const
{
    if (index <= 0)
        return true;
    if (index >= Length())
        return false;
    // A paragraph break ends a word, whatever follows it.
    if (text_[static_cast<size_t>(index) - 1] == L'\r')
        return true;
    return IsWordCharacter(text_, index) && !IsWordCharacter(text_, CharacterStart(text_, index - 1));
}

int TextUnits::Floor(TextUnitKind unit, int index) const
{
    index = std::clamp(index, 0, Length());
    switch (unit) {
    case TextUnitKind::Character:
        return CharacterStart(text_, index);
    case TextUnitKind::Word: {
        int start = CharacterStart(text_, index);
        while (start > 0 && !IsWordStart(start))
            start = CharacterStart(text_, start - 1);
        return start;
    }
    case TextUnitKind::Line:
        return std::clamp(lines_.LineStartAt(index), 0, index);
    case TextUnitKind::Paragraph:
        if (index == 0)
            return 0;
        {
            const size_t breakBefore = text_.rfind(L'\r', static_cast<size_t>(index) - 1);
            return breakBefore == std::wstring::npos ? 0 : static_cast<int>(breakBefore) + 1;
        }
    case TextUnitKind::Document:
        return 0;
    }
    return index;
}

int TextUnits::Next(TextUnitKind unit, int index) const
{
    index = std::clamp(index, 0, Length());
    switch (unit) {
    case TextUnitKind::Character:
        return CharacterEnd(text_, index);
    case TextUnitKind::Word: {
        int next = CharacterEnd(text_, index);
        while (next < Length() && !IsWordStart(next))
            next = CharacterEnd(text_, next);
        return next;
    }
    case TextUnitKind::Line: {
        const int end = lines_.LineEndAt(index);
        return end > index ? std::min(end, Length()) : Length();
    }
    case TextUnitKind::Paragraph: {
        const size_t paragraphBreak = text_.find(L'\r', static_cast<size_t>(index));
        return paragraphBreak == std::wstring::npos ? Length() : static_cast<int>(paragraphBreak) + 1;
    }
    case TextUnitKind::Document:
        return Length();
    }
    return index;
}

TextRange TextUnits::Enclosing(TextUnitKind unit, TextRange range) const
{
    const int start = Floor(unit, range.start);
    return {start, Next(unit, start)};
}

int TextUnits::MovePosition(TextUnitKind unit, int& position, int count) const
{
    position = std::clamp(position, 0, Length());
    int moved = 0;
    for (; moved < count; ++moved) {
        const int next = Next(unit, position);
        if (next <= position)
            break;
        position = next;
    }
    for (; moved < -count; ++moved) {
        if (position <= 0)
            break;
        const int start = Floor(unit, position);
        position = start < position ? start : Floor(unit, position - 1);
    }
    return count > 0 ? moved : -moved;
}

int TextUnits::MoveRange(TextUnitKind unit, TextRange& range, int count) const
{
    if (range.start == range.end) {
        int position = range.start;
        const int moved = MovePosition(unit, position, count);
        range = {position, position};
        return moved;
    }
    int start = Floor(unit, range.start);
    int moved = 0;
    if (count > 0) {
        // Past the last unit there is only the empty end: the range stays on the last one.
        for (; moved < count; ++moved) {
            const int next = Next(unit, start);
            if (next <= start || next >= Length())
                break;
            start = next;
        }
    } else {
        moved = MovePosition(unit, start, count);
    }
    range = {start, Next(unit, start)};
    return moved;
}
