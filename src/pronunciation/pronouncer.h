#pragma once
// The pronunciation dictionary made ready for one voice: finds, in a text, every stretch
// that an entry says to pronounce otherwise. Entries are taken in the user's order: where
// two matches overlap, the one of the earlier entry is kept.
#include "pronunciation/literal_matcher.h"
#include "pronunciation/pronunciation_entry.h"
#include "pronunciation/regex_pattern.h"
#include <atomic>
#include <memory>
#include <string>
#include <vector>

// Text [start, end) is heard as text.
struct TextReplacement {
    int start;
    int end;
    std::wstring text;
};

// The most characters any voice hears of a text shown in so many: entries that lengthen
// what it hears stop applying to a text once it would be longer.
constexpr size_t MostHeard(size_t shown)
{
    return 4 * shown + 64 * 1024;
}

// What the dictionary left undone of a text, for the user to hear of.
struct PronunciationReport {
    // The patterns of the regular expressions stopped for taking more than their share of
    // the text's time, in the dictionary's order.
    std::vector<std::wstring> slowEntries;
    // Some entries that lengthen the text stopped applying to it at MostHeard.
    bool tooLong = false;
    // The work was called off; what was found is not to be used.
    bool cancelled = false;
};

// Watches over the dictionary's work on one text. The work can be called off at any
// moment from another thread; the text has a time budget, of which each regular
// expression may take a quarter at most (and no more than is left), so that one that
// searches a long text for minutes is stopped for that text alone.
class PronunciationWatch {
public:
    // For a text shown in shown characters; budgetMs < 0: the budget such a text has.
    explicit PronunciationWatch(size_t shown, const std::atomic<bool>* cancelled = nullptr, double budgetMs = -1);

    bool Cancelled() const { return match_.Cancelled(); }
    // What the voice may hear of the text at most.
    size_t HeardMost() const { return heardMost_; }
    PronunciationReport report;

private:
    friend class Pronouncer;
    // A regular expression starts: it may search until its share is spent.
    void StartEntry();

    MatchWatch match_;
    size_t heardMost_;
    double end_;
    double share_;
};

class Pronouncer {
public:
    // The entries for the voice of that display name; an entry that cannot be used (which
    // the dictionary never holds) is left out.
    Pronouncer(const std::vector<PronunciationEntry>& entries, const std::wstring& voiceName);
    ~Pronouncer();
    Pronouncer(const Pronouncer&) = delete;
    Pronouncer& operator=(const Pronouncer&) = delete;

    bool Empty() const { return entries_.empty(); }
    // In order of their starts, none overlapping another; none is empty. What the watch
    // stopped is in its report; nothing when it was called off.
    std::vector<TextReplacement> Replacements(const std::wstring& text, PronunciationWatch& watch) const;
    std::vector<TextReplacement> Replacements(const std::wstring& text) const;
    // The text as the voice hears it.
    std::wstring Pronounce(const std::wstring& text) const;

private:
    struct Compiled;
    std::vector<Compiled> entries_;
    LiteralMatcher literals_;
};

// text with the replacements made.
std::wstring ApplyReplacements(const std::wstring& text, const std::vector<TextReplacement>& replacements);

// Drops, from the first one on, the replacements that lengthen the text where the text
// would grow past most characters; true when any was dropped.
bool KeepWithin(std::vector<TextReplacement>& replacements, size_t textLength, size_t most);

// Simple case folding of one code unit, the same for the text and the patterns.
wchar_t FoldCase(wchar_t unit);

// A letter, digit or '_': what a whole word must not be joined to.
bool IsWordUnit(wchar_t unit);
