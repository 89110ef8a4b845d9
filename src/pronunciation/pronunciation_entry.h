#pragma once
// One entry of the pronunciation dictionary: what the voice is to say instead of a word
// or a pattern it would get wrong. The view never changes; only the voice hears it.
#include <optional>
#include <string>
#include <vector>

// The longest replacement an entry may have: a respelling, never a text of its own.
constexpr size_t MostReplacementChars = 4000;

// How a pattern matches; the numbers are those of the dictionary file.
enum class MatchType : int {
    Anywhere = 0,            // the pattern's characters wherever they stand
    RegularExpression = 1,   // the replacement may use the groups: \1, \g<1>, \g<name>
    WholeWord = 2,           // not joined to a letter, digit or '_' on either side
};

struct PronunciationEntry {
    std::wstring pattern;
    std::wstring replacement;
    bool caseSensitive = false;
    MatchType type = MatchType::Anywhere;
    // The display name of the one voice the entry is for; empty: every voice.
    std::wstring voice;
    // Lines of the file before the entry (comments, blank lines, lines not understood),
    // kept as they stand so that the file is written back as it was.
    std::vector<std::wstring> linesBefore;

    bool SameMeaning(const PronunciationEntry& other) const
    {
        return pattern == other.pattern && replacement == other.replacement && caseSensitive == other.caseSensitive &&
               type == other.type && voice == other.voice;
    }
    bool operator==(const PronunciationEntry&) const = default;
};

// Whether the two match the same text for the same voices: where they overlap, only the
// earlier one is ever used.
bool MatchesAsOtherDoes(const PronunciationEntry& entry, const PronunciationEntry& other);

// Whether the entry is for the voice of that display name.
bool AppliesToVoice(const PronunciationEntry& entry, const std::wstring& voiceName);

// Why the entry cannot be used, in words for the user (for a regular expression, the
// engine's own message and where it stopped); nothing when it can. The entry dialog, the
// dictionary file and an import all refuse an entry for it.
std::optional<std::wstring> EntryProblem(const PronunciationEntry& entry);
