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
