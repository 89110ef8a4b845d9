#include "speech/reader.h"
#include "settings/app_settings.h"
#include "speech/listening_filters.h"
#include "speech/voice_engine.h"

Reader::Reader() = default;

bool Reader::CreateView(HWND parent, const RECT& rect)
{
    if (!view_.Create(parent, rect))
        return false;
    ApplyFontAndColours();
    return true;
}

void Reader::UseVoice(ComPtr<ISpVoice> voice)
{
    voiceName_ = VoiceName(voice.Get());
    controller_.UseVoice(std::move(voice));
}

void Reader::DeriveSpokenText()
{
    spokenFilters_ = AppSettings.listening;
    filtered_ = std::make_shared<const SpokenText>(BuildSpokenText(text_.Text(), text_.Marks(), spokenFilters_));
    Pronounce();
}

void Reader::Pronounce(int from)
{
    const Pronouncer& pronouncer = pronouncers_.For(voiceName_);
    if (pronouncer.Empty())
        spoken_ = filtered_;
    else
        spoken_ = std::make_shared<const SpokenText>(Pronounced(*filtered_, pronouncer.Replacements(filtered_->Text())));
    shading_.Show(spoken_->SkippedRanges(from), from);
}

void Reader::PrepareText()
{
    lastSpokenWord_ = {};
    text_.Prepare(view_);
    DeriveSpokenText();
    ReportStatusChange();
}

void Reader::PrepareAppendedText(int from)
{
    // A long text is not filtered all again for a short copy added to it.
    if (text_.PrepareAppended(view_, from) && filtered_ && spokenFilters_ == AppSettings.listening) {
        filtered_ = std::make_shared<const SpokenText>(
            ExtendSpokenText(*filtered_, text_.Text(), text_.Marks(), spokenFilters_, from));
        Pronounce(from);
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
    lastSpokenWord_ = {};
    spoken_.reset();
    filtered_.reset();
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
    lastSpokenWord_ = word;
    ReportStatusChange(display_.ShowSpokenWord(view_, word));
}

void Reader::OnStatusChange(int line)
{
    if (statusListener_)
        statusListener_(line);
}
