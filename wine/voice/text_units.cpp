#include "text_units.h"

bool IsWordSeparator(wchar_t c)
{
    switch (c) {
    case L' ': case L'\t': case L'\r': case L'\n': case L'\v': case L'\f':
    case 0x0085: case 0x00A0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

namespace {

bool IsTerminator(wchar_t c)
{
    return c == L'.' || c == L'!' || c == L'?';
}

// Only a plain blank, CR or LF (or the end) after the punctuation closes a sentence:
// "3.5", "e.g.x" or a full stop before a tab do not.
bool ClosesSentence(std::wstring_view text, size_t end)
{
    if (!IsTerminator(text[end - 1]))
        return false;
    if (end == text.size())
        return true;
    const wchar_t next = text[end];
    return next == L' ' || next == L'\r' || next == L'\n';
}

} // namespace

TextUnits SplitText(std::wstring_view text)
{
    TextUnits units;
    bool sentenceOpen = false;
    uint32_t blanks = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (IsWordSeparator(text[i])) {
            if (text[i] == L' ')
                ++blanks;
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && !IsWordSeparator(text[i]))
            ++i;

        // The blanks after a sentence's punctuation already count towards the next
        // one, as in the program's own sentence count.
        if (sentenceOpen && blanks >= kBlanksPerUnpunctuatedSentence) {
            sentenceOpen = false;
            blanks -= kBlanksPerUnpunctuatedSentence;
        }
        if (!sentenceOpen) {
            units.sentences.push_back({static_cast<uint32_t>(start), 0,
                                       static_cast<uint32_t>(units.words.size())});
            sentenceOpen = true;
        }
        TextSentence& sentence = units.sentences.back();
        units.words.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(i - start),
                               static_cast<uint32_t>(units.sentences.size() - 1)});
        sentence.len = static_cast<uint32_t>(i - sentence.pos);
        if (ClosesSentence(text, i)) {
            sentenceOpen = false;
            blanks = 0;
        }
    }
    return units;
}
