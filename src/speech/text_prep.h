#pragma once
// Text preparation: the TextView's text becomes SpeechText, with a full stop before
// every line break that does not end a sentence and slashes turned into blanks, and
// is written back so that the voice's word positions index both.
#include <string>
#include "speech/listening_filters.h"

class TextView;

// The prepared text handed to the voice: empty, and not prepared, until the first
// preparation.
class PreparedText {
public:
    const std::wstring& Text() const { return text_; }
    bool Prepared() const { return prepared_; }
    // Sentences of the text prepared before the latest preparation.
    int PreviousSentenceCount() const { return previousSentenceCount_; }
    // What preparing the copied text found that the prepared text no longer shows.
    const PreparationMarks& Marks() const { return marks_; }

    void Prepare(TextView& view);
    // After text was appended at from: the same result as Prepare, preparing and writing
    // back only the appended part where the view still starts with the prepared text.
    // Tells whether it did so, the text before from being as it was.
    bool PrepareAppended(TextView& view, int from);
    // Back to no prepared text, as at start-up.
    void Forget();
    // The text without its trailing line breaks, in the view as well.
    void DropTrailingLineBreaks(TextView& view);

private:
    void Replace(std::wstring text);

    std::wstring text_;
    PreparationMarks marks_;
    bool prepared_ = false;
    int previousSentenceCount_ = 0;
};

// Normalises text[0..NUL) into out, which holds at least 2 * length + 1 code units;
// previous is the character before text when it continues one, NUL at its start.
// Returns the length written (without the NUL it also writes). With marks, adds to them
// what it inserted and found, at positions counted from base.
size_t NormaliseText(const wchar_t* text, wchar_t* out, wchar_t previous = L'\0', PreparationMarks* marks = nullptr,
                     int base = 0);
std::wstring NormaliseText(const std::wstring& text, PreparationMarks* marks = nullptr);

// A sentence ends at '.', '!' or '?' followed by a blank or CR; each 50 blanks inside
// one sentence count as one more sentence.
int CountSentences(const wchar_t* text);

// Start of the sentence that holds text[index]: the first character after the last
// '.', '!' or '?' before index that a blank or line break follows, past the breaks.
int SentenceStartBefore(const wchar_t* text, int index);

// Number of '.', '!' and '?' in text[0..end), whatever follows them.
int CountTerminators(const wchar_t* text, int end);

inline bool IsSentenceTerminator(wchar_t c) { return c == L'.' || c == L'!' || c == L'?'; }
