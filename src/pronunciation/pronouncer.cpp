#include "pronunciation/pronouncer.h"
#include <windows.h>
#include <cwchar>
#include <algorithm>
#include <map>
#include <set>

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

// A text's time for the dictionary: long enough for any sensible dictionary, short enough
// that a pattern gone wrong holds the reading up for a moment only.
double BudgetMs(size_t shown)
{
    return 2000.0 + static_cast<double>(shown) / 1000.0;
}

// What makes an entry match as another does for the voice: its type, its case flag and
// its pattern (as the matcher sees it).
std::wstring MatchingKey(const PronunciationEntry& entry)
{
    std::wstring key{static_cast<wchar_t>(L'0' + static_cast<int>(entry.type)), entry.caseSensitive ? L'1' : L'0'};
    for (wchar_t c : entry.pattern)
        key += entry.caseSensitive || entry.type == MatchType::RegularExpression ? c : FoldCase(c);
    return key;
}

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
    // Never freed: a pronunciation called off may still be folding as the program ends.
    static const wchar_t* const table = [] {
        auto* t = new wchar_t[0x10000];
        for (size_t i = 0; i < 0x10000; ++i)
            t[i] = static_cast<wchar_t>(i);
        // Surrogates are halves of characters, never letters of their own.
        CharLowerBuffW(t, 0xD800);
        CharLowerBuffW(t + 0xE000, 0x10000 - 0xE000);
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

PronunciationWatch::PronunciationWatch(size_t shown, const std::atomic<bool>* cancelled, double budgetMs)
    : match_(cancelled), heardMost_(MostHeard(shown))
{
    const double budget = budgetMs < 0 ? BudgetMs(shown) : budgetMs;
    end_ = MatchWatch::Now() + budget;
    share_ = budget / 4;
}

void PronunciationWatch::StartEntry()
{
    const double now = MatchWatch::Now();
    match_.SetDeadline(now + std::clamp(end_ - now, 0.0, share_));
}

Pronouncer::Pronouncer(const std::vector<PronunciationEntry>& entries, const std::wstring& voiceName)
{
    // Of entries that match alike only the first is ever used: the others are not matched.
    std::set<std::wstring> matched;
    for (const PronunciationEntry& entry : entries) {
        if (entry.pattern.empty() || entry.replacement.size() > MostReplacementChars ||
            !AppliesToVoice(entry, voiceName) || !matched.insert(MatchingKey(entry)).second)
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
    PronunciationWatch watch(text.size());
    return Replacements(text, watch);
}

std::vector<TextReplacement> Pronouncer::Replacements(const std::wstring& text, PronunciationWatch& watch) const
{
    // Every occurrence of every word entry, found in one pass over the folded text.
    std::vector<std::vector<std::pair<int, int>>> occurrences(entries_.size());
    std::vector<bool> literalFound(entries_.size(), false);
    const bool asciiClasses = RegexPattern::AsciiClassesSuffice(text);
    if (!literals_.Empty()) {
        std::wstring folded(text.size(), L'\0');
        for (size_t i = 0; i < text.size(); ++i)
            folded[i] = FoldCase(text[i]);
        literals_.Scan(
            folded,
            [&](int start, int end, int id) {
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
            },
            [&] { return watch.Cancelled(); });
    }

    // What the voice hears may grow by this much; once a match that lengthens it is
    // refused, no later one is taken.
    const long long room = static_cast<long long>(watch.HeardMost()) - static_cast<long long>(text.size());
    long long growth = 0;
    const auto fits = [&](long long change) {
        if (change <= 0)
            return true;
        if (!watch.report.tooLong && growth + change <= room) {
            growth += change;
            return true;
        }
        watch.report.tooLong = true;
        return false;
    };

    // Entry by entry in the user's order, each taking what no earlier one took.
    AcceptedMatches accepted;
    RegexPattern::Groups groups;
    RegexSearch search(&watch.match_);
    for (size_t i = 0; i < entries_.size() && !watch.Cancelled(); ++i) {
        const Compiled& entry = entries_[i];
        if (!entry.regex) {
            const long long change =
                static_cast<long long>(entry.replacement.size()) - static_cast<long long>(entry.pattern.size());
            int taken = 0;
            for (const auto& [start, end] : occurrences[i]) {
                if (start >= taken && OverlappedEnd(accepted, start, end) < 0 && fits(change)) {
                    accepted.emplace(start, Accepted{end, static_cast<int>(i), {}});
                    taken = end;
                }
            }
            continue;
        }
        if (entry.needsLiteral && !literalFound[i])
            continue;
        watch.StartEntry();
        // What this entry took, given back when it is stopped.
        std::vector<int> starts;
        long long grown = 0;
        bool stopped = false;
        for (int at = 0; at <= static_cast<int>(text.size());) {
            const RegexPattern::Result result = entry.regex->Find(text, at, groups, asciiClasses, search);
            stopped = result == RegexPattern::Result::Stopped;
            if (result != RegexPattern::Result::Found)
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
            at = end;
            // Once the text is full, a replacement longer than what it replaces is not needed whole.
            const long long spare = watch.report.tooLong ? 0 : std::max(0LL, room - growth);
            const size_t most = static_cast<size_t>(end - start + spare);
            std::wstring expanded = entry.expands ? entry.regex->Expand(entry.replacement, text, groups, most) : L"";
            const long long change =
                static_cast<long long>(entry.expands ? expanded.size() : entry.replacement.size()) - (end - start);
            if (!fits(change))
                continue;
            accepted.emplace(start, Accepted{end, static_cast<int>(i), std::move(expanded)});
            starts.push_back(start);
            grown += std::max(0LL, change);
        }
        if (stopped && !watch.Cancelled()) {
            for (int start : starts)
                accepted.erase(start);
            growth -= grown;
            watch.report.slowEntries.push_back(entry.pattern);
        }
    }
    if (watch.Cancelled()) {
        watch.report.cancelled = true;
        return {};
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

bool KeepWithin(std::vector<TextReplacement>& replacements, size_t textLength, size_t most)
{
    long long length = static_cast<long long>(textLength);
    bool full = false;
    std::erase_if(replacements, [&](const TextReplacement& r) {
        const long long change = static_cast<long long>(r.text.size()) - (r.end - r.start);
        if (change > 0 && (full || length + change > static_cast<long long>(most)))
            return full = true;
        length += change;
        return false;
    });
    return full;
}
