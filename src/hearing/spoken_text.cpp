#include "hearing/spoken_text.h"
#include "view/text_marks.h"
#include <algorithm>

SpokenText SpokenText::Verbatim(const std::wstring& view)
{
    return SpokenTextBuilder(view).Finish();
}

// The last segment that starts at or before spoken and holds spoken characters; a
// skipped segment shares its start with the one after it, which comes later.
const SpokenText::Segment& SpokenText::SegmentAtSpoken(int spoken) const
{
    auto after = std::upper_bound(segments_.begin(), segments_.end(), spoken,
                                  [](int position, const Segment& s) { return position < s.spoken; });
    return *(after == segments_.begin() ? after : after - 1);
}

const SpokenText::Segment& SpokenText::SegmentAtView(int view) const
{
    auto after = std::upper_bound(segments_.begin(), segments_.end(), view,
                                  [](int position, const Segment& s) { return position < s.view; });
    return *(after == segments_.begin() ? after : after - 1);
}

int SpokenText::ViewPosition(int spoken) const
{
    if (segments_.empty() || spoken >= static_cast<int>(text_.size()))
        return viewLength_;
    const Segment& s = SegmentAtSpoken(std::max(spoken, 0));
    if (s.CharByChar())
        return s.view + (spoken - s.spoken);
    return s.view;
}

TextRange SpokenText::ViewRange(int start, int end, Reach reach) const
{
    const int length = static_cast<int>(text_.size());
    start = std::clamp(start, 0, length);
    end = std::clamp(end, start, length);
    const int viewStart = ViewPosition(start);
    if (end == start)
        return {viewStart, viewStart};
    const Segment& last = SegmentAtSpoken(end - 1);
    int viewEnd = last.CharByChar() ? last.view + (end - last.spoken) : last.view + last.viewLength;
    // Punctuation heard right after skipped text ("shown [12].") closes the word without
    // the highlight reaching over what is not heard.
    const bool onlyPunctuation = std::none_of(text_.begin() + last.spoken, text_.begin() + end, IsLetterOrDigit);
    if (reach == Reach::Word && last.spoken > start && onlyPunctuation) {
        for (auto s = segments_.begin() + (&last - segments_.data()); s != segments_.begin() && (s - 1)->spokenLength == 0;)
            viewEnd = (--s)->view;
    }
    return {viewStart, std::max(viewStart, viewEnd)};
}

int SpokenText::SpokenPosition(int view) const
{
    if (segments_.empty() || view >= viewLength_)
        return static_cast<int>(text_.size());
    const Segment& s = SegmentAtView(std::max(view, 0));
    if (s.CharByChar())
        return s.spoken + (view - s.view);
    return s.spoken;
}

int SpokenText::WordStartFrom(int spoken) const
{
    const auto between = [](wchar_t c) { return IsBlank(c) || IsBreak(c); };
    const int length = static_cast<int>(text_.size());
    int at = std::clamp(spoken, 0, length);
    if (at < length && !between(text_[static_cast<size_t>(at)])) {
        while (at > 0 && !between(text_[static_cast<size_t>(at - 1)]))
            --at;
        return at;
    }
    while (at < length && between(text_[static_cast<size_t>(at)]))
        ++at;
    return at;
}

std::vector<TextRange> SpokenText::SkippedRanges(int from) const
{
    std::vector<TextRange> ranges;
    if (segments_.empty())
        return ranges;
    for (auto at = segments_.begin() + (&SegmentAtView(std::max(from, 0)) - segments_.data()); at != segments_.end(); ++at) {
        const Segment& s = *at;
        if (s.spokenLength != 0)
            continue;
        if (!ranges.empty() && ranges.back().end == s.view)
            ranges.back().end = s.view + s.viewLength;
        else
            ranges.push_back({s.view, s.view + s.viewLength});
    }
    return ranges;
}

const SpokenText::ResumePoint* SpokenText::ResumePointBefore(int view) const
{
    auto after = std::upper_bound(resumePoints_.begin(), resumePoints_.end(), view,
                                  [](int position, const ResumePoint& r) { return position < r.view; });
    return after == resumePoints_.begin() ? nullptr : &*(after - 1);
}

SpokenTextBuilder::SpokenTextBuilder(const std::wstring& view) : view_(view)
{
    spoken_.viewLength_ = static_cast<int>(view.size());
    spoken_.text_.reserve(view.size());
}

SpokenTextBuilder::SpokenTextBuilder(const std::wstring& view, const SpokenText& earlier,
                                     const SpokenText::ResumePoint& from)
    : view_(view), position_(from.built)
{
    spoken_.viewLength_ = static_cast<int>(view.size());
    spoken_.text_.reserve(view.size());
    spoken_.text_.assign(earlier.text_, 0, from.spokenLength);
    spoken_.segments_.assign(earlier.segments_.begin(), earlier.segments_.begin() + from.segments);
    const auto kept = earlier.resumePoints_.begin() + (&from - earlier.resumePoints_.data());
    spoken_.resumePoints_.assign(earlier.resumePoints_.begin(), kept);
}

void SpokenTextBuilder::MarkResumePoint(int view)
{
    spoken_.resumePoints_.push_back(
        {view, position_, static_cast<int>(spoken_.text_.size()), static_cast<int>(spoken_.segments_.size())});
}

void SpokenTextBuilder::CopyUpTo(int end)
{
    if (end <= position_)
        return;
    auto& segments = spoken_.segments_;
    const int length = end - position_;
    const int spokenAt = static_cast<int>(spoken_.text_.size());
    spoken_.text_.append(view_, position_, length);
    segments.push_back({spokenAt, position_, length, length, false});
    position_ = end;
}

void SpokenTextBuilder::Change(int start, int end, std::wstring_view spoken)
{
    CopyUpTo(start);
    const int viewLength = end - position_;
    const int spokenLength = static_cast<int>(spoken.size());
    if (viewLength <= 0 && spokenLength == 0)
        return;
    // A change of equal length would map character by character, which is what a
    // stand-in text that long means anyway.
    spoken_.segments_.push_back({static_cast<int>(spoken_.text_.size()), position_, spokenLength, std::max(viewLength, 0), false});
    spoken_.text_.append(spoken);
    position_ = std::max(position_, end);
}

SpokenText SpokenTextBuilder::Finish()
{
    CopyUpTo(static_cast<int>(view_.size()));
    return std::move(spoken_);
}
