#include "view/sentences.h"
#include <algorithm>
#include <cwchar>

int CountSentences(const wchar_t* text)
{
    return CountSentences(text, wcslen(text));
}

int CountSentences(const wchar_t* text, size_t length)
{
    int blanks = 0;
    int sentences = 0;
    const wchar_t* end = text + length;
    for (const wchar_t* p = text; p != end; ++p) {
        if (*p == L' ')
            ++blanks;
        if (IsSentenceTerminator(*p) && p + 1 != end && (p[1] == L' ' || p[1] == L'\r')) {
            sentences += blanks / 50 + 1;
            blanks = 0;
        }
    }
    return sentences;
}

int SentenceStartBefore(const wchar_t* text, int index)
{
    auto isBreak = [](wchar_t c) { return c == L' ' || c == L'\r' || c == L'\n'; };
    int start = 0;
    for (int i = index - 1; i > 0; --i) {
        if (isBreak(text[i]) && IsSentenceTerminator(text[i - 1])) {
            start = i;
            break;
        }
    }
    while (start < index && isBreak(text[start]))
        ++start;
    return start;
}

int SentenceEndAfter(const wchar_t* text, int length, int index)
{
    for (int i = std::max(index, 0); i < length; ++i) {
        if (IsSentenceTerminator(text[i]) && (i + 1 == length || text[i + 1] == L' ' || text[i + 1] == L'\r' ||
                                              text[i + 1] == L'\n'))
            return i + 1;
    }
    return length;
}

int CountTerminators(const wchar_t* text, int end)
{
    int count = 0;
    for (int i = 0; i < end && text[i]; ++i)
        if (IsSentenceTerminator(text[i]))
            ++count;
    return count;
}
