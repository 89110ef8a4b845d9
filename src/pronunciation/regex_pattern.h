#pragma once
// A compiled regular expression over UTF-16 text: PCRE2's 16-bit library with its
// just-in-time compiler, as the dictionary's patterns need (lookbehind, named groups,
// Unicode classes) at a speed the standard library's engine does not reach.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    enum class Result { Found, NotFound, GaveUp };
    // The first match that starts at or after start. GaveUp: the engine hit its limits
    // (a pattern that backtracks without end); a caller stops asking then. asciiClasses
    // tells that AsciiClassesSuffice holds for the text, so a much faster form serves.
    Result Find(std::wstring_view text, int start, Groups& groups, bool asciiClasses = false) const;
    // Whether \w, \d, \s and \b say the same of every character of the text taken as ASCII
    // as taken by Unicode: it is valid UTF-16 and its characters outside ASCII are neither
    // letters, digits nor spaces (typographic quotes, dashes, emoji are not).
    static bool AsciiClassesSuffice(std::wstring_view text);

    // The problem with a replacement's group references for this pattern, or empty.
    std::wstring ReplacementProblem(std::wstring_view replacement) const;
    // The replacement for a match: \1 to \99, \g<n> and \g<name> give a group's text
    // (empty when not taken), \\ a backslash; anything else stands as written.
    std::wstring Expand(std::wstring_view replacement, std::wstring_view text, const Groups& groups) const;
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
