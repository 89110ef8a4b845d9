#include "speech/text_prep.h"
#include "speech/text_marks.h"
#include "speech/text_view.h"
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
    // One pass that gives the same result as inserting each full stop in place and
    // shifting the rest: a CR looks at the character written just before it.
    size_t o = 0;
    wchar_t copiedBefore = previous;
    const wchar_t* addressEnd = text;
    for (const wchar_t* p = text; *p; ++p) {
        wchar_t c = *p;
        // Web addresses are found in the copied text, while their slashes still tell them.
        if (marks && p >= addressEnd && MayStartWebAddress(p, copiedBefore)) {
            if (const size_t length = WebAddressLength(p)) {
                const int start = base + static_cast<int>(o);
                marks->webAddresses.push_back({start, start + static_cast<int>(length)});
                addressEnd = p + length;
            }
        }
        copiedBefore = c;
        if (c == L'/' || c == L'\\') {
            c = L' ';
        } else if (c == L'\r' && previous != L'\0' && !IsSentenceTerminator(previous) && previous != L'\r') {
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
    out.resize(NormaliseText(text.c_str(), out.data(), L'\0', marks));
    return out;
}

int CountSentences(const wchar_t* text)
{
    int blanks = 0;
    int sentences = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p == L' ')
            ++blanks;
        if (IsSentenceTerminator(*p) && (p[1] == L' ' || p[1] == L'\r')) {
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
    text_.clear();
    text_.shrink_to_fit();
    marks_ = {};
    prepared_ = false;
    previousSentenceCount_ = 0;
}

void PreparedText::Replace(std::wstring text)
{
    previousSentenceCount_ = prepared_ ? CountSentences(text_.c_str()) : 0;
    text_ = std::move(text);
    prepared_ = true;
}

void PreparedText::Prepare(TextView& view)
{
    const std::wstring text = view.GetText();
    view.Select(0, 0);
    // The view holds the prepared text already: preparing it again changes nothing, and
    // what the first preparation found in the copied text must not be lost.
    if (prepared_ && text == text_) {
        previousSentenceCount_ = CountSentences(text_.c_str());
        return;
    }
    PreparationMarks marks;
    std::wstring prepared = NormaliseText(text, &marks);
    marks_ = std::move(marks);
    // Replacing a long text is the costly part of preparation; when nothing changed,
    // the view already holds the prepared text.
    if (prepared != text)
        view.SetText(prepared.c_str());
    Replace(std::move(prepared));
}

bool PreparedText::PrepareAppended(TextView& view, int from)
{
    // Preparing a character depends only on what comes before it, so when the view
    // still starts with the prepared text only the appended part needs the work; for a
    // long text that saves reading and laying out everything again.
    if (!prepared_ || from <= 0 || text_.size() != static_cast<size_t>(from)) {
        Prepare(view);
        return false;
    }
    const std::wstring appended = view.GetRange(from, view.Length());
    std::wstring part(2 * appended.size() + 1, L'\0');
    part.resize(NormaliseText(appended.c_str(), part.data(), text_.back(), &marks_, from));
    if (part != appended) {
        view.Select(from, from + static_cast<int>(appended.size()));
        view.ReplaceSelection(part.c_str());
    }
    Replace(text_ + part);
    view.Select(0, 0);
    return true;
}

void PreparedText::DropTrailingLineBreaks(TextView& view)
{
    while (!text_.empty() && (text_.back() == L'\r' || text_.back() == L'\n'))
        text_.pop_back();
    const int length = static_cast<int>(text_.size());
    std::erase_if(marks_.insertedStops, [&](int stop) { return stop >= length; });
    std::erase_if(marks_.webAddresses, [&](const CharRange& address) { return address.end > length; });
    view.SetText(text_.c_str());
}
