#include "view/text_prep.h"
#include "view/text_marks.h"
#include "view/text_view.h"
#include <windows.h>
#include <algorithm>
#include <cwchar>
#include <utility>

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

void PreparedText::Forget()
{
    text_ = std::make_shared<const std::wstring>();
    marks_ = {};
    prepared_ = false;
    previousSentenceCount_ = 0;
}

void PreparedText::Replace(SharedText text)
{
    previousSentenceCount_ = prepared_ ? CountSentences(text_->c_str()) : 0;
    text_ = std::move(text);
    prepared_ = true;
}

void PreparedText::NoteViewHoldsIt(const TextView& view)
{
    viewRevision_ = view.Revision();
}

bool PreparedText::MatchesView(const TextView& view) const
{
    return prepared_ && view.Revision() == viewRevision_;
}

void PreparedText::Adopt(SharedText text, PreparationMarks marks, int previousSentenceCount, const TextView& view)
{
    text_ = std::move(text);
    marks_ = std::move(marks);
    prepared_ = true;
    previousSentenceCount_ = previousSentenceCount;
    NoteViewHoldsIt(view);
}

void PreparedText::Prepare(TextView& view)
{
    view.Select(0, 0);
    // Preparing a prepared text changes nothing; a long one is not read through again,
    // and what the first preparation found in the copied text is not lost.
    if (MatchesView(view)) {
        previousSentenceCount_ = CountSentences(text_->c_str());
        return;
    }
    const std::wstring& text = view.Text();
    PreparationMarks marks;
    auto prepared = std::make_shared<const std::wstring>(NormaliseText(text, &marks));
    marks_ = std::move(marks);
    // When nothing changed, the view already holds the prepared text.
    if (*prepared != text)
        view.TakeText(prepared);
    Replace(std::move(prepared));
    NoteViewHoldsIt(view);
}

void PreparedText::DropTrailingLineBreaks(TextView& view)
{
    size_t length = text_->size();
    while (length > 0 && ((*text_)[length - 1] == L'\r' || (*text_)[length - 1] == L'\n'))
        --length;
    // The view already shows a text that has none.
    if (length == text_->size() && MatchesView(view))
        return;
    if (length != text_->size()) {
        text_ = std::make_shared<const std::wstring>(*text_, 0, length);
        const int kept = static_cast<int>(length);
        std::erase_if(marks_.insertedStops, [&](int stop) { return stop >= kept; });
        std::erase_if(marks_.webAddresses, [&](const TextRange& address) { return address.end > kept; });
    }
    view.TakeText(text_);
    NoteViewHoldsIt(view);
}
