#pragma once
// Where the TextView's lines begin: each paragraph (ended by a CR) is broken into lines
// that fit the view's width, after blanks, after a hyphen inside a word, around East
// Asian characters, or anywhere in a word too long for one line. Blanks at the end of a
// line may run past its edge, as in the platform's own text controls.
//
// A line's start depends only on the text before it, so the lines are found from the
// start on, as far as someone asks, and a long text is laid out a piece at a time. A
// line once found stays valid until the text before it or the width changes.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// How wide each character is drawn, in pixels: asked of the font a block of 256
// characters at a time, and kept.
class CharWidths {
public:
    // Fills widths[0..count) for the characters first, first + 1, ...
    using BlockMeasure = std::function<void(wchar_t first, int count, int* widths)>;
    // The width of a pair of surrogates, drawn as one character.
    using PairMeasure = std::function<int(wchar_t high, wchar_t low)>;

    void Reset(BlockMeasure block, PairMeasure pair, int tabStop);

    int Of(wchar_t c)
    {
        const uint16_t block = static_cast<uint16_t>(c >> 8);
        if (!filled_[block])
            Fill(block);
        return widths_[c];
    }
    int OfPair(wchar_t high, wchar_t low);
    // Where a tab that starts at x ends.
    int TabEnd(int x) const { return (x / tabStop_ + 1) * tabStop_; }

private:
    void Fill(uint16_t block);

    BlockMeasure block_;
    PairMeasure pair_;
    int tabStop_ = 48;
    std::vector<int> widths_ = std::vector<int>(65536, 0);
    std::vector<bool> filled_ = std::vector<bool>(256, false);
    std::vector<std::pair<uint32_t, int>> pairs_;
};

class TextLayout {
public:
    // Lays out in lines measured by widths.
    explicit TextLayout(CharWidths& widths) : widths_(widths) {}

    // Everything again: text, which must stay alive until the next Reset or change, in
    // lines of at most width pixels (a new text, font or width).
    void Reset(const std::wstring& text, int width);
    // The text is now text, changed at and after index; lines that cannot depend on the
    // change stay.
    void TextChangedFrom(const std::wstring& text, int index);

    // Lines found so far; all of them once Complete().
    int KnownLines() const { return static_cast<int>(starts_.size()); }
    bool Complete() const { return complete_; }
    // Finds lines for at most about `characters` more characters of the text; true when
    // the layout is then complete.
    bool LayOutMore(int characters);

    int LineCount();
    // First character of a line; -1 when there is no such line.
    int LineStart(int line);
    // End of a line's characters, its CR included.
    int LineEnd(int line);
    // Line of a character; a position at or past the end is on the last line.
    int LineOf(int index);
    // x of each character of text[from, to) drawn from x, as the layout counts them:
    // where it starts, and where the next one starts.
    int Advance(int from, int to, int x = 0);

private:
    int NextLineStart(int start);
    void FindLineAfterLast();

    const std::wstring* text_ = &noText_;
    CharWidths& widths_;
    static inline const std::wstring noText_;
    int width_ = 1;
    std::vector<int> starts_{0};
    bool complete_ = false;
};
