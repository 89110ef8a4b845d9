#pragma once
// The prepared text: the view's text once prepared (see normalise.h), shared with the
// view while it shows it, and what preparing it found.
#include <string>
#include "view/normalise.h"
#include "view/text_view_control.h"

class TextView;

// The prepared text handed to the voice: empty, and not prepared, until the first
// preparation.
class PreparedText {
public:
    const std::wstring& Text() const { return *text_; }
    const SharedText& Shared() const { return text_; }
    bool Prepared() const { return prepared_; }
    // Sentences of the text prepared before the latest preparation.
    int PreviousSentenceCount() const { return previousSentenceCount_; }
    // What preparing the copied text found that the prepared text no longer shows.
    const PreparationMarks& Marks() const { return marks_; }

    void Prepare(TextView& view);
    // text, prepared elsewhere and now in the view, is the prepared text; the sentences
    // of the text before it were counted by the caller.
    void Adopt(SharedText text, PreparationMarks marks, int previousSentenceCount, const TextView& view);
    // Whether the view holds the prepared text, unchanged since.
    bool MatchesView(const TextView& view) const;
    // Back to no prepared text, as at start-up.
    void Forget();
    // The text without its trailing line breaks, in the view as well.
    void DropTrailingLineBreaks(TextView& view);

private:
    void Replace(SharedText text);
    void NoteViewHoldsIt(const TextView& view);

    // Shared with the view while it shows the prepared text.
    SharedText text_ = std::make_shared<const std::wstring>();
    PreparationMarks marks_;
    bool prepared_ = false;
    int previousSentenceCount_ = 0;
    // The view's revision when it last held the prepared text.
    unsigned viewRevision_ = 0;
};

