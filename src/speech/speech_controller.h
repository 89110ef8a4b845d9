#pragma once
// The speech controller: the only code that starts, pauses, resumes and stops the
// voice. It hands each spoken word, and every change the status line may show, to the
// listener it was made with.
#include <windows.h>
#include <sapi.h>
#include <memory>
#include <utility>
#include <vector>
#include "platform/com_ptr.h"
#include "speech/spoken_text.h"
#include "speech/text_view.h"

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
    // The voice reached a word: [start, end) of the view, in the sentence [start, end).
    virtual void OnSpokenWord(WordRange word, WordRange sentence) = 0;
    // What the status line shows may have changed; line is the zero-based line it is to
    // show, or -1 for the line of the selection.
    virtual void OnStatusChange(int line = -1) = 0;

protected:
    ~SpeechListener() = default;
};

class SpeechController {
public:
    // Reads the spoken text (null: nothing to read) of the text in view; the caret is
    // moved in view as a reading ends.
    SpeechController(TextView& view, const std::shared_ptr<const SpokenText>& spoken, SpeechListener& listener);
    SpeechController(const SpeechController&) = delete;
    SpeechController& operator=(const SpeechController&) = delete;

    // The voice that reads from now on, or none; nothing the previous one held will
    // report again.
    void UseVoice(ComPtr<ISpVoice> voice);
    ISpVoice* Voice() const { return voice_.Get(); }
    SpeechState State() const { return state_; }

    void Play();
    // Play, starting a new reading at offset in the view.
    void PlayFrom(int offset);
    void PauseResume();
    void Stop();
    void PlayStop();                  // Play in Stopped, Stop otherwise
    void PlayPause();                 // Play in Stopped, pause/resume in Playing or Paused
    // New text is in the view: drops what the voice holds and tells whether the text is
    // to be read, by the state and `autoPlay`. After preparing it, ReadNewText reads it
    // from offset in the view, where the new part begins.
    bool BeginNewText();
    void ReadNewText(int offset);
    void StepSentence(int direction); // +1 or -1, only while playing
    void ChangeRate(int delta);       // clamps at -10 and 10
    void HandleVoiceEvents();
    void OnTimer();
    // Ctrl+click: start at the sentence that begins the first visible line.
    void StartAtFirstVisibleLine();
    // The spoken text was derived anew: a reading going on goes on with it, from the
    // word it has reached. A paused one keeps what it was given.
    void SpokenTextChanged();

private:
    // What the voice still holds. Every utterance ends with an end-of-input event, the
    // purged ones too, and in the order they were queued; the stream number tells a
    // purged utterance's end from the end of the one being read.
    // One of our unfinished utterances, purged ones too: their last words may still be
    // reported, in positions of the text they were given from where they began.
    struct Utterance {
        ULONG stream;
        int offset;
        std::shared_ptr<const SpokenText> text;
    };
    struct VoiceQueue {
        std::vector<ULONG> liveStreams;   // spoken and neither purged nor ended
        int purgedEndsOwed = 0;
        std::vector<Utterance> utterances;
    };

    bool HasLiveUtterance() const { return !queue_.liveStreams.empty(); }
    SpeechState SpeakingState() const;
    bool TakeEndOfStream(ULONG stream);
    const Utterance* FindUtterance(ULONG stream) const;
    // Where the voice is to start for a view position.
    int SpokenPosition(int viewOffset) const;
    bool SpeakFrom(int offset);
    void StartSpeaking(int offset);
    void TuneVoice();
    bool PauseVoice();
    bool ResumeVoice();
    bool PurgeVoice();
    void SetState(SpeechState state);
    void OnWordBoundary();
    // The view range of the sentence that holds the spoken word [start, end) of text.
    WordRange SentenceOf(const SPVOICESTATUS& status, int utteranceOffset,
                         const std::shared_ptr<const SpokenText>& text, int start);
    void OnEndOfInput(ULONG stream);

    TextView& view_;
    const std::shared_ptr<const SpokenText>& spoken_;
    SpeechListener& listener_;
    ComPtr<ISpVoice> voice_;
    SpeechState state_ = Stopped;
    WordRange lastWord_;   // in the view
    // The last sentence found by the program's own rule, in the spoken text it was
    // found in: the words of one sentence need it found once.
    std::shared_ptr<const SpokenText> sentenceText_;
    WordRange foundSentence_;
    VoiceQueue queue_;
};
