#include "hearing/pronounced_text.h"
#include "pronunciation/pronunciation_store.h"
#include "hearing/paragraph_languages.h"
#include <algorithm>

namespace {

// Replacements grown to whole filter stretches, and those that then meet joined.
struct Span {
    int start;
    int end;
    std::wstring text;
};

} // namespace

SpokenText WithReplacements(const SpokenText& heard, const std::vector<TextReplacement>& replacements)
{
    const std::wstring& text = heard.text_;
    std::vector<Span> spans;
    int lastEnd = 0;
    const auto close = [&] {
        if (!spans.empty())
            spans.back().text.append(text, lastEnd, spans.back().end - lastEnd);
    };
    for (const TextReplacement& r : replacements) {
        const auto& first = heard.SegmentAtSpoken(r.start);
        const auto& last = heard.SegmentAtSpoken(r.end - 1);
        const int start = first.CharByChar() ? r.start : first.spoken;
        const int end = last.CharByChar() ? r.end : last.spoken + last.spokenLength;
        if (!spans.empty() && start < spans.back().end) {
            spans.back().text.append(text, lastEnd, r.start - lastEnd);
            spans.back().end = std::max(spans.back().end, end);
        } else {
            close();
            spans.push_back({start, end, text.substr(start, r.start - start)});
        }
        spans.back().text += r.text;
        lastEnd = r.end;
    }
    close();

    SpokenText out;
    out.viewLength_ = heard.viewLength_;
    out.text_.reserve(text.size());
    const auto emit = [&out](int view, int viewLength, bool whole, std::wstring_view spoken) {
        out.segments_.push_back(
            {static_cast<int>(out.text_.size()), view, static_cast<int>(spoken.size()), viewLength, whole});
        out.text_.append(spoken);
    };
    const std::wstring_view all(text);
    size_t next = 0;
    bool inSpan = false;
    int spanView = 0;
    for (const auto& seg : heard.segments_) {
        const int segEnd = seg.spoken + seg.spokenLength;
        const auto viewAt = [&seg](int spoken) {
            return seg.CharByChar() ? seg.view + (spoken - seg.spoken) : spoken == seg.spoken ? seg.view : seg.view + seg.viewLength;
        };
        if (seg.spokenLength == 0) {
            // Skipped text inside a replacement is said as part of it.
            if (!inSpan)
                emit(seg.view, seg.viewLength, seg.whole, {});
            continue;
        }
        for (int from = seg.spoken; from < segEnd;) {
            if (inSpan) {
                const Span& span = spans[next];
                from = std::min(segEnd, span.end);
                if (from == span.end) {
                    emit(spanView, viewAt(from) - spanView, true, span.text);
                    inSpan = false;
                    ++next;
                }
            } else if (next < spans.size() && spans[next].start < segEnd) {
                const int start = spans[next].start;
                if (start > from)
                    emit(viewAt(from), start - from, false, all.substr(from, start - from));
                from = start;
                spanView = viewAt(start);
                inSpan = true;
            } else {
                if (from == seg.spoken)
                    emit(seg.view, seg.viewLength, seg.whole, all.substr(from, seg.spokenLength));
                else
                    emit(viewAt(from), segEnd - from, false, all.substr(from, segEnd - from));
                from = segEnd;
            }
        }
    }
    return out;
}

HeardText ApplyDictionary(std::shared_ptr<const SpokenText> filtered, const Pronouncer& pronouncer, PronunciationWatch& watch)
{
    HeardText heard;
    heard.filtered = std::move(filtered);
    heard.spoken = heard.filtered;
    if (!pronouncer.Empty()) {
        const std::vector<TextReplacement> replacements = pronouncer.Replacements(heard.filtered->Text(), watch);
        if (!replacements.empty())
            heard.spoken = std::make_shared<const SpokenText>(WithReplacements(*heard.filtered, replacements));
    }
    heard.report = watch.report;
    return heard;
}

HeardText ApplyDictionary(std::shared_ptr<const SpokenText> filtered, const DictionaryByVoice& pronouncers,
                    PronunciationWatch& watch)
{
    if (pronouncers.byLanguage.empty())
        return ApplyDictionary(std::move(filtered), *pronouncers.chosen, watch);
    HeardText heard;
    heard.filtered = std::move(filtered);
    const std::shared_ptr<const std::wstring> text(heard.filtered, &heard.filtered->Text());
    const int size = static_cast<int>(text->size());
    // The runs as the reading will take them, each with the pronouncer of its voice.
    heard.languages = std::make_shared<ParagraphLanguages>(text);
    std::vector<std::pair<LanguageRun, const Pronouncer*>> runs;
    for (int at = 0; at < size;) {
        const LanguageRun run = heard.languages->RunFrom(at);
        const Pronouncer* pronouncer = pronouncers.chosen.get();
        for (const auto& [language, own] : pronouncers.byLanguage)
            if (language == run.language)
                pronouncer = own.get();
        runs.emplace_back(run, pronouncer);
        at = std::max(run.end, at + 1);
    }
    // Each pronouncer looks at the whole text once, so that what surrounds a paragraph
    // still tells a whole word or a regular expression's context.
    std::vector<TextReplacement> replacements;
    std::vector<const Pronouncer*> done;
    for (const auto& [unused, pronouncer] : runs) {
        if (pronouncer->Empty() || std::find(done.begin(), done.end(), pronouncer) != done.end())
            continue;
        done.push_back(pronouncer);
        size_t run = 0;
        for (TextReplacement& r : pronouncer->Replacements(*text, watch)) {
            while (run < runs.size() && runs[run].first.end <= r.start)
                ++run;
            if (run < runs.size() && runs[run].second == pronouncer && r.end <= runs[run].first.end)
                replacements.push_back(std::move(r));
        }
    }
    std::sort(replacements.begin(), replacements.end(),
              [](const TextReplacement& a, const TextReplacement& b) { return a.start < b.start; });
    // Each pronouncer kept within the limit over the whole text; together they may not.
    if (KeepWithin(replacements, text->size(), watch.HeardMost()))
        watch.report.tooLong = true;
    heard.spoken = replacements.empty() ? heard.filtered
                                        : std::make_shared<const SpokenText>(WithReplacements(*heard.filtered, replacements));
    heard.report = watch.report;
    return heard;
}

bool HasEntries(const DictionaryByVoice& pronouncers)
{
    return (pronouncers.chosen && !pronouncers.chosen->Empty()) ||
           std::any_of(pronouncers.byLanguage.begin(), pronouncers.byLanguage.end(),
                       [](const auto& own) { return own.second && !own.second->Empty(); });
}

std::shared_ptr<const Pronouncer> PronouncerCache::For(const std::wstring& voiceName)
{
    const PronunciationStoreRecord& store = store_;
    if (version_ != store.version) {
        pronouncers_.clear();
        version_ = store.version;
    }
    for (const auto& [name, pronouncer] : pronouncers_)
        if (name == voiceName)
            return pronouncer;
    // A voice is asked for by its name; the few a text is read with are kept.
    pronouncers_.emplace_back(voiceName, std::make_shared<const Pronouncer>(store.dictionary.entries, voiceName));
    return pronouncers_.back().second;
}

bool PronouncerCache::HasVoiceEntries() const
{
    const std::vector<PronunciationEntry>& entries = store_.dictionary.entries;
    return std::any_of(entries.begin(), entries.end(), [](const PronunciationEntry& e) { return !e.voice.empty(); });
}
