#pragma once
// Text preparation: the TextView's text becomes the prepared text, with a full stop before
// every line break that does not end a sentence and slashes turned into blanks, and
// is written back so that the voice's word positions index both.
#include <string>
#include <vector>
#include "view/text_view_control.h"

class TextView;

// What preparation learnt from the copied text that the prepared text no longer tells.
struct PreparationMarks {
    // The full stops preparation put before line breaks, in order.
    std::vector<int> insertedStops;
    // Web addresses of the copied text, found before their slashes became blanks.
    std::vector<TextRange> webAddresses;
};

// The prepared text handed to the voice: empty, and not prepared, until the first
// preparation.
class PreparedText {
public:
    const std::wstring& Text() const { return *text_; }
    const SharedText& Shared() const { return text_; }
    bool Prepared() const { return prepared_; }
    // Sentences of the text prepared before the latest preparation.
    int PreviousSentenceCount() const { return previousSentenceCount_; }
    // What preparing the copied text found that the prepared text no longer shows.
    const PreparationMarks& Marks() const { return marks_; }

    void Prepare(TextView& view);
    // text, prepared elsewhere and now in the view, is the prepared text; the sentences
    // of the text before it were counted by the caller.
    void Adopt(SharedText text, PreparationMarks marks, int previousSentenceCount, const TextView& view);
    // Whether the view holds the prepared text, unchanged since.
    bool MatchesView(const TextView& view) const;
    // Back to no prepared text, as at start-up.
    void Forget();
    // The text without its trailing line breaks, in the view as well.
    void DropTrailingLineBreaks(TextView& view);

private:
    void Replace(SharedText text);
    void NoteViewHoldsIt(const TextView& view);

    // Shared with the view while it shows the prepared text.
    SharedText text_ = std::make_shared<const std::wstring>();
    PreparationMarks marks_;
    bool prepared_ = false;
    int previousSentenceCount_ = 0;
    // The view's revision when it last held the prepared text.
    unsigned viewRevision_ = 0;
};

// Normalises text[0..NUL) into out, which holds at least 2 * length + 1 code units;
// previous is the character before text when it continues one, NUL at its start.
// Returns the length written (without the NUL it also writes). With marks, adds to them
// what it inserted and found, at positions counted from base.
size_t NormaliseText(const wchar_t* text, wchar_t* out, wchar_t previous = L'\0', PreparationMarks* marks = nullptr,
                     int base = 0);
// The same for text[0..length); text[length] is a NUL, where a web address ends at the latest.
size_t NormaliseText(const wchar_t* text, size_t length, wchar_t* out, wchar_t previous,
                     PreparationMarks* marks = nullptr, int base = 0);
std::wstring NormaliseText(const std::wstring& text, PreparationMarks* marks = nullptr);

// A sentence ends at '.', '!' or '?' followed by a blank or CR; each 50 blanks inside
// one sentence count as one more sentence.
int CountSentences(const wchar_t* text);
// The same for text[0..length), which ends there.
int CountSentences(const wchar_t* text, size_t length);

// Start of the sentence that holds text[index]: the first character after the last
// '.', '!' or '?' before index that a blank or line break follows, past the breaks.
int SentenceStartBefore(const wchar_t* text, int index);

// End of the sentence that holds text[index], of text[0..length): past the first '.',
// '!' or '?' from index on that a blank, a line break or the end follows; length when
// there is none.
int SentenceEndAfter(const wchar_t* text, int length, int index);

// Number of '.', '!' and '?' in text[0..end), whatever follows them.
int CountTerminators(const wchar_t* text, int end);

inline bool IsSentenceTerminator(wchar_t c) { return c == L'.' || c == L'!' || c == L'?'; }
