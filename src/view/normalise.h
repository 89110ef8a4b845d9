#pragma once
// Text preparation: a copied text as the view shows it and the voice reads it, with a
// full stop before every line break that does not end a sentence and slashes turned
// into blanks, so that the voice's word positions index both.
#include <string>
#include <vector>
#include "view/text_range.h"

// What preparation learnt from the copied text that the prepared text no longer tells.
struct PreparationMarks {
    // The full stops preparation put before line breaks, in order.
    std::vector<int> insertedStops;
    // Web addresses of the copied text, found before their slashes became blanks.
    std::vector<TextRange> webAddresses;
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

