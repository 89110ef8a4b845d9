#include "speech/text_prep.h"
#include "speech/text_view.h"
#include "speech/status_report.h"
#include <windows.h>
#include <algorithm>
#include <cwchar>
#include <utility>

namespace {

std::wstring speechText;
bool speechTextPrepared = false;
int sentenceCount = 0;

} // namespace

const std::wstring& SpeechText()
{
    return speechText;
}

bool SpeechTextPrepared()
{
    return speechTextPrepared;
}

int PreviousSentenceCount()
{
    return sentenceCount;
}

size_t NormaliseText(const wchar_t* text, wchar_t* out, wchar_t previous)
{
    // One pass that gives the same result as inserting each full stop in place and
    // shifting the rest: a CR looks at the character written just before it.
    size_t o = 0;
    for (const wchar_t* p = text; *p; ++p) {
        wchar_t c = *p;
        if (c == L'/' || c == L'\\')
            c = L' ';
        else if (c == L'\r' && previous != L'\0' && !IsSentenceTerminator(previous) && previous != L'\r')
            out[o++] = L'.';
        out[o++] = c;
        previous = c;
    }
    out[o] = L'\0';
    return o;
}

std::wstring NormaliseText(const std::wstring& text)
{
    std::wstring out(2 * text.size() + 1, L'\0');
    out.resize(NormaliseText(text.c_str(), out.data()));
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

void ForgetSpeechText()
{
    speechText.clear();
    speechText.shrink_to_fit();
    speechTextPrepared = false;
    sentenceCount = 0;
}

namespace {

void ReplaceSpeechText(std::wstring text)
{
    sentenceCount = speechTextPrepared ? CountSentences(speechText.c_str()) : 0;
    speechText = std::move(text);
    speechTextPrepared = true;
}

} // namespace

void PrepareText()
{
    const std::wstring text = TextViewGetText();
    TextViewSelect(0, 0);
    std::wstring prepared = NormaliseText(text);
    // Replacing a long text is the costly part of preparation; when nothing changed,
    // the view already holds SpeechText.
    if (prepared != text)
        TextViewSetText(prepared.c_str());
    ReplaceSpeechText(std::move(prepared));
    ReportStatusChange();
}

void PrepareAppendedText(int from)
{
    // Preparing a character depends only on what comes before it, so when the view
    // still starts with SpeechText only the appended part needs the work; for a long
    // text that saves reading and laying out everything again.
    if (!speechTextPrepared || from <= 0 || speechText.size() != static_cast<size_t>(from)) {
        PrepareText();
        return;
    }
    const std::wstring appended = TextViewGetRange(from, TextViewLength());
    std::wstring part(2 * appended.size() + 1, L'\0');
    part.resize(NormaliseText(appended.c_str(), part.data(), speechText.back()));
    if (part != appended) {
        TextViewSelect(from, from + static_cast<int>(appended.size()));
        TextViewReplaceSelection(part.c_str());
    }
    ReplaceSpeechText(speechText + part);
    TextViewSelect(0, 0);
    ReportStatusChange();
}

void DropTrailingLineBreaks()
{
    while (!speechText.empty() && (speechText.back() == L'\r' || speechText.back() == L'\n'))
        speechText.pop_back();
    TextViewSetText(speechText.c_str());
}
