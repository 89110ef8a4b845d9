#include "view/normalise.h"
#include "view/sentences.h"
#include "view/text_marks.h"
#include <algorithm>
#include <cwchar>

namespace {

// A web address starts after a blank or punctuation, never inside a word or a longer
// name; "ht", "ft" and "ww" are asked first, being what almost every word fails on.
bool MayStartWebAddress(const wchar_t* p, wchar_t before)
{
    const wchar_t first = p[0] | 0x20;
    const wchar_t second = p[1] | 0x20;
    if (!((first == L'h' || first == L'f') && second == L't') && !(first == L'w' && second == L'w'))
        return false;
    return !(IsLetterOrDigit(before) || before == L'.' || before == L'@' || before == L'-' || before == L'_' ||
             before == L'/');
}

} // namespace

size_t NormaliseText(const wchar_t* text, wchar_t* out, wchar_t previous, PreparationMarks* marks, int base)
{
    return NormaliseText(text, wcslen(text), out, previous, marks, base);
}

size_t NormaliseText(const wchar_t* text, size_t length, wchar_t* out, wchar_t previous, PreparationMarks* marks,
                     int base)
{
    // One pass that gives the same result as inserting each full stop in place and
    // shifting the rest: a CR looks at the character written just before it.
    size_t o = 0;
    wchar_t copiedBefore = previous;
    const wchar_t* addressEnd = text;
    for (const wchar_t* p = text; p != text + length; ++p) {
        wchar_t c = *p;
        // Web addresses are found in the copied text, while their slashes still tell them.
        if (p >= addressEnd && MayStartWebAddress(p, copiedBefore)) {
            if (const size_t addressLength = WebAddressLength(p)) {
                const int start = base + static_cast<int>(o);
                if (marks)
                    marks->webAddresses.push_back({start, start + static_cast<int>(addressLength)});
                addressEnd = p + addressLength;
            }
        }
        copiedBefore = c;
        // A line break inside an address that was wrapped ends no sentence.
        const bool inAddress = p < addressEnd;
        if (c == L'/' || c == L'\\') {
            c = L' ';
        } else if (c == L'\r' && !inAddress && previous != L'\0' && !IsSentenceTerminator(previous) && previous != L'\r') {
            if (marks)
                marks->insertedStops.push_back(base + static_cast<int>(o));
            out[o++] = L'.';
        }
        out[o++] = c;
        previous = c;
    }
    out[o] = L'\0';
    return o;
}

std::wstring NormaliseText(const std::wstring& text, PreparationMarks* marks)
{
    std::wstring out(2 * text.size() + 1, L'\0');
    out.resize(NormaliseText(text.c_str(), text.size(), out.data(), L'\0', marks));
    return out;
}
