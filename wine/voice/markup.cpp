#include "markup.h"
#include <sapi.h>
#include <algorithm>
#include <cwchar>
#include <utility>

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

MarkupReading ReadMarkup(std::wstring_view text, DWORD speakFlags)
{
    MarkupReading reading;
    reading.markup = IsMarkup(text, speakFlags);
    if (!reading.markup)
        return reading;
    const size_t tag = text.find(L"<pitch");
    if (tag == std::wstring_view::npos)
        return reading;
    const std::wstring_view inside = text.substr(tag, TagEnd(text, tag) - tag);
    const size_t attribute = inside.find(L"absmiddle");
    if (attribute == std::wstring_view::npos)
        return reading;
    const size_t value = inside.find_first_of(L"-+0123456789", attribute);
    if (value != std::wstring_view::npos)
        reading.pitch = std::clamp(static_cast<int>(wcstol(std::wstring(inside.substr(value)).c_str(), nullptr, 10)), -10, 10);
    return reading;
}

std::wstring DecodeReferences(std::wstring_view word)
{
    static const std::pair<std::wstring_view, wchar_t> Named[] = {
        {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
    std::wstring heard;
    for (size_t i = 0; i < word.size(); ++i) {
        const size_t end = word[i] == L'&' ? word.find(L';', i) : std::wstring_view::npos;
        if (end == std::wstring_view::npos) {
            heard += word[i];
            continue;
        }
        const std::wstring_view name = word.substr(i + 1, end - i - 1);
        wchar_t c = 0;
        for (const auto& [known, character] : Named)
            if (name == known)
                c = character;
        if (!c && name.size() > 1 && name[0] == L'#') {
            const bool hex = name[1] == L'x' || name[1] == L'X';
            const unsigned long code = wcstoul(std::wstring(name.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10);
            c = code > 0 && code < 0xD800 ? static_cast<wchar_t>(code) : 0;
        }
        if (!c) {
            heard += word[i];
            continue;
        }
        heard += c;
        i = end;
    }
    return heard;
}

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
