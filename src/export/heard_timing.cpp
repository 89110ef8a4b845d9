#include "export/heard_timing.h"
#include "view/sentences.h"
#include <algorithm>
#include <cmath>
#include <cwctype>
#include <map>

namespace {

// A spoken position and where in the output the voice said it is heard.
struct ToldPoint {
    int position;
    ULONGLONG offset;
};

// The events of each stream. Some voices count each stream's offsets from zero: those go
// on from where the stream before ended, so that every offset counts from the recording's
// start.
std::map<ULONG, std::vector<RenderedEvent>> ByStreamFromStart(const std::vector<RenderedEvent>& events)
{
    std::map<ULONG, std::vector<RenderedEvent>> byStream;
    ULONGLONG base = 0;
    ULONGLONG lastEnd = 0;
    for (RenderedEvent event : events) {
        if (event.id == SPEI_START_INPUT_STREAM && event.offset + base < lastEnd)
            base = lastEnd - event.offset;
        event.offset += base;
        if (event.id == SPEI_END_INPUT_STREAM)
            lastEnd = std::max(lastEnd, event.offset);
        byStream[event.stream].push_back(event);
    }
    return byStream;
}

int PlainLength(const SpokenPart& part)
{
    return part.markupMap ? part.markupMap->ViewLength() : static_cast<int>(part.text.size());
}

// The spoken position of a position in what the voice was given for part.
int SpokenPosition(const SpokenPart& part, LPARAM given)
{
    const int at = static_cast<int>(std::clamp<LPARAM>(given, 0, static_cast<LPARAM>(part.text.size())));
    return part.offset + (part.markupMap ? part.markupMap->ViewPosition(at) : at);
}

// What the voice told of part, as it spoke it, along the spoken text.
std::vector<ToldPoint> ToldPoints(const SpokenPart& part, const std::vector<RenderedEvent>& events)
{
    std::vector<ToldPoint> points;
    for (const RenderedEvent& event : events) {
        switch (event.id) {
        case SPEI_START_INPUT_STREAM: points.push_back({part.offset, event.offset}); break;
        case SPEI_END_INPUT_STREAM: points.push_back({part.offset + PlainLength(part), event.offset}); break;
        case SPEI_WORD_BOUNDARY:
        case SPEI_SENTENCE_BOUNDARY: points.push_back({SpokenPosition(part, event.lParam), event.offset}); break;
        default: break;
        }
    }
    std::stable_sort(points.begin(), points.end(), [](const ToldPoint& a, const ToldPoint& b) { return a.position < b.position; });
    // Further along the text is never heard earlier.
    for (size_t i = 1; i < points.size(); ++i)
        points[i].offset = std::max(points[i].offset, points[i - 1].offset);
    return points;
}

// Where the character at position is heard: where the last point told there is (a word
// heard after its sentence's pause), else in proportion between the points around it.
ULONGLONG OffsetAt(const std::vector<ToldPoint>& points, int position)
{
    const auto after = std::upper_bound(points.begin(), points.end(), position,
                                        [](int at, const ToldPoint& point) { return at < point.position; });
    if (after == points.begin())
        return points.front().offset;
    const ToldPoint& before = *(after - 1);
    if (before.position == position || after == points.end())
        return before.offset;
    const double share = static_cast<double>(position - before.position) / (after->position - before.position);
    return before.offset + static_cast<ULONGLONG>(share * static_cast<double>(after->offset - before.offset));
}

} // namespace

HeardWords WordsHeard(const SpokenWhole& whole, const RenderedTiming& timing, double bytesPerSecond, double speed)
{
    HeardWords heard;
    if (!whole.spoken || bytesPerSecond <= 0 || speed <= 0)
        return heard;
    const std::map<ULONG, std::vector<RenderedEvent>> events = ByStreamFromStart(timing.events);
    const SpokenText& spoken = *whole.spoken;
    const std::wstring& text = spoken.Text();
    const int length = static_cast<int>(text.size());
    const double bytesPerMs = bytesPerSecond * speed / 1000.0;
    const auto ms = [&](ULONGLONG offset) { return std::llround(static_cast<double>(offset) / bytesPerMs); };
    long long lastMs = 0;
    int lastShownStart = -1;
    for (size_t i = 0; i < whole.parts.size() && i < timing.streams.size(); ++i) {
        const SpokenPart& part = whole.parts[i];
        const auto told = events.find(timing.streams[i]);
        if (told == events.end())
            continue;
        const std::vector<ToldPoint> points = ToldPoints(part, told->second);
        if (points.empty())
            continue;
        const int end = std::min(part.offset + PlainLength(part), length);
        TextRange sentence{-1, -1};
        TextRange shownSentence;
        for (int at = std::max(part.offset, 0); at < end;) {
            if (std::iswspace(text[static_cast<size_t>(at)])) {
                ++at;
                continue;
            }
            const int start = at;
            while (at < end && !std::iswspace(text[static_cast<size_t>(at)]))
                ++at;
            // A sentence without an end goes on to the next paragraph; its cue stays
            // with the voice that reads it.
            if (start >= sentence.end) {
                sentence = {std::max(SentenceStartBefore(text.c_str(), start), part.offset),
                            std::min(SentenceEndAfter(text.c_str(), length, start), end)};
                shownSentence = spoken.ViewRange(sentence.start, sentence.end, SpokenText::Reach::Sentence);
            }
            // The words said for one stretch of the view (a web address, a respelling)
            // show as the one they stand for.
            const TextRange word = spoken.ViewRange(start, at);
            if (word.start == lastShownStart || word.end <= word.start)
                continue;
            lastShownStart = word.start;
            lastMs = std::max(lastMs, ms(OffsetAt(points, start)));
            heard.words.push_back({word, shownSentence, lastMs});
        }
        heard.endMs = std::max(heard.endMs, ms(points.back().offset));
    }
    return heard;
}
