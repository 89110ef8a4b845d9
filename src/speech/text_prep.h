#pragma once
// Text preparation: the TextView's text becomes SpeechText, with a full stop before
// every line break that does not end a sentence and slashes turned into blanks, and
// is written back so that the voice's word positions index both.
#include <string>

// The prepared text handed to the voice; null until the first preparation.
extern wchar_t* speechText;
// Sentences of the text prepared before the latest preparation.
extern int sentenceCount;

void PrepareText();
void FreeSpeechText();

// Normalises text[0..NUL) into out, which holds at least 2 * length + 1 code units.
// Returns the length written (without the NUL it also writes).
size_t NormaliseText(const wchar_t* text, wchar_t* out);
std::wstring NormaliseText(const std::wstring& text);

// A sentence ends at '.', '!' or '?' followed by a blank or CR; each 50 blanks inside
// one sentence count as one more sentence.
int CountSentences(const wchar_t* text);

// Number of '.', '!' and '?' in text[0..end), whatever follows them.
int CountTerminators(const wchar_t* text, int end);

inline bool IsSentenceTerminator(wchar_t c) { return c == L'.' || c == L'!' || c == L'?'; }
