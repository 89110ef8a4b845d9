#pragma once
// The pronunciation dictionary made ready for one voice: finds, in a text, every stretch
// that an entry says to pronounce otherwise. Entries are taken in the user's order: where
// two matches overlap, the one of the earlier entry is kept.
#include "pronunciation/literal_matcher.h"
#include "pronunciation/pronunciation_entry.h"
#include "pronunciation/regex_pattern.h"
#include <memory>
#include <string>
#include <vector>

// Text [start, end) is heard as text.
struct TextReplacement {
    int start;
    int end;
    std::wstring text;
};

class Pronouncer {
public:
    // The entries for the voice of that display name; an entry that cannot be used (which
    // the dictionary never holds) is left out.
    Pronouncer(const std::vector<PronunciationEntry>& entries, const std::wstring& voiceName);
    ~Pronouncer();
    Pronouncer(const Pronouncer&) = delete;
    Pronouncer& operator=(const Pronouncer&) = delete;

    bool Empty() const { return entries_.empty(); }
    // In order of their starts, none overlapping another; none is empty.
    std::vector<TextReplacement> Replacements(const std::wstring& text) const;
    // The text as the voice hears it.
    std::wstring Pronounce(const std::wstring& text) const;

private:
    struct Compiled;
    std::vector<Compiled> entries_;
    LiteralMatcher literals_;
};

// text with the replacements made.
std::wstring ApplyReplacements(const std::wstring& text, const std::vector<TextReplacement>& replacements);

// Simple case folding of one code unit, the same for the text and the patterns.
wchar_t FoldCase(wchar_t unit);

// A letter, digit or '_': what a whole word must not be joined to.
bool IsWordUnit(wchar_t unit);
