#include "view/text_marks.h"
#include <windows.h>
#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

// Longest stretch a citation mark may take; a bracket that stays open longer is text.
constexpr int MaxBracketCitation = 64;
constexpr int MaxAuthorYearCitation = 200;

// Characters that end a web address in running text.
bool EndsWebAddress(wchar_t c)
{
    return IsSpaceOrNone(c) || c == L'<' || c == L'>' || c == L'"' || c == L'`' || c == 0x00A0 || c == 0x3000 ||
           (c >= 0x2018 && c <= 0x201F);
}

// A small reader over the text for the citation grammar, stopping at a limit.
struct Cursor {
    const std::wstring& text;
    int at;
    int limit;

    wchar_t Peek(int ahead = 0) const { return at + ahead < limit ? text[at + ahead] : L'\0'; }
    bool Take(wchar_t c)
    {
        if (Peek() != c)
            return false;
        ++at;
        return true;
    }
    bool TakeText(const wchar_t* word)
    {
        const int length = static_cast<int>(wcslen(word));
        if (at + length > limit || text.compare(at, length, word) != 0)
            return false;
        at += length;
        return true;
    }
    // Blanks, and the line break of a mark wrapped at a line end, with the full stop
    // that preparation put before it.
    void SkipBlanks()
    {
        while (Peek() == L' ' || IsBreak(Peek()) || (Peek() == L'.' && IsBreak(Peek(1))))
            ++at;
    }
};

// A surname, with the particles that may come before it ("van der Berg", "de Vries").
bool TakeName(Cursor& c)
{
    const int start = c.at;
    static const wchar_t* const Particles[] = {L"van ", L"von ", L"der ", L"den ", L"de ", L"da ", L"di ", L"du ",
                                               L"del ", L"la ", L"le "};
    for (bool particle = true; particle;)
        particle = std::any_of(std::begin(Particles), std::end(Particles), [&](const wchar_t* p) { return c.TakeText(p); });
    if (!IsUpper(c.Peek())) {
        c.at = start;
        return false;
    }
    ++c.at;
    while (IsLetter(c.Peek()) || c.Peek() == L'\'' || c.Peek() == 0x2019 || c.Peek() == L'-')
        ++c.at;
    return true;
}

// Surnames joined by commas, "and" or "&", perhaps ending in "et al.". Tells whether the
// list alone marks a citation (more than one name, or "et al.").
bool TakeAuthors(Cursor& c, bool& plainlyCitation)
{
    if (!TakeName(c))
        return false;
    plainlyCitation = false;
    for (;;) {
        const int save = c.at;
        if (c.TakeText(L" et al.") || c.TakeText(L" et al")) {
            plainlyCitation = true;
            return true;
        }
        c.Take(L',');
        c.SkipBlanks();
        if ((c.TakeText(L"and ") || c.TakeText(L"& ")) && TakeName(c)) {
            plainlyCitation = true;
            continue;
        }
        if (c.at > save && TakeName(c)) {
            plainlyCitation = plainlyCitation || c.text[save] == L',';
            continue;
        }
        c.at = save;
        return true;
    }
}

// A year of publication: four digits from 1000 to 2999, perhaps with a letter ("2020a").
bool TakeYear(Cursor& c)
{
    if (!(c.Peek() == L'1' || c.Peek() == L'2') || !IsDigit(c.Peek(1)) || !IsDigit(c.Peek(2)) || !IsDigit(c.Peek(3)) ||
        IsDigit(c.Peek(4)))
        return false;
    c.at += 4;
    if (c.Peek() >= L'a' && c.Peek() <= L'z' && !IsLetter(c.Peek(1)))
        ++c.at;
    return true;
}

// ", p. 12" or ", pp. 3-5" after the year.
void TakeLocator(Cursor& c)
{
    const int save = c.at;
    c.Take(L',');
    c.SkipBlanks();
    if ((c.TakeText(L"pp.") || c.TakeText(L"p.")) && (c.SkipBlanks(), IsDigit(c.Peek()))) {
        while (IsDigit(c.Peek()) || c.Peek() == L'-' || c.Peek() == 0x2013)
            ++c.at;
        return;
    }
    c.at = save;
}

} // namespace

bool IsLetter(wchar_t c)
{
    if (c < 0x80)
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    return IsCharAlphaW(c) != FALSE;
}

bool IsLower(wchar_t c)
{
    if (c < 0x80)
        return c >= L'a' && c <= L'z';
    return IsCharLowerW(c) != FALSE;
}

bool IsUpper(wchar_t c)
{
    if (c < 0x80)
        return c >= L'A' && c <= L'Z';
    return IsCharUpperW(c) != FALSE;
}

bool IsPunctuation(wchar_t c)
{
    if (c < 0x80)
        return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
    return (c >= 0x2010 && c <= 0x2027) || c == 0x00AB || c == 0x00BB;
}

// Prefixes here are ASCII: folding letters to small ones is all the case there is.
bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix)
{
    for (; *prefix; ++text, ++prefix) {
        const wchar_t c = (*text >= L'A' && *text <= L'Z') ? *text | 0x20 : *text;
        if (c != *prefix)
            return false;
    }
    return true;
}

bool IsPictograph(char32_t c)
{
    return (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x2600 && c <= 0x27BF) || c == 0x231A || c == 0x231B ||
           c == 0x2328 || c == 0x23CF || (c >= 0x23E9 && c <= 0x23F3) || (c >= 0x23F8 && c <= 0x23FA) ||
           (c >= 0x2B05 && c <= 0x2B07) || c == 0x2B1B || c == 0x2B1C || c == 0x2B50 || c == 0x2B55 ||
           c == 0x3030 || c == 0x303D || c == 0x3297 || c == 0x3299;
}

bool IsEmojiPart(char32_t c)
{
    return c == 0x200D || c == 0xFE0F || c == 0xFE0E || c == 0x20E3 || (c >= 0xE0020 && c <= 0xE007F);
}

bool IsAbbreviation(const std::wstring& word)
{
    static const wchar_t* const Abbreviations[] = {
        L"e.g.", L"i.e.", L"etc.", L"vs.",   L"cf.",  L"al.",  L"approx.", L"ca.",  L"fig.", L"figs.", L"no.",
        L"vol.", L"p.",   L"pp.",  L"eq.",   L"ch.",  L"sec.", L"dr.",     L"mr.",  L"mrs.", L"ms.",   L"prof.",
        L"st.",  L"resp.", L"incl.", L"esp.", L"viz.",
    };
    return std::any_of(std::begin(Abbreviations), std::end(Abbreviations),
                       [&](const wchar_t* a) { return _wcsicmp(word.c_str(), a) == 0; });
}

// "(Smith, 2020)", "(Smith et al., 2020; Lee 2019)", "(see Smith and Jones, 2019, p. 4)".
// A lone name and year without a comma ("(Windows 2000)") is taken for a citation only
// beside others, since it may as well be a name of something else.
int AuthorYearCitationLength(const std::wstring& text, int open)
{
    Cursor c{text, open + 1, std::min(static_cast<int>(text.size()), open + MaxAuthorYearCitation)};
    int citations = 0;
    bool doubtful = false;
    do {
        c.SkipBlanks();
        for (const wchar_t* prefix : {L"see also ", L"see ", L"cf. ", L"e.g., ", L"e.g. "})
            if (c.TakeText(prefix))
                break;
        bool plainlyCitation = false;
        if (!TakeAuthors(c, plainlyCitation))
            return 0;
        const bool comma = c.Take(L',');
        c.SkipBlanks();
        if (!TakeYear(c))
            return 0;
        doubtful = doubtful || !(comma || plainlyCitation);
        for (int save = c.at;; save = c.at) {
            c.Take(L',');
            c.SkipBlanks();
            if (!TakeYear(c)) {
                c.at = save;
                break;
            }
        }
        TakeLocator(c);
        c.SkipBlanks();
        ++citations;
    } while (c.Take(L';'));
    if (!c.Take(L')') || (doubtful && citations == 1))
        return 0;
    return c.at - open;
}

// "[12]", "[3-5]", "[3, 7]", and brackets of them ("[[1], [2]]").
int BracketCitationLength(const std::wstring& text, int open, int depth)
{
    const int end = std::min(static_cast<int>(text.size()), open + MaxBracketCitation);
    bool number = false;
    for (int k = open + 1; k < end; ++k) {
        const wchar_t c = text[k];
        if (IsDigit(c)) {
            number = true;
        } else if (c == L']') {
            return number ? k + 1 - open : 0;
        } else if (c == L'[' && depth < 3) {
            const int inner = BracketCitationLength(text, k, depth + 1);
            if (inner == 0)
                return 0;
            number = true;
            k += inner - 1;
        } else if (!IsBlank(c) && !IsBreak(c) && c != L',' && c != L';' && c != L'-' && !(c >= 0x2010 && c <= 0x2014) &&
                   !(c == L'.' && k + 1 < end && IsBreak(text[k + 1]))) {
            return 0;
        }
    }
    return 0;
}

namespace {

// Whether the word at text reads as the rest of a web address rather than as prose: it
// holds, before its trailing punctuation, a character that prose words do not.
bool ReadsAsAddressRest(const wchar_t* text)
{
    size_t end = 0;
    while (!EndsWebAddress(text[end]))
        ++end;
    while (end > 0 && wcschr(L".,;:!?'\")]", text[end - 1]))
        --end;
    return std::find_if(text, text + end, [](wchar_t c) { return wcschr(L"/.?=&_%#", c) != nullptr; }) != text + end;
}

// The length of the line break at text[end] when the address [start, end) goes on after
// it, else 0. A PDF or a mail wraps a long address where it must: the line ends where no
// address ends (after '-', '?', '&' or '=') and the next line goes on at once, or it ends
// after '/' or '.' or inside the path, and the next line starts with what reads as the
// rest of an address. A link on a line of its own, followed by prose, stays as it is.
size_t AddressLineBreak(const wchar_t* text, size_t start, size_t end)
{
    size_t after = end;
    if (text[after] == L'\r')
        ++after;
    if (text[after] == L'\n')
        ++after;
    if (after == end || end == start || EndsWebAddress(text[after]))
        return 0;
    if (wcschr(L"-?&=", text[end - 1]))
        return after - end;
    const wchar_t* hostEnd = std::find(text + start, text + end, L'/');
    const bool inPath = hostEnd != text + end;
    const bool mayGoOn = inPath || text[end - 1] == L'.';
    return mayGoOn && ReadsAsAddressRest(text + after) ? after - end : 0;
}

} // namespace

size_t WebAddressLength(const wchar_t* text)
{
    constexpr wchar_t Bare[] = L"www.";
    size_t start = 0;
    for (const wchar_t* prefix : {L"https://", L"http://", L"ftp://", Bare}) {
        if (StartsWithNoCase(text, prefix)) {
            start = wcslen(prefix);
            break;
        }
    }
    const bool bare = start == std::size(Bare) - 1;
    if (start == 0 || !IsLetterOrDigit(text[start]))
        return 0;
    size_t end = start;
    int openRound = 0, openSquare = 0;
    for (;; ++end) {
        if (EndsWebAddress(text[end])) {
            const size_t lineBreak = IsBreak(text[end]) ? AddressLineBreak(text, start, end) : 0;
            if (lineBreak == 0)
                break;
            end += lineBreak;
        }
        openRound += (text[end] == L'(') - (text[end] == L')');
        openSquare += (text[end] == L'[') - (text[end] == L']');
    }
    // Punctuation after an address belongs to the sentence, and so does a closing
    // bracket that the address did not open.
    while (end > start) {
        const wchar_t last = text[end - 1];
        if (last == L')' && openRound < 0)
            ++openRound;
        else if (last == L']' && openSquare < 0)
            ++openSquare;
        else if (!IsBreak(last) && !wcschr(L".,;:!?'\"*_", last))
            break;
        --end;
    }
    if (end <= start)
        return 0;
    // "www." needs a site name with a dot after it: "the www.s" is no address.
    const wchar_t* slash = std::find(text + start, text + end, L'/');
    if (bare && std::find(text + start, slash, L'.') == slash)
        return 0;
    return end;
}
