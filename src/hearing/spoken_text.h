#pragma once
// The spoken text: what the voice is given, derived from the prepared text that the view
// shows, with a map from every spoken position back to a position in the view. Word
// events, the highlight, Ctrl+click, Shift+click and appending all go through the map,
// so the highlight sits on the view's own word and never on text the voice does not hear.
#include <string>
#include <string_view>
#include <vector>
#include "view/text_range.h"

struct TextReplacement;

class SpokenText {
public:
    // The view's text spoken exactly as it stands.
    static SpokenText Verbatim(const std::wstring& view);

    const std::wstring& Text() const { return text_; }
    int ViewLength() const { return viewLength_; }

    // The view position of the spoken character at spoken: its own, or the start of the
    // view text it stands for. The end of the spoken text is the end of the view.
    int ViewPosition(int spoken) const;
    // The view range of the spoken characters [start, end): from the first one's view
    // position to past the last one's (past all the view text it stands for).
    // For a word: punctuation heard right after skipped text closes it without the range
    // reaching over what is not heard. For a sentence, whose tint covers it whole, skipped
    // text before its closing punctuation ("shown [12].") belongs to it.
    enum class Reach { Word, Sentence };
    TextRange ViewRange(int start, int end, Reach reach = Reach::Word) const;
    // The spoken position of view, or of the first spoken character after it when it is
    // not heard.
    int SpokenPosition(int view) const;
    // Where the spoken word that holds spoken begins, or, on a blank, the next word;
    // the text's length when no word follows. A word runs between blanks and line
    // breaks, as voices divide what they read.
    int WordStartFrom(int spoken) const;
    // The view ranges the voice does not hear, in order; from a view position on.
    std::vector<TextRange> SkippedRanges(int from = 0) const;

    // A view position where building can begin afresh, and how far the spoken text had
    // come there: a text that grows at its end is built again only from one of these.
    struct ResumePoint {
        int view;
        int built;          // the builder's position: what came before is in the spoken text
        int spokenLength;
        int segments;
    };
    // The last resume point at or before view, or null.
    const ResumePoint* ResumePointBefore(int view) const;

private:
    friend class SpokenTextBuilder;
    friend SpokenText WithReplacements(const SpokenText& heard, const std::vector<TextReplacement>& replacements);

    // A stretch of the view and what the voice hears for it. Equal lengths map character
    // by character; otherwise, or when it is said as a whole, the spoken characters stand
    // for the whole view stretch (none for a skipped one).
    struct Segment {
        int spoken;
        int view;
        int spokenLength;
        int viewLength;
        bool whole;

        bool CharByChar() const { return spokenLength == viewLength && !whole; }
    };
    const Segment& SegmentAtSpoken(int spoken) const;
    const Segment& SegmentAtView(int view) const;

    std::wstring text_;
    std::vector<Segment> segments_;
    std::vector<ResumePoint> resumePoints_;
    int viewLength_ = 0;
};

// Builds a spoken text from left to right: the view text between changes is spoken as
// it stands, each change says what is heard for a stretch of the view.
class SpokenTextBuilder {
public:
    explicit SpokenTextBuilder(const std::wstring& view);
    // Goes on from a resume point of earlier, built from a view that is the same as this
    // one up to there.
    SpokenTextBuilder(const std::wstring& view, const SpokenText& earlier, const SpokenText::ResumePoint& from);
    // The view's [start, end) is heard as spoken (nothing: skipped). start is at or after
    // Position().
    void Change(int start, int end, std::wstring_view spoken);
    // How far the view has been built: a change may start here or later.
    int Position() const { return position_; }
    // Building could begin afresh at view, at or after Position().
    void MarkResumePoint(int view);
    SpokenText Finish();

private:
    void CopyUpTo(int end);

    const std::wstring& view_;
    SpokenText spoken_;
    int position_ = 0;
};
