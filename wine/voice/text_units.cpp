#include "text_units.h"
#include <windows.h>

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

bool IsLetter(wchar_t c)
{
    return IsCharAlphaW(c) != FALSE;
}

// Words that a full stop follows in the middle of a sentence, in the languages the voice
// speaks: titles, "Saint", months, "number", "street", "approximately"... Words that as
// often end a sentence ("etc.", "Inc.", "usw.") are not among them.
constexpr const wchar_t* kAbbreviations[] = {
    L"Dr", L"Mr", L"Mrs", L"Ms", L"Mx", L"St", L"Mt", L"Ft", L"Prof", L"Jr", L"Sr", L"Rev", L"Gen", L"Col", L"Capt",
    L"Lt", L"Sgt", L"Gov", L"Sen", L"Rep", L"Hon", L"vs", L"approx", L"Fig", L"Jan", L"Feb", L"Apr", L"Aug",
    L"Sep", L"Sept", L"Oct", L"Nov", L"Dec", L"Nr", L"bzw", L"ca", L"Str", L"Hr", L"evtl", L"ggf", L"vgl", L"Mme",
    L"Mlle", L"Sra", L"Srta", L"Ud", L"Uds", L"cf",
    L"\u0443\u043b", L"\u0441\u0442\u0440", L"\u0438\u043c", // ул, стр, им
};

// "Dr", "J" (an initial), "U.S", "p.m", "e.g": the word before its last full stop, once
// quotes and brackets before it are left aside, is no end of a sentence.
bool IsAbbreviation(std::wstring_view word)
{
    while (!word.empty() && !IsLetter(word.front()))
        word.remove_prefix(1);
    if (word.empty())
        return false;
    if (word.size() == 1)
        return true;
    bool dotted = false;
    size_t part = 0;
    for (const wchar_t c : word) {
        if (c == L'.') {
            if (part == 0 || part > 2)
                return false;
            dotted = true;
            part = 0;
        } else if (!IsLetter(c)) {
            return false;
        } else {
            ++part;
        }
    }
    if (dotted)
        return part >= 1 && part <= 2;
    for (const wchar_t* abbreviation : kAbbreviations)
        if (word == abbreviation)
            return true;
    return false;
}

// Only a plain blank, CR or LF (or the end) after the punctuation closes a sentence:
// "3.5", "e.g.x" or a full stop before a tab do not, nor one after an abbreviation that
// the line goes on after.
bool ClosesSentence(std::wstring_view text, size_t start, size_t end)
{
    if (!IsTerminator(text[end - 1]))
        return false;
    if (end == text.size())
        return true;
    const wchar_t next = text[end];
    if (next == L'\r' || next == L'\n')
        return true;
    if (next != L' ')
        return false;
    return text[end - 1] != L'.' || end - start < 2 || text[end - 2] == L'.' ||
           !IsAbbreviation(text.substr(start, end - 1 - start));
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
        if (ClosesSentence(text, start, i)) {
            sentenceOpen = false;
            blanks = 0;
        }
    }
    return units;
}
