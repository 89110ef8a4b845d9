#pragma once
// Speech markup, as the voice reads it when a caller does not say that a text is plain:
// a text that starts with '<' (or any text, with SPF_IS_XML) holds tags, which are not
// spoken; with SPF_IS_NOT_XML every character is text.
#include <windows.h>
#include <string>
#include <string_view>

// The text as the voice speaks it, of the same length as the one passed: tags are
// blanked out in place rather than removed, so every position the voice reports still
// indexes the caller's text.
std::wstring SpokenText(std::wstring_view text, DWORD speakFlags);

// Whether the voice reads the text as markup, and the pitch its first
// <pitch absmiddle="n"> tag asks for (-10..10; 0 without one).
struct MarkupReading {
    bool markup = false;
    int pitch = 0;
};
MarkupReading ReadMarkup(std::wstring_view text, DWORD speakFlags);

// A word of a text in markup as it is heard: its character references ("&amp;",
// "&#233;") are the characters they stand for.
std::wstring DecodeReferences(std::wstring_view word);
