#include "speech/speech_controller.h"
#include "speech/voice_engine.h"
#include "speech/text_prep.h"
#include "speech/text_view.h"
#include "speech/display.h"
#include "speech/status_report.h"
#include "settings/app_settings.h"
#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

SpeechState speechState = Stopped;
int lastWordEnd = 0;

namespace {

// What the voice still holds. Every utterance ends with an end-of-input event, the
// purged ones too, and in the order they were queued; the stream number tells a
// purged utterance's end from the end of the one being read.
struct VoiceQueue {
    std::vector<ULONG> liveStreams;   // spoken and neither purged nor ended
    int purgedEndsOwed = 0;
    // Where each of our unfinished utterances begins in SpeechText, purged ones too:
    // their last words may still be reported.
    std::vector<std::pair<ULONG, int>> offsets;
};
VoiceQueue voiceQueue;

bool HasLiveUtterance()
{
    return !voiceQueue.liveStreams.empty();
}

// Playing, or PendingPlay while the end of a purged utterance is still to come, so
// that this end is not taken for the end of the text being read.
SpeechState SpeakingState()
{
    return voiceQueue.purgedEndsOwed > 0 ? PendingPlay : Playing;
}

// Takes the end event of a stream off the queue; false when it was a purged one's.
bool TakeEndOfStream(ULONG stream)
{
    auto& offsets = voiceQueue.offsets;
    offsets.erase(std::remove_if(offsets.begin(), offsets.end(), [&](const auto& o) { return o.first == stream; }),
                  offsets.end());
    auto& live = voiceQueue.liveStreams;
    const auto found = std::find(live.begin(), live.end(), stream);
    if (found != live.end()) {
        live.erase(found);
        return true;
    }
    if (voiceQueue.purgedEndsOwed > 0)
        --voiceQueue.purgedEndsOwed;
    return false;
}

// The one place where the text goes to the voice. The voice reports positions in
// what it was given, so the offset is remembered to map them back onto SpeechText.
bool SpeakSpeechTextFrom(int offset)
{
    if (!voiceEngine || !SpeechTextPrepared())
        return false;
    const std::wstring& text = SpeechText();
    offset = std::clamp(offset, 0, static_cast<int>(text.size()));
    ULONG stream = 0;
    if (FAILED(voiceEngine->Speak(text.c_str() + offset, SpeakTextFlags, &stream)))
        return false;
    voiceQueue.liveStreams.push_back(stream);
    voiceQueue.offsets.emplace_back(stream, offset);
    return true;
}

// Reads from offset on: the state becomes playing and the menu says so. With nothing
// to read the program stops rather than show "playing" over silence.
void StartSpeaking(int offset)
{
    if (!SpeakSpeechTextFrom(offset)) {
        if (speechState != Stopped)
            Stop();
        return;
    }
    speechState = SpeakingState();
    ReportStatusChange();
}

// Every reading starts at the rate the user chose, at full volume.
void TuneVoice()
{
    if (voiceEngine) {
        voiceEngine->SetRate(AppSettings.speechRate);
        voiceEngine->SetVolume(100);
    }
}

void Skip(int sentences)
{
    if (voiceEngine)
        voiceEngine->Skip(L"Sentence", sentences, nullptr);
}

void OnEndOfInput(ULONG stream)
{
    if (TakeEndOfStream(stream)) {
        // Purged utterances end before anything queued after them.
        voiceQueue.purgedEndsOwed = 0;
    } else if (HasLiveUtterance()) {
        // Only a purged utterance ended; the reading queued after it goes on.
        if (speechState == PendingPlay && voiceQueue.purgedEndsOwed == 0)
            speechState = Playing;
        return;
    } else if (speechState == Playing || speechState == PendingPlay) {
        // Nothing is left to read, so there is nothing to read again either.
        Stop();
        return;
    }
    // The end of the text, or of a reading stopped or replaced while paused.
    if (!AppSettings.repeatReading) {
        Stop();
        TextViewSelect(lastWordEnd, lastWordEnd);
        // The caption shows the line of the caret, which has just moved.
        ReportStatusChange();
    } else if (speechState != Stopped) {
        TextViewSelect(0, 0);
        const bool wasReading = speechState != Paused;
        Stop();
        if (wasReading)
            Play();
    }
}

} // namespace

void PurgeVoice()
{
    if (!voiceEngine)
        return;
    voiceEngine->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
    voiceQueue.purgedEndsOwed += static_cast<int>(voiceQueue.liveStreams.size());
    voiceQueue.liveStreams.clear();
}

void ForgetVoiceQueue()
{
    voiceQueue = VoiceQueue{};
}

int SpokenTextOffset(ULONG stream)
{
    for (const auto& [number, offset] : voiceQueue.offsets)
        if (number == stream)
            return offset;
    return 0;   // not read by us (an export), or from the start
}

void Play()
{
    PlayFrom(0);
}

void PlayFrom(int offset)
{
    TuneVoice();
    if (speechState == Paused && !HasLiveUtterance()) {
        // New text came while paused: the paused reading was purged, so resuming
        // alone would read nothing.
        if (voiceEngine)
            voiceEngine->Resume();
        StartSpeaking(offset);
    } else if (speechState == Stopped || speechState == PendingPlay) {
        StartSpeaking(offset);
    } else if (speechState == Paused) {
        speechState = Playing;
        if (voiceEngine)
            voiceEngine->Resume();
        ReportStatusChange();
    }
}

void PauseResume()
{
    if (speechState == Paused && !HasLiveUtterance()) {
        Play();
    } else if (speechState == Paused) {
        speechState = Playing;
        if (voiceEngine)
            voiceEngine->Resume();
        ReportStatusChange();
    } else if (speechState == Playing || speechState == PendingPlay) {
        speechState = Paused;
        if (voiceEngine)
            voiceEngine->Pause();
        ReportStatusChange();
    }
}

void Stop()
{
    // A paused voice would stay paused under the purge and swallow the next Speak.
    if (speechState == Paused && voiceEngine)
        voiceEngine->Resume();
    PurgeVoice();
    speechState = Stopped;
    ReportStatusChange();
}

void PlayStop()
{
    if (speechState == Stopped)
        Play();
    else
        Stop();
}

void PlayPause()
{
    if (speechState == Stopped)
        Play();
    else if (speechState == Playing || speechState == Paused)
        PauseResume();
}

bool BeginNewText()
{
    const bool readIt = speechState != Paused && (AppSettings.autoPlay || speechState != Stopped);
    // Paused, the text waits: the voice is resumed only so that the purge takes
    // effect, and the purged reading's end then stops the program.
    if (speechState == Paused && voiceEngine)
        voiceEngine->Resume();
    PurgeVoice();
    return readIt;
}

void ReadNewText(int offset)
{
    TuneVoice();
    StartSpeaking(offset);
}

void StepSentence(int direction)
{
    if (speechState == Playing || speechState == PendingPlay)
        Skip(direction);
}

void ChangeRate(int delta)
{
    AppSettings.speechRate = std::clamp(AppSettings.speechRate + delta, -10, 10);
    if (voiceEngine)
        voiceEngine->SetRate(AppSettings.speechRate);
}

void HandleVoiceEvents()
{
    if (!voiceEngine)
        return;
    SPEVENT event{};
    while (voiceEngine && voiceEngine->GetEvents(1, &event, nullptr) == S_OK) {
        switch (event.eEventId) {
        case SPEI_WORD_BOUNDARY:
            lastWordEnd = HighlightSpokenWord();
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

void OnSpeechTimer()
{
    // A voice that never reports the end of a purged utterance must not keep the
    // program pending; from now on every end is taken by its stream alone.
    if (speechState == PendingPlay) {
        speechState = Playing;
        voiceQueue.purgedEndsOwed = 0;
    }
}

void StartAtFirstVisibleLine()
{
    if (speechState == Playing || speechState == PendingPlay || !SpeechTextPrepared())
        return;
    // Speaking from the sentence's own position, rather than skipping a number of
    // sentences, lands right whatever the voice takes for a sentence end ("3.14",
    // "e.g.", "...").
    const int firstVisibleChar = std::max(0, TextViewLineIndex(TextViewFirstVisibleLine()));
    const int start = SentenceStartBefore(SpeechText().c_str(), firstVisibleChar);
    TuneVoice();
    if (speechState == Paused) {
        // A paused voice would keep the purged reading and swallow the new one.
        if (voiceEngine)
            voiceEngine->Resume();
        PurgeVoice();
    }
    StartSpeaking(start);
}
