#pragma once
// How the voice divides a text into the words it speaks and the sentences that
// Skip counts. Positions and lengths are UTF-16 code units into the text.
#include <cstdint>
#include <string_view>
#include <vector>

struct TextWord {
    uint32_t pos;
    uint32_t len;
    uint32_t sentence;
};

struct TextSentence {
    uint32_t pos;
    uint32_t len;
    uint32_t firstWord;
};

struct TextUnits {
    std::vector<TextWord> words;
    std::vector<TextSentence> sentences;
};

// A long run without sentence punctuation is cut into sentences of this many blanks,
// the rule the program's help text gives its users and its sentence count follows.
constexpr uint32_t kBlanksPerUnpunctuatedSentence = 50;

// A word is a run of non-blank characters. A sentence ends with a word whose last
// character is '.', '!' or '?' when a blank, CR, LF or the end of the text follows it,
// unless the word is a common abbreviation or an initial ("Dr.", "J.", "U.S.", "e.g.")
// and more text follows it.
TextUnits SplitText(std::wstring_view text);

bool IsWordSeparator(wchar_t c);
