#include "pronunciation/pronunciation_entry.h"
#include "pronunciation/regex_pattern.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <windows.h>

namespace {

bool HoldsTabOrBreak(const std::wstring& text)
{
    return text.find_first_of(L"\t\r\n") != std::wstring::npos;
}

bool SameText(const std::wstring& a, const std::wstring& b, bool ignoringCase)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                ignoringCase) == CSTR_EQUAL;
}

} // namespace

bool AppliesToVoice(const PronunciationEntry& entry, const std::wstring& voiceName)
{
    if (entry.voice.empty())
        return true;
    return SameText(entry.voice, voiceName, true);
}

// A regular expression's letters can mean something else in the other case ("\d", "\D").
bool MatchesAsOtherDoes(const PronunciationEntry& entry, const PronunciationEntry& other)
{
    const bool ignoringCase = !entry.caseSensitive && entry.type != MatchType::RegularExpression;
    return entry.type == other.type && entry.caseSensitive == other.caseSensitive &&
           SameText(entry.voice, other.voice, true) && SameText(entry.pattern, other.pattern, ignoringCase);
}

std::optional<std::wstring> EntryProblem(const PronunciationEntry& entry)
{
    if (entry.pattern.empty())
        return LoadText(IDS_PRONUNCIATION_EMPTY_PATTERN);
    if (HoldsTabOrBreak(entry.pattern) || HoldsTabOrBreak(entry.replacement) || HoldsTabOrBreak(entry.voice))
        return LoadText(IDS_PRONUNCIATION_TAB_OR_BREAK);
    if (entry.replacement.size() > MostReplacementChars)
        return FillPattern(LoadText(IDS_REPLACEMENT_TOO_LONG), std::to_wstring(MostReplacementChars));
    if (entry.type != MatchType::RegularExpression)
        return std::nullopt;
    std::wstring error;
    const auto regex = RegexPattern::Compile(entry.pattern, entry.caseSensitive, error);
    if (regex)
        error = regex->ReplacementProblem(entry.replacement);
    if (error.empty())
        return std::nullopt;
    return FillPattern(LoadText(IDS_REGEX_INVALID), error);
}
