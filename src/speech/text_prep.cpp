#include "speech/text_prep.h"
#include "speech/text_view.h"
#include "app/tray_icon.h"
#include <windows.h>

wchar_t* speechText = nullptr;
int sentenceCount = 0;

size_t NormaliseText(const wchar_t* text, wchar_t* out)
{
    // One pass that gives the same result as inserting each full stop in place and
    // shifting the rest: a CR looks at the character written just before it.
    size_t o = 0;
    for (const wchar_t* p = text; *p; ++p) {
        wchar_t c = *p;
        if (c == L'/' || c == L'\\')
            c = L' ';
        else if (c == L'\r' && o > 0 && !IsSentenceTerminator(out[o - 1]) && out[o - 1] != L'\r')
            out[o++] = L'.';
        out[o++] = c;
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

int CountTerminators(const wchar_t* text, int end)
{
    int count = 0;
    for (int i = 0; i < end && text[i]; ++i)
        if (IsSentenceTerminator(text[i]))
            ++count;
    return count;
}

void FreeSpeechText()
{
    delete[] speechText;
    speechText = nullptr;
}

void PrepareText()
{
    sentenceCount = speechText ? CountSentences(speechText) : 0;
    FreeSpeechText();

    const std::wstring text = TextViewGetText();
    // Room for one inserted full stop per character, so preparation never reallocates.
    speechText = new wchar_t[2 * text.size() + 1];
    TextViewSelect(0, 0);
    const size_t length = NormaliseText(text.c_str(), speechText);
    // Replacing a long text is the costly part of preparation; when nothing changed,
    // the view already holds SpeechText.
    if (length != text.size() || text.compare(0, length, speechText) != 0)
        TextViewSetText(speechText);
    RefreshStatusLine();
}
