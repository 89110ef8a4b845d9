#include "markup.h"
#include <sapi.h>

namespace {

// What stands in for a tag: it parts words as a blank would, but is neither counted
// among the blanks that cut a long unpunctuated run nor ends a sentence.
constexpr wchar_t kTagFiller = L'\t';

bool IsMarkup(std::wstring_view text, DWORD speakFlags)
{
    if (speakFlags & SPF_IS_NOT_XML)
        return false;
    if (speakFlags & SPF_IS_XML)
        return true;
    return !text.empty() && text.front() == L'<';
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// The end (one past the closing '>') of the tag that starts at `start`. A '>' inside
// a quoted attribute value does not close it, and a comment runs to its "-->". A tag
// that is never closed takes the rest of the text, as it cannot be read as words.
size_t TagEnd(std::wstring_view text, size_t start)
{
    if (text.substr(start, 4) == L"<!--") {
        const size_t close = text.find(L"-->", start + 4);
        return close == std::wstring_view::npos ? text.size() : close + 3;
    }
    wchar_t quote = 0;
    wchar_t lastSeen = 0;
    for (size_t i = start + 1; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == L'>') {
            return i + 1;
        } else if ((c == L'"' || c == L'\'') && lastSeen == L'=') {
            quote = c;
        }
        if (!IsBlank(c))
            lastSeen = c;
    }
    return text.size();
}

} // namespace

std::wstring SpokenText(std::wstring_view text, DWORD speakFlags)
{
    std::wstring spoken(text);
    if (!IsMarkup(text, speakFlags))
        return spoken;
    // Character references such as "&amp;" stay as written: replacing them would
    // shift the positions of everything after them.
    for (size_t i = spoken.find(L'<'); i != std::wstring::npos; i = spoken.find(L'<', i)) {
        const size_t end = TagEnd(text, i);
        spoken.replace(i, end - i, end - i, kTagFiller);
        i = end;
    }
    return spoken;
}
