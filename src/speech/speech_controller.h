#pragma once
// The speech controller: the only code that starts, pauses, resumes and stops the
// voice. It hands each spoken word, and every change the status line may show, to the
// listener it was made with.
#include <windows.h>
#include <sapi.h>
#include <utility>
#include <vector>
#include "platform/com_ptr.h"
#include "speech/text_view.h"

class PreparedText;

enum SpeechState : int {
    Stopped = 1,
    Playing = 2,
    Paused = 3,
    // Text was handed to the voice while the end-of-input event of an utterance
    // purged before it is still to come. Counts as playing almost everywhere.
    PendingPlay = 4,
};

class SpeechListener {
public:
    // The voice reached a word: [start, end) of the prepared text.
    virtual void OnSpokenWord(WordRange word) = 0;
    // What the status line shows may have changed; line is the zero-based line it is to
    // show, or -1 for the line of the selection.
    virtual void OnStatusChange(int line = -1) = 0;

protected:
    ~SpeechListener() = default;
};

class SpeechController {
public:
    // Reads text from view; the caret is moved in view as a reading ends.
    SpeechController(TextView& view, const PreparedText& text, SpeechListener& listener);
    SpeechController(const SpeechController&) = delete;
    SpeechController& operator=(const SpeechController&) = delete;

    // The voice that reads from now on, or none; nothing the previous one held will
    // report again.
    void UseVoice(ComPtr<ISpVoice> voice);
    ISpVoice* Voice() const { return voice_.Get(); }
    SpeechState State() const { return state_; }

    void Play();
    // Play, starting a new reading at offset in the prepared text.
    void PlayFrom(int offset);
    void PauseResume();
    void Stop();
    void PlayStop();                  // Play in Stopped, Stop otherwise
    void PlayPause();                 // Play in Stopped, pause/resume in Playing or Paused
    // New text is in the view: drops what the voice holds and tells whether the text is
    // to be read, by the state and `autoPlay`. After preparing it, ReadNewText reads it
    // from offset, where the new part begins.
    bool BeginNewText();
    void ReadNewText(int offset);
    void StepSentence(int direction); // +1 or -1, only while playing
    void ChangeRate(int delta);       // clamps at -10 and 10
    void HandleVoiceEvents();
    void OnTimer();
    // Ctrl+click: start at the sentence that begins the first visible line.
    void StartAtFirstVisibleLine();

private:
    // What the voice still holds. Every utterance ends with an end-of-input event, the
    // purged ones too, and in the order they were queued; the stream number tells a
    // purged utterance's end from the end of the one being read.
    struct VoiceQueue {
        std::vector<ULONG> liveStreams;   // spoken and neither purged nor ended
        int purgedEndsOwed = 0;
        // Where each of our unfinished utterances begins in the prepared text, purged
        // ones too: their last words may still be reported.
        std::vector<std::pair<ULONG, int>> offsets;
    };

    bool HasLiveUtterance() const { return !queue_.liveStreams.empty(); }
    SpeechState SpeakingState() const;
    bool TakeEndOfStream(ULONG stream);
    int SpokenTextOffset(ULONG stream) const;
    bool SpeakFrom(int offset);
    void StartSpeaking(int offset);
    void TuneVoice();
    bool PauseVoice();
    bool ResumeVoice();
    bool PurgeVoice();
    void SetState(SpeechState state);
    void OnWordBoundary();
    void OnEndOfInput(ULONG stream);

    TextView& view_;
    const PreparedText& text_;
    SpeechListener& listener_;
    ComPtr<ISpVoice> voice_;
    SpeechState state_ = Stopped;
    int lastWordEnd_ = 0;
    VoiceQueue queue_;
};
