#pragma once
// Which language a text is in, found offline: by its script where the script belongs to
// one language, otherwise by CLD2.
#include <string_view>
#include "platform/language_id.h"

struct Detection {
    LanguageId language = NoLanguage;
    // The detector is sure enough to act on it.
    bool reliable = false;
};

// The language of text. Only its first few thousand characters are looked at: they
// tell as much as the rest.
Detection DetectLanguage(std::wstring_view text);

// Letters in text, counted up to atMost.
int CountLetters(std::wstring_view text, int atMost);
