#pragma once
// One line of the view shaped as a whole by the platform's script processor: in its
// paragraph's direction and bidirectional order, letters in their joined forms, marks on
// their bases, and what the view's font lacks in the platform's fallback fonts. Every x
// on a line (the highlight, the caret, the character at a point, the rectangles told to
// assistive technology) comes from its shape, and the line is only ever drawn whole:
// a colour for part of it is the whole line drawn again, clipped to that part.
#include <windows.h>
#include <usp10.h>
#include <string>
#include <vector>

// A stretch of a line on screen, in pixels from the line's left end.
struct Span {
    int left = 0;
    int right = 0;
};

class LineShape {
public:
    LineShape() = default;
    // text[0, length) shaped for dc and the font selected in it, which must both stay
    // as they are for as long as the shape is used; a tab ends at the next multiple of
    // tabStop pixels from the line's start.
    LineShape(HDC dc, const wchar_t* text, int length, bool rightToLeft, int tabStop);
    ~LineShape();
    LineShape(LineShape&& other) noexcept;
    LineShape& operator=(LineShape&& other) noexcept;
    LineShape(const LineShape&) = delete;
    LineShape& operator=(const LineShape&) = delete;

    int Length() const { return length_; }
    int Width() const { return width_; }
    bool RightToLeft() const { return rightToLeft_; }
    // Where the text before index ends on screen: the edge between index - 1 and index
    // in reading order; the line's far end for an index at or past its end.
    int EdgeBefore(int index) const;
    // The place between characters nearest to x.
    int IndexAt(int x) const;
    // The character drawn at x; before the line's first one in reading order, 0, and
    // past its last one, Length().
    int CharacterAt(int x) const;
    // Where characters [from, to) are drawn: one span for each visually joined stretch,
    // left to right.
    std::vector<Span> Spans(int from, int to) const;
    // Draws the whole line, its left end at x and its text's top at y, in the DC's text
    // colour, within the DC's clipping region.
    void Draw(int x, int y) const;

private:
    int X(int index, bool trailing) const;

    SCRIPT_STRING_ANALYSIS analysis_ = nullptr;
    // Where shaping failed: the text, drawn and measured plainly on dc_.
    HDC dc_ = nullptr;
    std::wstring plain_;
    int length_ = 0;
    int width_ = 0;
    bool rightToLeft_ = false;
};

// Whether the paragraph of text[from, ...) reads from right to left: its first letter
// of a strong direction is one of a right-to-left script. Looks no further than end.
bool ParagraphReadsRightToLeft(const wchar_t* text, int from, int end);
