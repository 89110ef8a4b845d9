#include "speech/reader.h"
#include "settings/app_settings.h"
#include "speech/listening_filters.h"

Reader::Reader() = default;

bool Reader::CreateView(HWND parent, const RECT& rect)
{
    if (!view_.Create(parent, rect))
        return false;
    ApplyFontAndColours();
    return true;
}

void Reader::DeriveSpokenText()
{
    spokenFilters_ = AppSettings.listening;
    spoken_ = std::make_shared<const SpokenText>(BuildSpokenText(text_.Text(), text_.Marks(), spokenFilters_));
    shading_.Show(spoken_->SkippedRanges());
}

void Reader::PrepareText()
{
    text_.Prepare(view_);
    DeriveSpokenText();
    ReportStatusChange();
}

void Reader::PrepareAppendedText(int from)
{
    // A long text is not filtered all again for a short copy added to it.
    if (text_.PrepareAppended(view_, from) && spoken_ && spokenFilters_ == AppSettings.listening) {
        spoken_ = std::make_shared<const SpokenText>(
            ExtendSpokenText(*spoken_, text_.Text(), text_.Marks(), spokenFilters_, from));
        shading_.Show(spoken_->SkippedRanges(from), from);
    } else {
        DeriveSpokenText();
    }
    ReportStatusChange();
}

void Reader::DropTrailingLineBreaks()
{
    text_.DropTrailingLineBreaks(view_);
    DeriveSpokenText();
}

void Reader::ForgetText()
{
    text_.Forget();
    spoken_.reset();
    shading_.Stop();
}

void Reader::ApplyListeningFilters()
{
    if (!text_.Prepared())
        return;
    DeriveSpokenText();
    controller_.SpokenTextChanged();
}

void Reader::ApplyFontAndColours()
{
    display_.ApplyFontAndColours(view_, text_.Prepared());
    // The dimmed colour follows the text's and the background's.
    if (spoken_)
        shading_.Show(spoken_->SkippedRanges());
    ReportStatusChange();
}

void Reader::FitView(int width, int height)
{
    MoveWindow(view_.Handle(), 0, 0, width, height, FALSE);
    display_.UpdateVisibleLines(view_);
    ReportStatusChange();
}

void Reader::OnSpokenWord(WordRange word)
{
    ReportStatusChange(display_.ShowSpokenWord(view_, word));
}

void Reader::OnStatusChange(int line)
{
    if (statusListener_)
        statusListener_(line);
}
