#include "pronunciation/regex_pattern.h"
#define PCRE2_CODE_UNIT_WIDTH 16
#define PCRE2_STATIC
#include <pcre2.h>
#include "platform/log.h"
#include <windows.h>

static_assert(sizeof(wchar_t) == sizeof(PCRE2_UCHAR), "the program's text is UTF-16");

namespace {

// Enough for any sensible pattern; one that needs more backtracking than this is given up
// rather than left to hold the window for minutes.
constexpr uint32_t MatchLimit = 2'000'000;
constexpr size_t JitStackStart = 32 * 1024;
constexpr size_t JitStackMost = 1024 * 1024;

PCRE2_SPTR Units(std::wstring_view text)
{
    return reinterpret_cast<PCRE2_SPTR>(text.data());
}

std::wstring ErrorText(int code)
{
    PCRE2_UCHAR message[256];
    const int length = pcre2_get_error_message(code, message, std::size(message));
    if (length < 0)
        return L"error " + std::to_wstring(code);
    return std::wstring(reinterpret_cast<const wchar_t*>(message), static_cast<size_t>(length));
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One group reference of a replacement at text[at] (a backslash): its text ("3",
// "name") and its length, or length 0 when it is none.
struct Reference {
    std::wstring_view name;
    size_t length = 0;
};

Reference ReferenceAt(std::wstring_view text, size_t at)
{
    if (at + 1 >= text.size())
        return {};
    const wchar_t next = text[at + 1];
    if (IsDigit(next) && next != L'0') {
        const size_t digits = at + 2 < text.size() && IsDigit(text[at + 2]) ? 2 : 1;
        return {text.substr(at + 1, digits), 1 + digits};
    }
    if (next == L'g' && at + 2 < text.size() && text[at + 2] == L'<') {
        const size_t close = text.find(L'>', at + 3);
        if (close != std::wstring_view::npos && close > at + 3)
            return {text.substr(at + 3, close - at - 3), close + 1 - at};
    }
    return {};
}

} // namespace

struct RegexPattern::Engine {
    pcre2_code* code = nullptr;
    // The same pattern for texts of ASCII characters only: Unicode's classes cost the
    // matcher a property look-up at every character, ASCII's a table, and on such a text
    // they say the same. Made when first needed.
    mutable pcre2_code* asciiCode = nullptr;
    std::wstring pattern;
    uint32_t options = 0;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* jitStack = nullptr;
    uint32_t groupCount = 0;

    ~Engine()
    {
        pcre2_jit_stack_free(jitStack);
        pcre2_match_context_free(context);
        pcre2_match_data_free(matchData);
        pcre2_code_free(asciiCode);
        pcre2_code_free(code);
    }

    pcre2_code* CodeFor(bool asciiClasses) const
    {
        // Character classes by name ([[:punct:]]) take Unicode's view of more characters.
        if (!asciiClasses || pattern.find(L"[:") != std::wstring::npos)
            return code;
        if (!asciiCode) {
            int error = 0;
            PCRE2_SIZE offset = 0;
            asciiCode = pcre2_compile(Units(pattern), pattern.size(), options & ~(PCRE2_UCP | PCRE2_MATCH_INVALID_UTF),
                                      &error, &offset, nullptr);
            if (!asciiCode)
                return code;
            pcre2_jit_compile(asciiCode, PCRE2_JIT_COMPLETE);
        }
        return asciiCode;
    }
};

RegexPattern::RegexPattern(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}

RegexPattern::~RegexPattern() = default;

std::unique_ptr<RegexPattern> RegexPattern::Compile(std::wstring_view pattern, bool caseSensitive, std::wstring& error)
{
    // Unicode throughout, as the copied text is: \w, \b and case take every script's
    // letters. A copied text may hold a stray surrogate, which must not stop a match.
    uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF;
    if (!caseSensitive)
        options |= PCRE2_CASELESS;
    int code = 0;
    PCRE2_SIZE offset = 0;
    auto engine = std::make_unique<Engine>();
    engine->pattern = pattern;
    engine->options = options;
    engine->code = pcre2_compile(Units(pattern), pattern.size(), options, &code, &offset, nullptr);
    if (!engine->code) {
        error = ErrorText(code);
        error += offset >= pattern.size() ? L" (at the end)" : L" (at character " + std::to_wstring(offset + 1) + L")";
        return nullptr;
    }
    // Without the compiled form the engine still matches, only slower.
    if (const int jit = pcre2_jit_compile(engine->code, PCRE2_JIT_COMPLETE); jit != 0)
        LogLine(L"A pattern of the pronunciation dictionary runs without the JIT compiler: " + ErrorText(jit));
    engine->matchData = pcre2_match_data_create_from_pattern(engine->code, nullptr);
    engine->context = pcre2_match_context_create(nullptr);
    engine->jitStack = pcre2_jit_stack_create(JitStackStart, JitStackMost, nullptr);
    if (!engine->matchData || !engine->context) {
        error = ErrorText(PCRE2_ERROR_NOMEMORY);
        return nullptr;
    }
    pcre2_set_match_limit(engine->context, MatchLimit);
    if (engine->jitStack)
        pcre2_jit_stack_assign(engine->context, nullptr, engine->jitStack);
    pcre2_pattern_info(engine->code, PCRE2_INFO_CAPTURECOUNT, &engine->groupCount);
    return std::unique_ptr<RegexPattern>(new RegexPattern(std::move(engine)));
}

RegexPattern::Result RegexPattern::Find(std::wstring_view text, int start, Groups& groups, bool asciiClasses) const
{
    pcre2_code* code = engine_->CodeFor(asciiClasses);
    // Each call would check the text from start to its end for valid UTF-16, which over all
    // the matches of a long text adds up to its length times theirs; the text was found
    // valid for the faster form, and the Unicode form takes invalid text as it comes.
    const uint32_t options = code != engine_->code ? PCRE2_NO_UTF_CHECK : 0;
    const int result = pcre2_match(code, Units(text), text.size(), static_cast<PCRE2_SIZE>(start),
                                   options, engine_->matchData, engine_->context);
    if (result == PCRE2_ERROR_NOMATCH)
        return Result::NotFound;
    if (result < 0) {
        LogLine(L"A pattern of the pronunciation dictionary was given up: " + ErrorText(result));
        return Result::GaveUp;
    }
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(engine_->matchData);
    const uint32_t pairs = pcre2_get_ovector_count(engine_->matchData);
    groups.assign(2 * pairs, -1);
    for (uint32_t i = 0; i < pairs && i < static_cast<uint32_t>(result); ++i) {
        if (vector[2 * i] == PCRE2_UNSET)
            continue;
        groups[2 * i] = static_cast<int>(vector[2 * i]);
        groups[2 * i + 1] = static_cast<int>(vector[2 * i + 1]);
    }
    return Result::Found;
}

int RegexPattern::GroupNumber(std::wstring_view reference) const
{
    if (!reference.empty() && IsDigit(reference[0])) {
        int number = 0;
        for (wchar_t c : reference) {
            if (!IsDigit(c) || number > 1000)
                return -1;
            number = number * 10 + (c - L'0');
        }
        return number <= static_cast<int>(engine_->groupCount) ? number : -1;
    }
    const std::wstring name(reference);
    const int number = pcre2_substring_number_from_name(engine_->code, reinterpret_cast<PCRE2_SPTR>(name.c_str()));
    return number > 0 ? number : -1;
}

std::wstring RegexPattern::ReplacementProblem(std::wstring_view replacement) const
{
    for (size_t at = 0; at < replacement.size(); ++at) {
        if (replacement[at] != L'\\')
            continue;
        const Reference reference = ReferenceAt(replacement, at);
        if (reference.length > 0 && GroupNumber(reference.name) < 0)
            return L"the replacement uses group " + std::wstring(replacement.substr(at, reference.length)) +
                   L", which the pattern does not have";
        at += reference.length > 0 ? reference.length - 1 : 1;
    }
    return {};
}

bool RegexPattern::UsesGroups(std::wstring_view replacement)
{
    for (size_t at = 0; at < replacement.size(); ++at) {
        if (replacement[at] == L'\\' && ReferenceAt(replacement, at).length > 0)
            return true;
        if (replacement[at] == L'\\')
            ++at;
    }
    return false;
}

std::wstring RegexPattern::Expand(std::wstring_view replacement, std::wstring_view text, const Groups& groups) const
{
    std::wstring out;
    out.reserve(replacement.size());
    for (size_t at = 0; at < replacement.size(); ++at) {
        const wchar_t c = replacement[at];
        if (c != L'\\' || at + 1 >= replacement.size()) {
            out += c;
            continue;
        }
        if (replacement[at + 1] == L'\\') {
            out += L'\\';
            ++at;
            continue;
        }
        const Reference reference = ReferenceAt(replacement, at);
        if (reference.length == 0) {
            out += c;
            continue;
        }
        const int group = GroupNumber(reference.name);
        if (group >= 0 && 2 * static_cast<size_t>(group) + 1 < groups.size() && groups[2 * group] >= 0)
            out.append(text.substr(groups[2 * group], groups[2 * group + 1] - groups[2 * group]));
        at += reference.length - 1;
    }
    return out;
}

std::wstring RegexPattern::RequiredLiteral(std::wstring_view pattern)
{
    // Option settings, quoting and comments change what the characters mean; a pattern with
    // them is searched as it is.
    if (pattern.find(L"\\Q") != std::wstring_view::npos || pattern.find(L"(*") != std::wstring_view::npos)
        return {};
    for (size_t at = pattern.find(L"(?"); at != std::wstring_view::npos; at = pattern.find(L"(?", at + 2)) {
        if (at + 2 < pattern.size() && std::wstring_view(L"imnsxJU-^)").find(pattern[at + 2]) != std::wstring_view::npos)
            return {};
    }
    std::wstring best;
    std::wstring run;
    int depth = 0;
    const auto endRun = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = pattern[i];
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        // A character that a quantifier follows may be absent or repeated.
        const bool quantified = next == L'?' || next == L'*' || next == L'+' || next == L'{';
        if (c == L'|' && depth == 0)
            return {};
        if (c == L'(' || c == L'[' || c == L')' || c == L']' || c == L'|' || c == L'.' || c == L'^' || c == L'$' ||
            c == L'?' || c == L'*' || c == L'+' || c == L'{' || c == L'}') {
            endRun();
            if (c == L'(')
                ++depth;
            else if (c == L')')
                --depth;
            else if (c == L'{') {
                const size_t close = pattern.find(L'}', i);
                i = close == std::wstring_view::npos ? pattern.size() : close;
            } else if (c == L'[') {
                // A class is one character of several: skip it whole.
                size_t close = i + 1;
                if (close < pattern.size() && pattern[close] == L'^')
                    ++close;
                if (close < pattern.size() && pattern[close] == L']')
                    ++close;
                while (close < pattern.size() && pattern[close] != L']')
                    close += pattern[close] == L'\\' ? 2 : 1;
                i = close;
            }
            continue;
        }
        wchar_t literal = c;
        if (c == L'\\') {
            // \d, \b, \1, \x41 and the like are no plain characters; \. \- \@ are.
            if (next == L'\0' || (next < 0x80 && IsCharAlphaNumericW(next))) {
                endRun();
                ++i;
                continue;
            }
            literal = next;
            ++i;
            if (i + 1 < pattern.size()) {
                const wchar_t after = pattern[i + 1];
                if (after == L'?' || after == L'*' || after == L'+' || after == L'{') {
                    endRun();
                    continue;
                }
            }
        } else if (quantified) {
            endRun();
            continue;
        }
        if (depth == 0)
            run += literal;
        else
            endRun();
    }
    endRun();
    return best.size() >= 2 ? best : std::wstring();
}

bool RegexPattern::AsciiClassesSuffice(std::wstring_view text)
{
    bool asciiOnly = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c < 0x80)
            continue;
        asciiOnly = false;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            return false;
    }
    if (asciiOnly)
        return true;
    // A letter, digit or space outside ASCII, by Unicode's classes.
    static pcre2_code* const wordOrSpace = [] {
        int error = 0;
        PCRE2_SIZE offset = 0;
        const std::wstring pattern = L"[^\\x00-\\x7F](?<=[\\w\\s])";
        pcre2_code* code = pcre2_compile(Units(pattern), pattern.size(), PCRE2_UTF | PCRE2_UCP, &error, &offset, nullptr);
        if (code)
            pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
        return code;
    }();
    if (!wordOrSpace)
        return false;
    pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
    if (!data)
        return false;
    const int result = pcre2_match(wordOrSpace, Units(text), text.size(), 0, PCRE2_NO_UTF_CHECK, data, nullptr);
    pcre2_match_data_free(data);
    return result == PCRE2_ERROR_NOMATCH;
}
