#pragma once
// Languages as the platform numbers them: the primary language of a LANGID (LANG_GERMAN,
// ...), which is also how a voice's Language attribute names its language.
#include <windows.h>
#include <string>

using LanguageId = WORD;
constexpr LanguageId NoLanguage = 0;

// The language of a BCP 47 tag or a two-letter code ("de", "pt-BR"); NoLanguage when the
// platform does not know it.
LanguageId LanguageFromTag(const std::wstring& tag);
// The language's two-letter code in capitals ("DE"); empty for NoLanguage.
std::wstring LanguageCode(LanguageId language);
// The language's name in the user's language ("German").
std::wstring LanguageName(LanguageId language);
