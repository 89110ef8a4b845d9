#pragma once
// Where sentences begin and end, by the rule the whole program reads them with.
#include <cstddef>

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
