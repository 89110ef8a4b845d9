#include "pronunciation/regex_pattern.h"
#define PCRE2_CODE_UNIT_WIDTH 16
#define PCRE2_STATIC
#include <pcre2.h>
#include "platform/log.h"
#include <windows.h>
#include <algorithm>
#include <mutex>

static_assert(sizeof(wchar_t) == sizeof(PCRE2_UCHAR), "the program's text is UTF-16");

namespace {

// Enough for any sensible pattern; one that needs more backtracking than this at one
// position is given up.
constexpr uint32_t MatchLimit = 2'000'000;
constexpr size_t JitStackStart = 32 * 1024;
constexpr size_t JitStackMost = 1024 * 1024;
// How often a watch reads the clock: every so many calls.
constexpr unsigned CallsBetweenLooks = 16;

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

// Called by the engine at every position a search tries (see WithCheckIn).
int CheckIn(pcre2_callout_block*, void* watch)
{
    return static_cast<MatchWatch*>(watch)->Expired() ? PCRE2_ERROR_CALLOUT : 0;
}

bool IsStartOptionUnit(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || IsDigit(c) || c == L'_' || c == L'=';
}

// The pattern with a callout before it, which the engine then calls at every position it
// tries. The pattern goes into a group of its own, so that the callout comes before each
// of its alternatives; settings such as (*UCP) that must open a pattern stay first, and
// "\E" closes a quotation left open at its end.
std::wstring WithCheckIn(std::wstring_view pattern)
{
    size_t at = 0;
    while (pattern.substr(at, 2) == L"(*") {
        size_t close = at + 2;
        while (close < pattern.size() && IsStartOptionUnit(pattern[close]))
            ++close;
        if (close >= pattern.size() || pattern[close] != L')')
            break;
        at = close + 1;
    }
    std::wstring source(pattern.substr(0, at));
    source += L"(?C)(?:";
    source += pattern.substr(at);
    source += L"\\E)";
    return source;
}

uint32_t GroupCount(const pcre2_code* code)
{
    uint32_t count = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
    return count;
}

} // namespace

double MatchWatch::Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return 1000.0 * static_cast<double>(count.QuadPart) / frequency;
}

bool MatchWatch::Expired()
{
    if (passed_ || Cancelled())
        return true;
    if (++calls_ < CallsBetweenLooks)
        return false;
    calls_ = 0;
    passed_ = Now() >= deadline_;
    return passed_;
}

struct RegexSearch::State {
    MatchWatch* watch = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_match_data* data = nullptr;
    uint32_t pairs = 0;
    // One stack for the compiled code of every pattern the search uses, made when first
    // needed: a stack takes its largest size of address space at once, which for a stack of
    // each pattern's own came to a megabyte an entry.
    pcre2_jit_stack* jitStack = nullptr;
    bool jitStackMade = false;

    void MakeJitStack()
    {
        jitStackMade = true;
        jitStack = pcre2_jit_stack_create(JitStackStart, JitStackMost, nullptr);
        if (jitStack)
            pcre2_jit_stack_assign(context, nullptr, jitStack);
    }

    // Match data with room for so many pairs at least.
    pcre2_match_data* DataFor(uint32_t needed)
    {
        if (pairs < needed) {
            pcre2_match_data_free(data);
            pairs = std::max(needed, 16u);
            data = pcre2_match_data_create(pairs, nullptr);
            if (!data)
                pairs = 0;
        }
        return data;
    }
};

RegexSearch::RegexSearch(MatchWatch* watch) : state_(std::make_unique<State>())
{
    state_->watch = watch;
    state_->context = pcre2_match_context_create(nullptr);
    if (!state_->context)
        return;
    pcre2_set_match_limit(state_->context, MatchLimit);
    if (watch)
        pcre2_set_callout(state_->context, CheckIn, watch);
}

RegexSearch::~RegexSearch()
{
    pcre2_jit_stack_free(state_->jitStack);
    pcre2_match_data_free(state_->data);
    pcre2_match_context_free(state_->context);
}

struct RegexPattern::Engine {
    pcre2_code* code = nullptr;
    // The same pattern for texts of ASCII characters only: Unicode's classes cost the
    // matcher a property look-up at every character, ASCII's a table, and on such a text
    // they say the same. Made when first needed.
    mutable pcre2_code* asciiCode = nullptr;
    mutable std::once_flag asciiMade;
    // What was compiled: the pattern, with the check-in before it when it takes one.
    std::wstring source;
    uint32_t options = 0;
    uint32_t groupCount = 0;

    ~Engine()
    {
        pcre2_code_free(asciiCode);
        pcre2_code_free(code);
    }

    pcre2_code* CodeFor(bool asciiClasses) const
    {
        // Character classes by name ([[:punct:]]) take Unicode's view of more characters.
        if (!asciiClasses || source.find(L"[:") != std::wstring::npos)
            return code;
        // Threads may search with the same pattern at once.
        std::call_once(asciiMade, [this] {
            int error = 0;
            PCRE2_SIZE offset = 0;
            asciiCode = pcre2_compile(Units(source), source.size(), options & ~(PCRE2_UCP | PCRE2_MATCH_INVALID_UTF),
                                      &error, &offset, nullptr);
            if (asciiCode)
                pcre2_jit_compile(asciiCode, PCRE2_JIT_COMPLETE);
        });
        return asciiCode ? asciiCode : code;
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
    engine->source = pattern;
    engine->options = options;
    engine->code = pcre2_compile(Units(pattern), pattern.size(), options, &code, &offset, nullptr);
    if (!engine->code) {
        error = ErrorText(code);
        error += offset >= pattern.size() ? L" (at the end)" : L" (at character " + std::to_wstring(offset + 1) + L")";
        return nullptr;
    }
    engine->groupCount = GroupCount(engine->code);
    // A pattern the check-in cannot go before (one that ends in an extended-mode comment)
    // is searched as it is, stopped between matches and by the match limit.
    const std::wstring checked = WithCheckIn(pattern);
    if (pcre2_code* withCheckIn = pcre2_compile(Units(checked), checked.size(), options, &code, &offset, nullptr)) {
        if (GroupCount(withCheckIn) == engine->groupCount) {
            pcre2_code_free(engine->code);
            engine->code = withCheckIn;
            engine->source = checked;
        } else {
            pcre2_code_free(withCheckIn);
        }
    }
    // Without the compiled form the engine still matches, only slower.
    if (const int jit = pcre2_jit_compile(engine->code, PCRE2_JIT_COMPLETE); jit != 0)
        LogLine(L"A pattern of the pronunciation dictionary runs without the JIT compiler: " + ErrorText(jit));
    return std::unique_ptr<RegexPattern>(new RegexPattern(std::move(engine)));
}

RegexPattern::Result RegexPattern::Find(std::wstring_view text, int start, Groups& groups, bool asciiClasses,
                                        RegexSearch& search) const
{
    RegexSearch::State& state = *search.state_;
    if (state.watch && state.watch->Expired())
        return Result::Stopped;
    pcre2_match_data* data = state.DataFor(engine_->groupCount + 1);
    if (!data || !state.context) {
        LogLine(L"A pattern of the pronunciation dictionary was given up: " + ErrorText(PCRE2_ERROR_NOMEMORY));
        return Result::GaveUp;
    }
    if (!state.jitStackMade)
        state.MakeJitStack();
    pcre2_code* code = engine_->CodeFor(asciiClasses);
    // Each call would check the text from start to its end for valid UTF-16, which over all
    // the matches of a long text adds up to its length times theirs; the text was found
    // valid for the faster form, and the Unicode form takes invalid text as it comes.
    const uint32_t options = code != engine_->code ? PCRE2_NO_UTF_CHECK : 0;
    const int result =
        pcre2_match(code, Units(text), text.size(), static_cast<PCRE2_SIZE>(start), options, data, state.context);
    if (result == PCRE2_ERROR_NOMATCH)
        return Result::NotFound;
    if (result == PCRE2_ERROR_CALLOUT)
        return Result::Stopped;
    if (result < 0) {
        LogLine(L"A pattern of the pronunciation dictionary was given up: " + ErrorText(result));
        return Result::GaveUp;
    }
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
    const uint32_t pairs = std::min(pcre2_get_ovector_count(data), engine_->groupCount + 1);
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

std::wstring RegexPattern::Expand(std::wstring_view replacement, std::wstring_view text, const Groups& groups,
                                  size_t most) const
{
    std::wstring out;
    out.reserve(std::min(replacement.size(), most));
    // A few references to a long group would otherwise make a text of many times its size.
    const size_t cut = most == std::wstring::npos ? most : most + 1;
    for (size_t at = 0; at < replacement.size() && out.size() < cut; ++at) {
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
            out.append(text.substr(groups[2 * group],
                                   std::min<size_t>(groups[2 * group + 1] - groups[2 * group], cut - out.size())));
        at += reference.length - 1;
    }
    if (out.size() > cut)
        out.resize(cut);
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
