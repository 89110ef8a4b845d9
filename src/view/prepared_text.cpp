#include "view/prepared_text.h"
#include "view/sentences.h"
#include "view/text_marks.h"
#include "view/text_view.h"
#include <windows.h>
#include <algorithm>
#include <utility>

void PreparedText::Forget()
{
    text_ = std::make_shared<const std::wstring>();
    marks_ = {};
    prepared_ = false;
    previousSentenceCount_ = 0;
}

void PreparedText::Replace(SharedText text)
{
    previousSentenceCount_ = prepared_ ? CountSentences(text_->c_str()) : 0;
    text_ = std::move(text);
    prepared_ = true;
}

void PreparedText::NoteViewHoldsIt(const TextView& view)
{
    viewRevision_ = view.Revision();
}

bool PreparedText::MatchesView(const TextView& view) const
{
    return prepared_ && view.Revision() == viewRevision_;
}

void PreparedText::Adopt(SharedText text, PreparationMarks marks, int previousSentenceCount, const TextView& view)
{
    text_ = std::move(text);
    marks_ = std::move(marks);
    prepared_ = true;
    previousSentenceCount_ = previousSentenceCount;
    NoteViewHoldsIt(view);
}

void PreparedText::Prepare(TextView& view)
{
    view.Select(0, 0);
    // Preparing a prepared text changes nothing; a long one is not read through again,
    // and what the first preparation found in the copied text is not lost.
    if (MatchesView(view)) {
        previousSentenceCount_ = CountSentences(text_->c_str());
        return;
    }
    const std::wstring& text = view.Text();
    PreparationMarks marks;
    auto prepared = std::make_shared<const std::wstring>(NormaliseText(text, &marks));
    marks_ = std::move(marks);
    // When nothing changed, the view already holds the prepared text.
    if (*prepared != text)
        view.TakeText(prepared);
    Replace(std::move(prepared));
    NoteViewHoldsIt(view);
}

void PreparedText::DropTrailingLineBreaks(TextView& view)
{
    size_t length = text_->size();
    while (length > 0 && ((*text_)[length - 1] == L'\r' || (*text_)[length - 1] == L'\n'))
        --length;
    // The view already shows a text that has none.
    if (length == text_->size() && MatchesView(view))
        return;
    if (length != text_->size()) {
        text_ = std::make_shared<const std::wstring>(*text_, 0, length);
        const int kept = static_cast<int>(length);
        std::erase_if(marks_.insertedStops, [&](int stop) { return stop >= kept; });
        std::erase_if(marks_.webAddresses, [&](const TextRange& address) { return address.end > kept; });
    }
    view.TakeText(text_);
    NoteViewHoldsIt(view);
}
