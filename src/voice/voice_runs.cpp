#include "voice/voice_runs.h"
#include "settings/app_settings.h"
#include "settings/voice_settings.h"
#include <algorithm>

void VoiceRuns::UseCatalog(VoiceCatalog voices, std::wstring defaultName)
{
    voices_ = std::move(voices);
    defaultName_ = std::move(defaultName);
}

const InstalledVoice* VoiceRuns::ChosenVoice() const
{
    return voices_.Find(AppSettings.voiceId);
}

std::wstring VoiceRuns::ChosenVoiceName() const
{
    const InstalledVoice* chosen = ChosenVoice();
    return chosen ? chosen->name : defaultName_;
}

bool VoiceRuns::ChosenVoiceMissing() const
{
    return !AppSettings.voiceId.empty() && !ChosenVoice();
}

bool VoiceRuns::ReadsEachLanguage() const
{
    return AppSettings.readEachLanguage.value_or(voices_.Languages().size() > 1);
}

const InstalledVoice* VoiceRuns::VoiceForLanguage(LanguageId language) const
{
    if (const InstalledVoice* chosen = voices_.Find(LanguageVoiceId(AppSettings, language)); chosen && chosen->Speaks(language))
        return chosen;
    // The chosen voice reads its own language, before any other voice of it.
    if (const InstalledVoice* chosen = ChosenVoice(); chosen && chosen->Speaks(language))
        return chosen;
    return voices_.FirstFor(language);
}

void VoiceRuns::UseText(std::shared_ptr<const SpokenText> spoken, std::shared_ptr<const SpokenText> filtered,
                        std::shared_ptr<ParagraphLanguages> languages)
{
    // Languages found of the same filtered text stay found.
    if (!languages && filtered == filtered_)
        languages = std::move(languages_);
    spoken_ = std::move(spoken);
    filtered_ = std::move(filtered);
    languages_ = std::move(languages);
}

VoiceRun VoiceRuns::RunFrom(int offset)
{
    const InstalledVoice* chosen = ChosenVoice();
    const ComPtr<ISpObjectToken> chosenToken = chosen ? chosen->token : ComPtr<ISpObjectToken>();
    const int size = spoken_ ? static_cast<int>(spoken_->Text().size()) : 0;
    if (!ReadsEachLanguage() || !spoken_ || !filtered_)
        return {offset, size, NoLanguage, chosenToken, false};
    // The paragraphs are those of the filtered text, where lines joined inside a sentence
    // are one; the dictionary's respellings, made for each paragraph's voice, come after.
    if (!languages_)
        languages_ = std::make_shared<ParagraphLanguages>(
            std::shared_ptr<const std::wstring>(filtered_, &filtered_->Text()));
    const bool same = spoken_ == filtered_;
    const int from = same ? offset : filtered_->SpokenPosition(spoken_->ViewPosition(offset));
    const LanguageRun run = languages_->RunFrom(from);
    const int end = same ? run.end : spoken_->SpokenPosition(filtered_->ViewPosition(run.end));
    const InstalledVoice* voice = run.language != NoLanguage ? VoiceForLanguage(run.language) : nullptr;
    return {offset, std::max(end, std::min(offset + 1, size)), run.language, voice ? voice->token : chosenToken,
            run.language != NoLanguage && !voice};
}

std::wstring VoiceRuns::VoiceNameAt(int offset)
{
    const VoiceRun run = RunFrom(offset);
    for (const InstalledVoice& voice : voices_.Voices())
        if (run.voice && voice.token.Get() == run.voice.Get())
            return voice.name;
    return ChosenVoiceName();
}

std::vector<VoiceRun> VoiceRuns::AllRuns()
{
    std::vector<VoiceRun> runs;
    if (!spoken_)
        return runs;
    const int size = static_cast<int>(spoken_->Text().size());
    // An empty text is one empty run, spoken as any other.
    for (int at = 0; at < size || runs.empty();) {
        runs.push_back(RunFrom(at));
        at = std::max(runs.back().end, at + 1);
    }
    return runs;
}
