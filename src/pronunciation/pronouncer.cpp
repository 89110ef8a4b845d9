#include "pronunciation/pronouncer.h"
#include <windows.h>
#include <cwchar>
#include <algorithm>
#include <map>

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// A whole word stands apart from letters, digits and '_' on both sides, whatever it
// starts or ends with itself: ".NET" is a whole word in "use .NET now".
bool StandsAlone(const std::wstring& text, int start, int end)
{
    return (start == 0 || !IsWordUnit(text[start - 1])) && (end >= static_cast<int>(text.size()) || !IsWordUnit(text[end]));
}

// The automaton also tells which regular expressions' required literals a text holds,
// under ids from here on.
constexpr int RequiredLiteralId = 1 << 28;

struct Accepted {
    int end;
    int entry;
    std::wstring text;   // a regular expression's own; empty: the entry's replacement
};
using AcceptedMatches = std::map<int, Accepted>;

// The end of the match of an earlier entry that [start, end) overlaps, or -1.
int OverlappedEnd(const AcceptedMatches& accepted, int start, int end)
{
    auto next = accepted.upper_bound(start);
    if (next != accepted.begin()) {
        const auto before = std::prev(next);
        if (before->second.end > start)
            return before->second.end;
    }
    if (next != accepted.end() && next->first < end)
        return next->second.end;
    return -1;
}

} // namespace

bool IsWordUnit(wchar_t c)
{
    return c == L'_' || ((c < 0xD800 || c > 0xDFFF) && IsCharAlphaNumericW(c));
}

wchar_t FoldCase(wchar_t unit)
{
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> t(0x10000);
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<wchar_t>(i);
        // Surrogates are halves of characters, never letters of their own.
        CharLowerBuffW(t.data(), 0xD800);
        CharLowerBuffW(t.data() + 0xE000, 0x10000 - 0xE000);
        return t;
    }();
    return table[unit];
}

struct Pronouncer::Compiled {
    std::wstring pattern;
    std::wstring replacement;
    bool caseSensitive;
    MatchType type;
    std::unique_ptr<RegexPattern> regex;
    bool expands = false;   // the replacement names groups of the regular expression
    bool needsLiteral = false;   // no match without its required literal in the text
};

Pronouncer::Pronouncer(const std::vector<PronunciationEntry>& entries, const std::wstring& voiceName)
{
    for (const PronunciationEntry& entry : entries) {
        if (entry.pattern.empty() || !AppliesToVoice(entry, voiceName))
            continue;
        Compiled compiled{entry.pattern, entry.replacement, entry.caseSensitive, entry.type, nullptr};
        if (entry.type == MatchType::RegularExpression) {
            std::wstring error;
            compiled.regex = RegexPattern::Compile(entry.pattern, entry.caseSensitive, error);
            if (!compiled.regex)
                continue;
            compiled.expands = RegexPattern::UsesGroups(entry.replacement);
            if (std::wstring required = RegexPattern::RequiredLiteral(entry.pattern); !required.empty()) {
                for (wchar_t& c : required)
                    c = FoldCase(c);
                literals_.Add(required, RequiredLiteralId + static_cast<int>(entries_.size()));
                compiled.needsLiteral = true;
            }
        } else {
            std::wstring folded = entry.pattern;
            for (wchar_t& c : folded)
                c = FoldCase(c);
            literals_.Add(folded, static_cast<int>(entries_.size()));
        }
        entries_.push_back(std::move(compiled));
    }
    literals_.Build();
}

Pronouncer::~Pronouncer() = default;

std::vector<TextReplacement> Pronouncer::Replacements(const std::wstring& text) const
{
    // Every occurrence of every word entry, found in one pass over the folded text.
    std::vector<std::vector<std::pair<int, int>>> occurrences(entries_.size());
    std::vector<bool> literalFound(entries_.size(), false);
    const bool asciiClasses = RegexPattern::AsciiClassesSuffice(text);
    if (!literals_.Empty()) {
        std::wstring folded(text.size(), L'\0');
        for (size_t i = 0; i < text.size(); ++i)
            folded[i] = FoldCase(text[i]);
        literals_.Scan(folded, [&](int start, int end, int id) {
            if (id >= RequiredLiteralId) {
                literalFound[id - RequiredLiteralId] = true;
                return;
            }
            const Compiled& entry = entries_[id];
            if (entry.caseSensitive && wmemcmp(text.data() + start, entry.pattern.data(), end - start) != 0)
                return;
            if (entry.type == MatchType::WholeWord && !StandsAlone(text, start, end))
                return;
            occurrences[id].emplace_back(start, end);
        });
    }

    // Entry by entry in the user's order, each taking what no earlier one took.
    AcceptedMatches accepted;
    RegexPattern::Groups groups;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Compiled& entry = entries_[i];
        if (!entry.regex) {
            int taken = 0;
            for (const auto& [start, end] : occurrences[i]) {
                if (start >= taken && OverlappedEnd(accepted, start, end) < 0) {
                    accepted.emplace(start, Accepted{end, static_cast<int>(i), {}});
                    taken = end;
                }
            }
            continue;
        }
        if (entry.needsLiteral && !literalFound[i])
            continue;
        for (int at = 0; at <= static_cast<int>(text.size());) {
            if (entry.regex->Find(text, at, groups, asciiClasses) != RegexPattern::Result::Found)
                break;
            const int start = groups[0];
            const int end = groups[1];
            if (end <= start) {
                // A match of no characters replaces nothing.
                at = start + (IsHighSurrogate(text[start]) ? 2 : 1);
                continue;
            }
            if (const int overlapped = OverlappedEnd(accepted, start, end); overlapped >= 0) {
                at = std::max(overlapped, start + 1);
                continue;
            }
            accepted.emplace(start, Accepted{end, static_cast<int>(i),
                                             entry.expands ? entry.regex->Expand(entry.replacement, text, groups) : L""});
            at = end;
        }
    }

    std::vector<TextReplacement> replacements;
    replacements.reserve(accepted.size());
    for (auto& [start, match] : accepted) {
        const Compiled& entry = entries_[match.entry];
        replacements.push_back({start, match.end, entry.expands ? std::move(match.text) : entry.replacement});
    }
    return replacements;
}

std::wstring Pronouncer::Pronounce(const std::wstring& text) const
{
    return ApplyReplacements(text, Replacements(text));
}

std::wstring ApplyReplacements(const std::wstring& text, const std::vector<TextReplacement>& replacements)
{
    std::wstring out;
    out.reserve(text.size());
    size_t at = 0;
    for (const TextReplacement& r : replacements) {
        out.append(text, at, r.start - at);
        out += r.text;
        at = r.end;
    }
    out.append(text, at, std::wstring::npos);
    return out;
}
