#include "voice/speech_controller.h"
#include "view/sentences.h"
#include "settings/app_settings.h"
#include "platform/log.h"
#include "platform/sapi_event.h"
#include "voice/audio_player.h"
#include "voice/pitch_markup.h"
#include "voice/voice_engine.h"
#include <algorithm>
#include <utility>

namespace {

// With the program's player a run ends after the sentence that reaches this many
// characters (or, in a sentence without end, at a blank): a voice that tells of no words
// has them timed once its run's audio has ended, and the player lets the voice render
// no more than a minute ahead of the ear.
constexpr int PlayedRunChars = 300;

int PlayedRunEnd(const std::wstring& text, int offset, int end)
{
    const int wanted = offset + PlayedRunChars;
    if (end <= wanted)
        return end;
    const int sentenceEnd = SentenceEndAfter(text.c_str(), end, wanted);
    if (sentenceEnd <= wanted + PlayedRunChars)
        return sentenceEnd;
    const size_t blank = text.find_first_of(L" \t\r\n", static_cast<size_t>(wanted));
    return blank != std::wstring::npos && static_cast<int>(blank) < end ? static_cast<int>(blank) : end;
}

} // namespace

SpeechController::SpeechController(SpeechListener& listener, VoiceRuns& runs)
    : listener_(listener), runs_(runs)
{
}

void SpeechController::UseVoice(ComPtr<ISpVoice> voice)
{
    voice_ = std::move(voice);
    voiceToken_.Reset();
    queue_ = VoiceQueue{};
    if (!voice_)
        player_.reset();
}

void SpeechController::UsePlayer(std::shared_ptr<AudioPlayer> player)
{
    player_ = std::move(player);
    playerPaused_ = false;
    if (player_)
        player_->SetSpeed(AppSettings.speedPercent / 100.0);
}

// Playing, or PendingPlay while the end of a purged utterance is still to come, so
// that this end is not taken for the end of the text being read.
SpeechState SpeechController::SpeakingState() const
{
    return queue_.purgedEndsOwed > 0 ? PendingPlay : Playing;
}

void SpeechController::SetState(SpeechState state)
{
    state_ = state;
    listener_.OnStatusChange();
}

// Takes the end event of a stream off the queue; false when it was a purged one's.
bool SpeechController::TakeEndOfStream(ULONG stream)
{
    std::erase_if(queue_.utterances, [&](const Utterance& u) { return u.stream == stream; });
    auto& live = queue_.liveStreams;
    const auto found = std::find(live.begin(), live.end(), stream);
    if (found != live.end()) {
        live.erase(found);
        return true;
    }
    if (queue_.purgedEndsOwed > 0)
        --queue_.purgedEndsOwed;
    return false;
}

// Null for an utterance not read by us (an export).
SpeechController::Utterance* SpeechController::FindUtterance(ULONG stream)
{
    for (Utterance& u : queue_.utterances)
        if (u.stream == stream)
            return &u;
    return nullptr;
}

// A refused voice leaves the one in use reading: the text is heard all the same.
bool SpeechController::UseRunVoice(const ComPtr<ISpObjectToken>& token)
{
    if (token.Get() == voiceToken_.Get())
        return true;
    if (const HRESULT result = voice_->SetVoice(token.Get()); FAILED(result)) {
        LogFailure(L"ISpVoice::SetVoice", static_cast<DWORD>(result));
        return false;
    }
    voiceToken_ = token;
    return true;
}

// The one place where the text goes to the voice: the run from offset in the spoken
// text, with its voice. The voice reports positions in what it was given, so the offset
// and the spoken text are remembered to map them back onto the view.
bool SpeechController::SpeakFrom(int offset)
{
    if (!voice_ || !spoken_)
        return false;
    const std::wstring& text = spoken_->Text();
    const int size = static_cast<int>(text.size());
    offset = std::clamp(offset, 0, size);
    const VoiceRun run = runs_.RunFrom(offset);
    int end = std::clamp(run.end, offset, size);
    if (player_)
        end = PlayedRunEnd(text, offset, end);
    UseRunVoice(run.voice);
    // The last run of plain text is spoken where it lies; one before it needs an end of
    // its own, and markup a text of its own.
    const bool markup = AppSettings.pitch != 0;
    const std::wstring part = end < size || markup
                                  ? text.substr(static_cast<size_t>(offset), static_cast<size_t>(end - offset))
                                  : std::wstring();
    const auto pitched = markup ? std::make_shared<const SpokenText>(PitchMarkup(part, AppSettings.pitch)) : nullptr;
    const wchar_t* spoken = pitched ? pitched->Text().c_str() : end < size ? part.c_str() : text.c_str() + offset;
    ULONG stream = 0;
    if (const HRESULT result = voice_->Speak(spoken, pitched ? SpeakMarkupFlags : SpeakTextFlags, &stream);
        FAILED(result)) {
        LogFailure(L"ISpVoice::Speak", static_cast<DWORD>(result));
        return false;
    }
    queue_.liveStreams.push_back(stream);
    queue_.utterances.push_back({stream, offset, end, spoken_, run.language, run.withoutVoice, pitched, false, {}, 0, 0});
    return true;
}

TextRange SpeechController::SpokenWord(const Utterance& utterance, ULONG position, ULONG length)
{
    const int start = static_cast<int>(position);
    const int end = start + static_cast<int>(length);
    const TextRange word = utterance.markup ? utterance.markup->ViewRange(start, end) : TextRange{start, end};
    return {utterance.offset + word.start, utterance.offset + word.end};
}

// Only the run after the one being read waits in the voice: a long text is divided into
// runs only as the reading comes to them.
void SpeechController::QueueNextRun()
{
    if (queue_.liveStreams.size() != 1 || !spoken_)
        return;
    const Utterance* reading = FindUtterance(queue_.liveStreams.back());
    if (reading && reading->text == spoken_ && reading->end < static_cast<int>(spoken_->Text().size()))
        SpeakFrom(reading->end);
}

// Reads from offset on: the state becomes playing and the menu says so. With nothing
// to read the program stops rather than show "playing" over silence.
void SpeechController::StartSpeaking(int offset)
{
    heardPosition_ = offset;
    if (!SpeakFrom(offset)) {
        if (state_ != Stopped)
            Stop();
        return;
    }
    QueueNextRun();
    SetState(SpeakingState());
}

// Every reading starts at the rate and the volume the user chose.
void SpeechController::TuneVoice()
{
    if (voice_) {
        voice_->SetRate(AppSettings.speechRate);
        // The player applies the volume, so that a change is heard at once and glides.
        voice_->SetVolume(static_cast<USHORT>(player_ ? FullVolume : std::clamp(AppSettings.volume, 0, FullVolume)));
    }
    if (player_) {
        player_->SetVolume(AppSettings.volume);
        player_->SetSpeed(AppSettings.speedPercent / 100.0);
    }
}

// The state follows the voice: a call the voice refused leaves it as it was. Without a
// voice there is nothing to refuse.
bool SpeechController::PauseVoice()
{
    const HRESULT result = voice_ ? voice_->Pause() : S_OK;
    if (FAILED(result))
        LogFailure(L"ISpVoice::Pause", static_cast<DWORD>(result));
    if (player_ && SUCCEEDED(result)) {
        player_->Pause();
        playerPaused_ = true;
    }
    return SUCCEEDED(result);
}

bool SpeechController::ResumeVoice()
{
    const HRESULT result = voice_ ? voice_->Resume() : S_OK;
    if (FAILED(result))
        LogFailure(L"ISpVoice::Resume", static_cast<DWORD>(result));
    if (player_ && SUCCEEDED(result)) {
        player_->Resume();
        playerPaused_ = false;
    }
    return SUCCEEDED(result);
}

// Only a purge the voice accepted makes the utterances it held end as purged ones.
bool SpeechController::PurgeVoice()
{
    // The player lets a voice waiting for room write on, and silences what it holds; what
    // the purged utterances still write is dropped until the purge has returned.
    if (player_)
        player_->Drop();
    const HRESULT result = voice_ ? voice_->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr) : S_OK;
    if (player_)
        player_->Keep();
    if (FAILED(result)) {
        LogFailure(L"ISpVoice::Speak purging", static_cast<DWORD>(result));
        return false;
    }
    queue_.purgedEndsOwed += static_cast<int>(queue_.liveStreams.size());
    queue_.liveStreams.clear();
    return true;
}

void SpeechController::OnWordBoundary()
{
    SPVOICESTATUS status{};
    voice_->GetStatus(&status, nullptr);
    // The voice counts from where its utterance began in the text it was given; an
    // export's is the text as it is now, from its start.
    Utterance* utterance = FindUtterance(status.ulCurrentStream);
    const std::shared_ptr<const SpokenText>& text = utterance ? utterance->text : spoken_;
    const TextRange word = utterance ? SpokenWord(*utterance, status.ulInputWordPos, status.ulInputWordLen)
                                     : TextRange{static_cast<int>(status.ulInputWordPos),
                                                 static_cast<int>(status.ulInputWordPos + status.ulInputWordLen)};
    const TextRange told = utterance ? SpokenWord(*utterance, status.ulInputSentPos, status.ulInputSentLen)
                                     : TextRange{static_cast<int>(status.ulInputSentPos),
                                                 static_cast<int>(status.ulInputSentPos + status.ulInputSentLen)};
    ReportWord(utterance, text, word, told);
}

void SpeechController::ReportWord(Utterance* utterance, const std::shared_ptr<const SpokenText>& text,
                                  TextRange word, TextRange told)
{
    lastWord_ = text ? text->ViewRange(word.start, word.end) : word;
    if (text == spoken_)
        heardPosition_ = word.start;
    // The word's status line then shows the language it is read in.
    if (utterance && !utterance->reached) {
        utterance->reached = true;
        listener_.OnLanguageReached(utterance->language, utterance->withoutVoice);
    }
    listener_.OnSpokenWord(lastWord_, SentenceOf(told, text, word.start));
}

// The voice's own sentence where it tells one that holds the word (told, in the spoken
// text), so that the mark moves as the voice reads and skips; else the sentence by the
// program's own rule.
TextRange SpeechController::SentenceOf(TextRange told, const std::shared_ptr<const SpokenText>& text, int start)
{
    if (!text)
        return {};
    if (told.end > told.start && start >= told.start && start < told.end)
        return text->ViewRange(told.start, told.end, SpokenText::Reach::Sentence);
    if (sentenceText_ != text || start < foundSentence_.start || start >= foundSentence_.end) {
        const std::wstring& spoken = text->Text();
        const int length = static_cast<int>(spoken.size());
        const int at = std::clamp(start, 0, length);
        foundSentence_ = {SentenceStartBefore(spoken.c_str(), at), SentenceEndAfter(spoken.c_str(), length, at)};
        sentenceText_ = text;
    }
    return text->ViewRange(foundSentence_.start, foundSentence_.end, SpokenText::Reach::Sentence);
}

void SpeechController::OnEndOfInput(ULONG stream)
{
    if (TakeEndOfStream(stream)) {
        // Purged utterances end before anything queued after them.
        queue_.purgedEndsOwed = 0;
        // The reading goes on with its next run (or, when the voice refused to purge, with
        // the reading queued behind it).
        if (HasLiveUtterance()) {
            QueueNextRun();
            return;
        }
    } else if (HasLiveUtterance()) {
        // Only a purged utterance ended; the reading queued after it goes on.
        if (state_ == PendingPlay && queue_.purgedEndsOwed == 0)
            state_ = Playing;
        return;
    } else if (state_ == Playing || state_ == PendingPlay) {
        // Nothing is left to read, so there is nothing to read again either.
        Stop();
        return;
    }
    // The head of a long copy is read; the rest follows once it is prepared.
    if (awaitingRest_ && state_ != Stopped)
        return;
    // The end of the text, or of a reading stopped or replaced while paused.
    if (!AppSettings.repeatReading) {
        Stop();
        listener_.OnReadingEnd(lastWord_.end);
        // The caption shows the line of the caret, which has just moved.
        listener_.OnStatusChange();
    } else if (state_ != Stopped) {
        listener_.OnReadingEnd(0);
        const bool wasReading = state_ != Paused;
        Stop();
        if (wasReading)
            Play();
    }
}

void SpeechController::Play()
{
    PlayFrom(std::exchange(startPoint_, 0));
}

int SpeechController::SpokenPosition(int viewOffset) const
{
    return spoken_ ? spoken_->SpokenPosition(viewOffset) : 0;
}

void SpeechController::PlayFrom(int offset)
{
    TuneVoice();
    if (state_ == Paused && !HasLiveUtterance()) {
        // New text came while paused: the paused reading was purged, so resuming
        // alone would read nothing.
        if (ResumeVoice())
            StartSpeaking(SpokenPosition(offset));
    } else if (state_ == Stopped || state_ == PendingPlay) {
        StartSpeaking(SpokenPosition(offset));
    } else if (state_ == Paused) {
        if (ResumeVoice())
            SetState(Playing);
    }
}

void SpeechController::PauseResume()
{
    if (state_ == Paused && !HasLiveUtterance()) {
        Play();
    } else if (state_ == Paused) {
        if (ResumeVoice())
            SetState(Playing);
    } else if (state_ == Playing || state_ == PendingPlay) {
        // What was heard up to the pause is shown with it, not a moment after: the events
        // the voice raised before it are taken first, and what of them was heard. (The
        // end of the text may be among them.)
        if (player_) {
            HandleVoiceEvents();
            TakeHeardEvents();
        }
        if ((state_ == Playing || state_ == PendingPlay) && PauseVoice())
            SetState(Paused);
    }
}

void SpeechController::Stop()
{
    awaitingRest_ = false;
    // A paused voice would stay paused under the purge and swallow the next Speak.
    if (state_ == Paused && voice_ && ResumeVoice())
        state_ = Playing;
    if (PurgeVoice())
        state_ = Stopped;
    listener_.OnStatusChange();
}

void SpeechController::PlayStop()
{
    if (state_ == Stopped)
        Play();
    else
        Stop();
}

void SpeechController::PlayPause()
{
    if (state_ == Stopped)
        Play();
    else if (state_ == Playing || state_ == Paused)
        PauseResume();
}

bool SpeechController::BeginNewText(bool readAnyway)
{
    awaitingRest_ = false;
    startPoint_ = 0;
    const bool readIt = state_ != Paused && (readAnyway || AppSettings.autoPlay || state_ != Stopped);
    // Paused, the text waits: the voice is resumed only so that the purge takes
    // effect, and the purged reading's end then stops the program.
    if (state_ == Paused && voice_)
        ResumeVoice();
    PurgeVoice();
    return readIt;
}

void SpeechController::ReadNewText(int offset, bool restToCome)
{
    TuneVoice();
    StartSpeaking(SpokenPosition(offset));
    awaitingRest_ = restToCome && state_ != Stopped;
}

void SpeechController::ReadRestOfText(int offset)
{
    const bool awaited = std::exchange(awaitingRest_, false);
    if (state_ == Stopped || !voice_)
        return;
    if (!awaited || offset < 0) {
        SpokenTextChanged();
        return;
    }
    if (HasLiveUtterance())
        SpeakFrom(SpokenPosition(offset));
    else if (state_ != Paused)
        StartSpeaking(SpokenPosition(offset));
}

void SpeechController::StepSentence(int direction)
{
    if ((state_ != Playing && state_ != PendingPlay) || !voice_)
        return;
    if (player_) {
        StepFromHeardWord(direction);
        return;
    }
    if (direction < 0 && StepBackAcrossRuns())
        return;
    // Forward from a run's last sentence, the voice ends the run and the next one begins.
    if (const HRESULT result = voice_->Skip(L"Sentence", direction, nullptr); FAILED(result))
        LogFailure(L"ISpVoice::Skip", static_cast<DWORD>(result));
}

// The voice skips only within what it was given; the sentence before a run's first one
// is read anew from where it starts.
bool SpeechController::StepBackAcrossRuns()
{
    SPVOICESTATUS status{};
    if (FAILED(voice_->GetStatus(&status, nullptr)))
        return false;
    const Utterance* reading = FindUtterance(status.ulCurrentStream);
    if (!reading || reading->offset == 0 || reading->text != spoken_)
        return false;
    const wchar_t* text = spoken_->Text().c_str();
    const int word = SpokenWord(*reading, status.ulInputWordPos, 0).start;
    if (word >= reading->end || SentenceStartBefore(text, word) > reading->offset)
        return false;
    const int previous = SentenceStartBefore(text, reading->offset - 1);
    if (PurgeVoice())
        StartSpeaking(previous);
    return true;
}

void SpeechController::RateChanged()
{
    if (voice_)
        voice_->SetRate(AppSettings.speechRate);
}

void SpeechController::SpeedChanged()
{
    if (player_)
        player_->SetSpeed(AppSettings.speedPercent / 100.0);
}

void SpeechController::HandleVoiceEvents()
{
    SPEVENT event{};
    while (voice_ && voice_->GetEvents(1, &event, nullptr) == S_OK) {
        if (player_) {
            MarkRendered(event);
            ReleaseEventParameter(event);
            continue;
        }
        switch (event.eEventId) {
        case SPEI_WORD_BOUNDARY:
            OnWordBoundary();
            break;
        case SPEI_END_INPUT_STREAM:
            OnEndOfInput(event.ulStreamNum);
            break;
        default:
            break;
        }
        ReleaseEventParameter(event);
    }
}

void SpeechController::OnTimer()
{
    // A voice that never reports the end of a purged utterance must not keep the
    // program pending; from now on every end is taken by its stream alone.
    if (state_ == PendingPlay) {
        state_ = Playing;
        queue_.purgedEndsOwed = 0;
    }
}

void SpeechController::StartAtSentenceOf(int viewOffset)
{
    if (state_ == Playing || state_ == PendingPlay || !spoken_)
        return;
    // Speaking from the sentence's own position, rather than skipping a number of
    // sentences, lands right whatever the voice takes for a sentence end ("3.14",
    // "e.g.", "...").
    StartOver(SentenceStartBefore(spoken_->Text().c_str(), SpokenPosition(std::max(0, viewOffset))));
}

void SpeechController::StartAtWordOf(int viewOffset)
{
    if (state_ == Playing || state_ == PendingPlay || !spoken_)
        return;
    // A click on text the voice does not hear lands on what it hears next, one on a
    // stretch said otherwise on the start of what is said for it.
    const int start = spoken_->WordStartFrom(SpokenPosition(std::max(0, viewOffset)));
    if (start >= static_cast<int>(spoken_->Text().size()))
        return;
    StartOver(start);
}

void SpeechController::StartOver(int offset)
{
    TuneVoice();
    // A paused voice would keep the purged reading and swallow the new one.
    if (state_ == Paused) {
        if (!ResumeVoice())
            return;
        PurgeVoice();
    }
    StartSpeaking(offset);
}

void SpeechController::VoicesChanged()
{
    if (state_ == Playing || state_ == PendingPlay)
        TuneVoice();
    SpokenTextChanged();
}

void SpeechController::SpokenTextChanged()
{
    if (state_ != Playing && state_ != PendingPlay)
        return;
    if (PurgeVoice())
        StartSpeaking(SpokenPosition(lastWord_.start));
}
