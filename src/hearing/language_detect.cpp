#include "hearing/language_detect.h"
#include <cstdio>
#include <compact_lang_det.h>
#include <encodings.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

// Enough text for any detector; a paragraph of a book is read from its start only.
constexpr size_t LookedAtChars = 4096;

// Scripts that only one language is written in, at least among the languages anyone
// has a voice for: text mostly in one of them is in that language, however short.
struct ScriptOfOneLanguage {
    wchar_t first;
    wchar_t last;
    LanguageId language;
};
constexpr ScriptOfOneLanguage ScriptsOfOneLanguage[] = {
    {0x0370, 0x03FF, LANG_GREEK},    {0x1F00, 0x1FFF, LANG_GREEK},    {0x0530, 0x058F, LANG_ARMENIAN},
    {0x0A00, 0x0A7F, LANG_PUNJABI},  {0x0A80, 0x0AFF, LANG_GUJARATI}, {0x0B00, 0x0B7F, LANG_ORIYA},
    {0x0B80, 0x0BFF, LANG_TAMIL},    {0x0C00, 0x0C7F, LANG_TELUGU},   {0x0C80, 0x0CFF, LANG_KANNADA},
    {0x0D00, 0x0D7F, LANG_MALAYALAM}, {0x0D80, 0x0DFF, LANG_SINHALESE}, {0x0E00, 0x0E7F, LANG_THAI},
    {0x0E80, 0x0EFF, LANG_LAO},      {0x10A0, 0x10FF, LANG_GEORGIAN}, {0x1100, 0x11FF, LANG_KOREAN},
    {0x1780, 0x17FF, LANG_KHMER},    {0x3130, 0x318F, LANG_KOREAN},   {0xAC00, 0xD7AF, LANG_KOREAN},
};

bool IsKana(wchar_t c)
{
    return c >= 0x3040 && c <= 0x30FF;
}

bool IsHan(wchar_t c)
{
    return c >= 0x4E00 && c <= 0x9FFF;
}

// The letter types of text, in one call for all of it.
std::vector<WORD> CharacterTypes(std::wstring_view text)
{
    std::vector<WORD> types(text.size());
    if (!text.empty() && !GetStringTypeW(CT_CTYPE1, text.data(), static_cast<int>(text.size()), types.data()))
        std::fill(types.begin(), types.end(), WORD{0});
    return types;
}

// The language of the script most of the letters are in, where that script has one.
LanguageId LanguageOfScript(std::wstring_view text)
{
    const std::vector<WORD> types = CharacterTypes(text);
    int letters = 0;
    int kanaOrHan = 0;
    int kana = 0;
    std::vector<std::pair<LanguageId, int>> counts;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(types[i] & C1_ALPHA))
            continue;
        ++letters;
        const wchar_t c = text[i];
        if (IsKana(c) || IsHan(c)) {
            ++kanaOrHan;
            kana += IsKana(c) ? 1 : 0;
            continue;
        }
        for (const ScriptOfOneLanguage& script : ScriptsOfOneLanguage) {
            if (c < script.first || c > script.last)
                continue;
            auto found = std::find_if(counts.begin(), counts.end(), [&](const auto& n) { return n.first == script.language; });
            if (found == counts.end())
                counts.emplace_back(script.language, 1);
            else
                ++found->second;
            break;
        }
    }
    // Japanese writes with Chinese characters and kana; Chinese has no kana.
    if (kana > 0 && 2 * kanaOrHan > letters)
        return LANG_JAPANESE;
    for (const auto& [language, count] : counts)
        if (2 * count > letters)
            return language;
    return NoLanguage;
}

std::string Utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(std::max(bytes, 0)), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

// CLD2 names a few languages by codes older than the platform's.
std::wstring PlatformTag(const char* code)
{
    std::wstring tag;
    for (const char* p = code; *p && *p != '-'; ++p)
        tag += static_cast<wchar_t>(*p);
    static const std::pair<const wchar_t*, const wchar_t*> Renamed[] = {
        {L"iw", L"he"}, {L"jw", L"jv"}, {L"tl", L"fil"}, {L"no", L"nb"}, {L"in", L"id"}, {L"ji", L"yi"},
    };
    for (const auto& [old, current] : Renamed)
        if (tag == old)
            return current;
    return tag;
}

// CLD2 answers English when it finds nothing; its list of languages found tells. A
// text too short for its usual answer gets its best guess, not to be relied on.
Detection DetectWithCld2(std::wstring_view text)
{
    const std::string utf8 = Utf8(text);
    if (utf8.empty())
        return {};
    for (const int flags : {0, static_cast<int>(CLD2::kCLDFlagBestEffort)}) {
        CLD2::CLDHints hints = {nullptr, nullptr, CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
        CLD2::Language languages[3];
        int percents[3] = {};
        double scores[3] = {};
        int textBytes = 0;
        int validBytes = 0;
        bool reliable = false;
        CLD2::ExtDetectLanguageSummaryCheckUTF8(utf8.data(), static_cast<int>(utf8.size()), true, &hints, flags,
                                                languages, percents, scores, nullptr, &textBytes, &reliable, &validBytes);
        if (languages[0] == CLD2::UNKNOWN_LANGUAGE)
            continue;
        const LanguageId language = LanguageFromTag(PlatformTag(CLD2::LanguageCode(languages[0])));
        return {language, flags == 0 && reliable && language != NoLanguage};
    }
    return {};
}

} // namespace

Detection DetectLanguage(std::wstring_view text)
{
    if (text.size() > LookedAtChars) {
        size_t cut = LookedAtChars;
        // Not between the halves of a character outside the basic plane.
        if (IS_HIGH_SURROGATE(text[cut - 1]))
            --cut;
        text = text.substr(0, cut);
    }
    if (const LanguageId language = LanguageOfScript(text); language != NoLanguage)
        return {language, true};
    return DetectWithCld2(text);
}

int CountLetters(std::wstring_view text, int atMost)
{
    constexpr size_t Piece = 1024;
    int letters = 0;
    for (size_t at = 0; at < text.size() && letters < atMost; at += Piece) {
        const std::vector<WORD> types = CharacterTypes(text.substr(at, Piece));
        for (const WORD type : types)
            if ((type & C1_ALPHA) && ++letters >= atMost)
                break;
    }
    return letters;
}
