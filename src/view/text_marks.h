#pragma once
// Recognisers for the marks a copied text holds for the eye rather than the ear: web
// addresses, citation marks, emoji, abbreviations, and the character classes they use.
#include <string>

inline bool IsBreak(wchar_t c) { return c == L'\r' || c == L'\n'; }
inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
inline bool IsSpaceOrNone(wchar_t c) { return c == L'\0' || IsBlank(c) || IsBreak(c); }
inline bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsLetter(wchar_t c);
bool IsLower(wchar_t c);
bool IsUpper(wchar_t c);
inline bool IsLetterOrDigit(wchar_t c) { return IsDigit(c) || IsLetter(c); }
bool IsPunctuation(wchar_t c);
// prefix is written in small ASCII letters.
bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix);

// Length of the web address that starts at text (an "http://", "https://", "ftp://" or
// "www." address up to the next blank, without trailing punctuation), or 0. An address
// wrapped at a line's end goes on over the line break.
size_t WebAddressLength(const wchar_t* text);

// Length of the citation mark at text[open], or 0: "[12]", "[3-5]", "[3, 7]" and
// brackets of them at a '['; "(Smith, 2020)", "(Smith et al., 2020; Lee 2019)" at a '('.
int BracketCitationLength(const std::wstring& text, int open, int depth = 0);
int AuthorYearCitationLength(const std::wstring& text, int open);

// Pictographs: the emoji blocks and the older symbols that are shown as emoji.
bool IsPictograph(char32_t c);
// What joins pictographs into one emoji or styles one: the zero-width joiner, the
// presentation selectors, the keycap and the tags of subdivision flags.
bool IsEmojiPart(char32_t c);

// "e.g.", "etc.", "Fig." and the like, whose full stop ends no sentence.
bool IsAbbreviation(const std::wstring& word);
