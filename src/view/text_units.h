#pragma once
// The units a screen reader moves through a text by, as positions in the view's text
// (one CR per paragraph break): whole characters (a surrogate pair, or a base with its
// combining marks, is one), words, the view's lines, paragraphs and the whole text.
#include <string>
#include "view/text_range.h"

enum class TextUnitKind { Character, Word, Line, Paragraph, Document };

// The lines as the view lays them out; a stand-in in tests.
class LineLookup {
public:
    // The first character of the line that holds index.
    virtual int LineStartAt(int index) = 0;
    // The end of the characters of the line that holds index, its CR included.
    virtual int LineEndAt(int index) = 0;

protected:
    ~LineLookup() = default;
};

// A position that splits no character: at the base of a combining mark, at the high half
// of a surrogate pair.
bool IsCombiningMark(wchar_t c);
int CharacterStart(const std::wstring& text, int index);
// The end of the character at index.
int CharacterEnd(const std::wstring& text, int index);
// Whether the character at index is a letter or digit of any script.
bool IsWordCharacter(const std::wstring& text, int index);

class TextUnits {
public:
    TextUnits(const std::wstring& text, LineLookup& lines) : text_(text), lines_(lines) {}

    // The start of the unit that holds index: index itself where a unit starts.
    int Floor(TextUnitKind unit, int index) const;
    // The start of the unit after the one that holds index; the text's length at most.
    int Next(TextUnitKind unit, int index) const;
    // The unit that holds range's start.
    TextRange Enclosing(TextUnitKind unit, TextRange range) const;
    // Moves position by count units (backward when negative), from unit start to unit
    // start; the number moved, negative backward.
    int MovePosition(TextUnitKind unit, int& position, int count) const;
    // A range with text moves as the whole unit it starts in, to a unit that has text;
    // an empty one moves as a position.
    int MoveRange(TextUnitKind unit, TextRange& range, int count) const;

private:
    int Length() const { return static_cast<int>(text_.size()); }
    bool IsWordStart(int index) const;

    const std::wstring& text_;
    LineLookup& lines_;
};
