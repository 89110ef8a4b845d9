#pragma once
// A compiled regular expression over UTF-16 text: PCRE2's 16-bit library with its
// just-in-time compiler, as the dictionary's patterns need (lookbehind, named groups,
// Unicode classes) at a speed the standard library's engine does not reach.
#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Whether matching is still wanted: the work may be called off from another thread, and
// may go on only until a deadline. Checked between matches and, through the engine's
// callouts, at every position a search tries, so that even a pattern whose search takes
// minutes over a long text stops within milliseconds.
class MatchWatch {
public:
    explicit MatchWatch(const std::atomic<bool>* cancelled = nullptr) : cancelled_(cancelled) {}
    // The time, on the clock of Now, from which it has expired.
    void SetDeadline(double at)
    {
        deadline_ = at;
        passed_ = false;
    }
    bool Cancelled() const { return cancelled_ && cancelled_->load(std::memory_order_relaxed); }
    // Called off or past the deadline. The clock is read every few calls only, as they come
    // at every position a search tries.
    bool Expired();
    // Milliseconds on a steady clock.
    static double Now();

private:
    const std::atomic<bool>* cancelled_;
    double deadline_ = 1e300;
    bool passed_ = false;
    unsigned calls_ = 0;
};

// What one thread needs to search with any pattern: the engine's match data, context and
// stack, and the watch that may stop a search midway. Made for a piece of work and used on
// its thread only; the patterns themselves are shared.
class RegexSearch {
public:
    explicit RegexSearch(MatchWatch* watch = nullptr);
    ~RegexSearch();
    RegexSearch(const RegexSearch&) = delete;
    RegexSearch& operator=(const RegexSearch&) = delete;

private:
    friend class RegexPattern;
    struct State;
    std::unique_ptr<State> state_;
};

class RegexPattern {
public:
    // error holds the engine's message and the position it stopped at when the pattern
    // does not compile.
    static std::unique_ptr<RegexPattern> Compile(std::wstring_view pattern, bool caseSensitive, std::wstring& error);
    ~RegexPattern();
    RegexPattern(const RegexPattern&) = delete;
    RegexPattern& operator=(const RegexPattern&) = delete;

    // The groups of a match: [2i, 2i+1) is group i's range, -1 for a group not taken.
    using Groups = std::vector<int>;
    enum class Result { Found, NotFound, GaveUp, Stopped };
    // The first match that starts at or after start. GaveUp: the engine hit its limits
    // (a pattern that backtracks without end); Stopped: the search's watch expired. A
    // caller stops asking then. asciiClasses tells that AsciiClassesSuffice holds for the
    // text, so a much faster form serves. Any thread may search, each with its own search.
    Result Find(std::wstring_view text, int start, Groups& groups, bool asciiClasses, RegexSearch& search) const;
    // Whether \w, \d, \s and \b say the same of every character of the text taken as ASCII
    // as taken by Unicode: it is valid UTF-16 and its characters outside ASCII are neither
    // letters, digits nor spaces (typographic quotes, dashes, emoji are not).
    static bool AsciiClassesSuffice(std::wstring_view text);

    // The problem with a replacement's group references for this pattern, or empty.
    std::wstring ReplacementProblem(std::wstring_view replacement) const;
    // The replacement for a match: \1 to \99, \g<n> and \g<name> give a group's text
    // (empty when not taken), \\ a backslash; anything else stands as written. One that
    // would be longer than most is cut after most + 1 characters.
    std::wstring Expand(std::wstring_view replacement, std::wstring_view text, const Groups& groups,
                        size_t most = std::wstring::npos) const;
    // Whether the replacement refers to any group.
    static bool UsesGroups(std::wstring_view replacement);
    // A stretch of plain characters that every match of the pattern holds, the longest one
    // found outside groups and quantifiers, or empty when none is certain. A text without it
    // (case aside) holds no match, which is cheaper to know than to search.
    static std::wstring RequiredLiteral(std::wstring_view pattern);

private:
    struct Engine;
    explicit RegexPattern(std::unique_ptr<Engine> engine);
    int GroupNumber(std::wstring_view reference) const;

    std::unique_ptr<Engine> engine_;
};
