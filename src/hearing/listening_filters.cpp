#include "hearing/listening_filters.h"
#include "view/text_marks.h"
#include <algorithm>

namespace {

constexpr wchar_t SpokenLink[] = L"link, ";
constexpr wchar_t SpokenCodeBlock[] = L"code";
// Line starts kept for building a grown text again from near its old end; a text is
// looked at this far ahead of a position at most (a code block aside, which keeps none).
constexpr int ResumePointSpacing = 1024;
constexpr int LookAhead = 256;

bool IsHyphen(wchar_t c) { return c == L'-' || c == 0x2010 || c == 0x00AD; }

// Most characters start nothing the filters look for; these may. A web address is known
// by its position, a keycap or a styled symbol by the presentation selector after it.
bool MayStartMark(wchar_t c)
{
    switch (c) {
    case L'\r': case L'\n': case L'.': case L'-': case L'[': case L'(': case L'`': case L'*': case L'_': case L'|':
    case 0x00AD: case 0x2010:
        return true;
    default:
        return c >= 0x2300;
    }
}

bool IsBullet(wchar_t c)
{
    return c == L'-' || c == L'*' || c == L'+' || c == 0x2022 || c == 0x25E6 || c == 0x25AA || c == 0x2023 ||
           c == 0x2043;
}

// One pass over the prepared text, left to right, handing the builder every stretch
// that is heard otherwise than it is shown.
class Filter {
public:
    Filter(const std::wstring& text, const PreparationMarks& marks, const ListeningFilters& filters)
        : text_(text), marks_(marks), filters_(filters), out_(text), length_(static_cast<int>(text.size()))
    {
    }

    // Goes on from a line start where earlier, filtered from the same text before it
    // grew, could begin afresh.
    Filter(const std::wstring& text, const PreparationMarks& marks, const ListeningFilters& filters,
           const SpokenText& earlier, const SpokenText::ResumePoint& from)
        : text_(text), marks_(marks), filters_(filters), out_(text, earlier, from),
          length_(static_cast<int>(text.size())), at_(from.view)
    {
        const auto& stops = marks.insertedStops;
        nextStop_ = std::lower_bound(stops.begin(), stops.end(), at_) - stops.begin();
        const auto& addresses = marks.webAddresses;
        nextAddress_ = std::lower_bound(addresses.begin(), addresses.end(), at_,
                                        [](const TextRange& a, int at) { return a.start < at; }) -
                       addresses.begin();
    }

    SpokenText Run();

private:
    wchar_t At(int i) const { return i < length_ ? text_[i] : L'\0'; }
    char32_t CodePointAt(int i, int& units) const;
    bool IsInsertedStop(int i);
    bool IsInsertedStopAnywhere(int i) const;
    int NextAddressStart() const
    {
        return nextAddress_ < marks_.webAddresses.size() ? marks_.webAddresses[nextAddress_].start : length_;
    }
    int AfterBreak(int i) const;
    int ContentEnd(int from) const;
    int NextLineStart(int from) const;
    bool StartsLowerCase(int i) const;
    void StartLine();
    void Skip(int start, int end);
    void SkipWithBlankBefore(int start, int end);

    bool LineMarks();
    bool CodeBlock(int fence);
    bool JoinAtInsertedStop();
    bool JoinAfterAbbreviation();
    bool JoinHyphenated();
    bool WebAddress();
    bool Emoji();
    bool Citation();
    bool InlineMark();

    const std::wstring& text_;
    const PreparationMarks& marks_;
    const ListeningFilters& filters_;
    SpokenTextBuilder out_;
    const int length_;
    int at_ = 0;
    size_t nextStop_ = 0;
    size_t nextAddress_ = 0;
    int lastResumePoint_ = -ResumePointSpacing;
    bool tableRow_ = false;
    // The line's end is a sentence end whatever follows: a heading, a table row, a code block.
    bool keepLineEnd_ = false;
};

char32_t Filter::CodePointAt(int i, int& units) const
{
    const wchar_t c = text_[i];
    units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length_ && text_[i + 1] >= 0xDC00 && text_[i + 1] <= 0xDFFF) {
        units = 2;
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text_[i + 1] - 0xDC00);
    }
    return c;
}

// Asked with positions that mostly go forward, so the marks are walked about once.
bool Filter::IsInsertedStop(int i)
{
    const auto& stops = marks_.insertedStops;
    while (nextStop_ > 0 && stops[nextStop_ - 1] >= i)
        --nextStop_;
    while (nextStop_ < stops.size() && stops[nextStop_] < i)
        ++nextStop_;
    return nextStop_ < stops.size() && stops[nextStop_] == i;
}

bool Filter::IsInsertedStopAnywhere(int i) const
{
    return std::binary_search(marks_.insertedStops.begin(), marks_.insertedStops.end(), i);
}

int Filter::AfterBreak(int i) const
{
    if (At(i) == L'\r' && At(i + 1) == L'\n')
        return i + 2;
    return i + 1;
}

// Where the line that holds from ends, before the full stop preparation put there.
int Filter::ContentEnd(int from) const
{
    int end = from;
    while (end < length_ && !IsBreak(text_[end]))
        ++end;
    if (end > from && IsInsertedStopAnywhere(end - 1))
        --end;
    return end;
}

int Filter::NextLineStart(int from) const
{
    while (from < length_ && !IsBreak(text_[from]))
        ++from;
    return from < length_ ? AfterBreak(from) : length_;
}

// A line that goes on a sentence: its first letter, perhaps after an opening bracket or
// quote, is a small one.
bool Filter::StartsLowerCase(int i) const
{
    while (IsBlank(At(i)))
        ++i;
    const wchar_t c = At(i);
    if (c == L'(' || c == L'"' || c == L'\'' || c == 0x201C || c == 0x2018)
        return IsLower(At(i + 1));
    return IsLower(c);
}

void Filter::StartLine()
{
    tableRow_ = false;
    keepLineEnd_ = false;
}

void Filter::Skip(int start, int end)
{
    out_.Change(start, end, L"");
    at_ = end;
}

// A skipped mark takes the blank before it along when punctuation or a line end follows,
// so that "shown [12]." is heard as "shown." and never as two words run together.
void Filter::SkipWithBlankBefore(int start, int end)
{
    if (start - 1 >= out_.Position() && text_[start - 1] == L' ' && !IsLetterOrDigit(At(end)))
        --start;
    Skip(start, end);
}

SpokenText Filter::Run()
{
    if (!filters_.Any())
        return out_.Finish();
    bool lineStart = true;
    while (at_ < length_) {
        if (lineStart) {
            lineStart = false;
            if (at_ - lastResumePoint_ >= ResumePointSpacing) {
                out_.MarkResumePoint(at_);
                lastResumePoint_ = at_;
            }
            StartLine();
            if (filters_.markdown && LineMarks())
                continue;
        }
        const wchar_t c = text_[at_];
        if (!MayStartMark(c) && At(at_ + 1) != 0xFE0F && at_ < NextAddressStart()) {
            ++at_;
            continue;
        }
        if (IsBreak(c)) {
            if (!JoinAfterAbbreviation())
                at_ = AfterBreak(at_);
            lineStart = true;
            continue;
        }
        if (IsInsertedStop(at_)) {
            lineStart = JoinAtInsertedStop();
            if (!lineStart)
                ++at_;
            continue;
        }
        if ((filters_.joinHyphens && IsHyphen(c) && JoinHyphenated()) || (filters_.webAddresses && WebAddress()) ||
            (filters_.emoji && (c >= 0x2300 || At(at_ + 1) == 0xFE0F) && Emoji()) ||
            (filters_.citations && (c == L'[' || c == L'(') && Citation()) || (filters_.markdown && InlineMark()))
            continue;
        ++at_;
    }
    return out_.Finish();
}

// Marks at the start of a Markdown line: a code fence, a rule, a heading's "#", quote
// marks and a list bullet; a table row is noted for its pipes.
bool Filter::LineMarks()
{
    int j = at_;
    while (j - at_ < 3 && At(j) == L' ')
        ++j;
    const wchar_t c = At(j);
    if ((c == L'`' || c == L'~') && CodeBlock(j))
        return true;
    if (c == L'-' || c == L'*' || c == L'_') {
        const int end = ContentEnd(j);
        int marks = 0;
        int k = j;
        while (k < end && (text_[k] == c || IsBlank(text_[k])))
            marks += text_[k++] == c;
        if (k == end && marks >= 3) {
            keepLineEnd_ = true;
            Skip(at_, end);
            return true;
        }
    }
    if (c == L'#') {
        int k = j;
        while (At(k) == L'#')
            ++k;
        const bool endsLine = IsBreak(At(k)) || k == length_ || IsInsertedStopAnywhere(k);
        if (k - j <= 6 && (endsLine || IsBlank(At(k)))) {
            while (IsBlank(At(k)))
                ++k;
            keepLineEnd_ = true;
            Skip(at_, k);
            return true;
        }
    }
    if (c == L'|') {
        tableRow_ = true;
        keepLineEnd_ = true;
        const int end = ContentEnd(j);
        const bool rule = std::all_of(text_.begin() + j, text_.begin() + end, [](wchar_t d) {
            return d == L'|' || d == L'-' || d == L':' || IsBlank(d);
        }) && std::find(text_.begin() + j, text_.begin() + end, L'-') != text_.begin() + end;
        if (rule) {
            Skip(at_, end);
            return true;
        }
        return false;
    }
    int k = j;
    while (At(k) == L'>') {
        ++k;
        while (IsBlank(At(k)))
            ++k;
    }
    if (IsBullet(At(k)) && IsBlank(At(k + 1))) {
        k += 2;
        while (IsBlank(At(k)))
            ++k;
    }
    if (k == j)
        return false;
    Skip(at_, k);
    return true;
}

// A fenced code block is heard as "code" once, in place of its opening line; the rest
// of it is not heard. Without a closing fence it runs to the end of the text.
bool Filter::CodeBlock(int fence)
{
    const wchar_t mark = text_[fence];
    int k = fence;
    while (At(k) == mark)
        ++k;
    const int count = k - fence;
    const int openingEnd = ContentEnd(fence);
    if (count < 3 || (mark == L'`' && std::find(text_.begin() + k, text_.begin() + openingEnd, L'`') != text_.begin() + openingEnd))
        return false;
    int blockEnd = length_;
    for (int line = NextLineStart(openingEnd); line < length_; line = NextLineStart(line)) {
        int m = line;
        while (m - line < 3 && At(m) == L' ')
            ++m;
        int r = m;
        while (At(r) == mark)
            ++r;
        const int lineEnd = ContentEnd(line);
        while (r < lineEnd && IsBlank(text_[r]))
            ++r;
        if (r == lineEnd && r - m >= count) {
            blockEnd = lineEnd;
            break;
        }
    }
    out_.Change(at_, openingEnd, SpokenCodeBlock);
    Skip(openingEnd, blockEnd);
    keepLineEnd_ = true;
    return true;
}

// The full stop preparation put at a line end inside a sentence is not heard, and so
// drawn dimmed, and the line break is heard as a blank, when the next line goes on with a
// small letter.
bool Filter::JoinAtInsertedStop()
{
    if (!filters_.joinLines || keepLineEnd_ || !IsBreak(At(at_ + 1)))
        return false;
    const int next = AfterBreak(at_ + 1);
    if (!StartsLowerCase(next))
        return false;
    Skip(at_, at_ + 1);
    out_.Change(at_, next, L" ");
    at_ = next;
    return true;
}

// "e.g." at a line end ends no sentence either.
bool Filter::JoinAfterAbbreviation()
{
    if (!filters_.joinLines || keepLineEnd_ || at_ == 0 || text_[at_ - 1] != L'.' || IsInsertedStop(at_ - 1))
        return false;
    int start = at_ - 1;
    while (start > 0 && (IsLetter(text_[start - 1]) || text_[start - 1] == L'.'))
        --start;
    const int next = AfterBreak(at_);
    if (!StartsLowerCase(next) || !IsAbbreviation(text_.substr(start, at_ - start)))
        return false;
    out_.Change(at_, next, L" ");
    at_ = next;
    return true;
}

// "treat-" at a line end and "ed" on the next line are heard as one word.
bool Filter::JoinHyphenated()
{
    if (at_ == 0 || !IsLetter(text_[at_ - 1]))
        return false;
    int k = at_ + 1;
    if (IsInsertedStop(k))
        ++k;
    if (!IsBreak(At(k)))
        return false;
    int next = AfterBreak(k);
    while (IsBlank(At(next)))
        ++next;
    if (!IsLower(At(next)))
        return false;
    Skip(at_, next);
    StartLine();
    return true;
}

// "https://www.example.com/a/b" is heard as "link, example.com".
bool Filter::WebAddress()
{
    const auto& addresses = marks_.webAddresses;
    while (nextAddress_ < addresses.size() && addresses[nextAddress_].start < at_)
        ++nextAddress_;
    if (nextAddress_ >= addresses.size() || addresses[nextAddress_].start != at_)
        return false;
    const TextRange address = addresses[nextAddress_++];
    int host = address.start;
    if (!StartsWithNoCase(text_.c_str() + host, L"www.")) {
        // The scheme's "://" became ":" and two blanks.
        while (host < address.end && text_[host] != L':')
            ++host;
        ++host;
        while (host < address.end && text_[host] == L' ')
            ++host;
    }
    int hostEnd = host;
    while (hostEnd < address.end && text_[hostEnd] != L' ' && text_[hostEnd] != L':' && text_[hostEnd] != L'?' &&
           text_[hostEnd] != L'#') {
        if (text_[hostEnd++] == L'@')
            host = hostEnd;   // a user name before the host is not read either
    }
    if (hostEnd - host > 4 && StartsWithNoCase(text_.c_str() + host, L"www."))
        host += 4;
    if (host >= hostEnd)
        return false;
    out_.Change(address.start, host, SpokenLink);
    Skip(hostEnd, address.end);
    return true;
}

// A pictograph with everything that joins or styles it: skin tones, joiners, flags.
bool Filter::Emoji()
{
    int units = 1;
    const char32_t first = CodePointAt(at_, units);
    if (!IsPictograph(first) && At(at_ + units) != 0xFE0F)
        return false;
    int end = at_;
    while (end < length_) {
        const char32_t c = CodePointAt(end, units);
        if (!IsPictograph(c) && !IsEmojiPart(c) && At(end + units) != 0xFE0F)
            break;
        end += units;
    }
    SkipWithBlankBefore(at_, end);
    return true;
}

bool Filter::Citation()
{
    const int length = text_[at_] == L'[' ? BracketCitationLength(text_, at_) : AuthorYearCitationLength(text_, at_);
    if (length == 0)
        return false;
    SkipWithBlankBefore(at_, at_ + length);
    return true;
}

// Emphasis marks around words ("**", "_"), code backticks and a table row's pipes.
bool Filter::InlineMark()
{
    const wchar_t c = text_[at_];
    if (c == L'|' && tableRow_) {
        Skip(at_, at_ + 1);
        return true;
    }
    if (c != L'`' && c != L'*' && c != L'_')
        return false;
    int end = at_;
    while (At(end) == c)
        ++end;
    if (c != L'`') {
        // Flanking as Markdown has it: a mark before a word opens, one after a word closes.
        const wchar_t before = at_ > 0 ? text_[at_ - 1] : L' ';
        const wchar_t after = At(end);
        const bool opens = !IsSpaceOrNone(after) && (!IsPunctuation(after) || IsSpaceOrNone(before) || IsPunctuation(before));
        const bool closes = !IsSpaceOrNone(before) && (!IsPunctuation(before) || IsSpaceOrNone(after) || IsPunctuation(after));
        // "snake_case" and "2*3" keep their marks.
        const bool insideWord = opens && closes && (c == L'_' ? IsLetterOrDigit(before) && IsLetterOrDigit(after)
                                                               : IsDigit(before) && IsDigit(after));
        if (!(opens || closes) || insideWord) {
            at_ = end;
            return true;
        }
    }
    Skip(at_, end);
    return true;
}

} // namespace

SpokenText FilterForListening(const std::wstring& prepared, const PreparationMarks& marks, const ListeningFilters& filters)
{
    return Filter(prepared, marks, filters).Run();
}

SpokenText ExtendFilteredText(const SpokenText& earlier, const std::wstring& prepared, const PreparationMarks& marks,
                            const ListeningFilters& filters, int from)
{
    // What was decided within a look-ahead of the old end may go otherwise now.
    const SpokenText::ResumePoint* point = earlier.ResumePointBefore(from - LookAhead);
    if (!point || earlier.ViewLength() != from)
        return FilterForListening(prepared, marks, filters);
    return Filter(prepared, marks, filters, earlier, *point).Run();
}
