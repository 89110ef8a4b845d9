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
#include "platform/language_id.h"
#include "hearing/spoken_text.h"
#include "voice/voice_runs.h"

class AudioPlayer;
struct VoiceMark;

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
    virtual void OnSpokenWord(TextRange word, TextRange sentence) = 0;
    // What the status line shows may have changed; line is the zero-based line it is to
    // show, or -1 for the line of the selection.
    virtual void OnStatusChange(int line = -1) = 0;
    // The voice is about to speak the first word of a run of the text in that language
    // (NoLanguage: not known); withoutVoice: no voice of the language is installed, and
    // the chosen one reads it.
    virtual void OnLanguageReached(LanguageId language, bool withoutVoice) = 0;
    // The reading ended at the end of the text (read again or not): the caret belongs at
    // caret of the view.
    virtual void OnReadingEnd(int caret) = 0;

protected:
    ~SpeechListener() = default;
};

class SpeechController {
public:
    // Reads each run of the spoken text with the voice runs gives it, and tells listener
    // what it reached.
    SpeechController(SpeechListener& listener, VoiceRuns& runs);
    SpeechController(const SpeechController&) = delete;
    SpeechController& operator=(const SpeechController&) = delete;

    // The voice that reads from now on, or none; nothing the previous one held will
    // report again.
    void UseVoice(ComPtr<ISpVoice> voice);
    ISpVoice* Voice() const { return voice_.Get(); }
    // The program's player the voice renders into, or none: the voice then speaks to
    // its device, and what it reports is taken as heard when it comes.
    void UsePlayer(std::shared_ptr<AudioPlayer> player);
    // What the voice hears from now on (null: nothing to read); a reading going on goes
    // on with what it was given until SpokenTextChanged.
    void UseText(std::shared_ptr<const SpokenText> spoken) { spoken_ = std::move(spoken); }
    SpeechState State() const { return state_; }

    // Starts a reading at the start point, if one is set, else at the text's start.
    void Play();
    // Where the next Play starts, once (a text taken back from the history); new text
    // clears it.
    void SetStartPoint(int viewOffset) { startPoint_ = viewOffset; }
    // Play, starting a new reading at offset in the view.
    void PlayFrom(int offset);
    void PauseResume();
    void Stop();
    void PlayStop();                  // Play in Stopped, Stop otherwise
    void PlayPause();                 // Play in Stopped, pause/resume in Playing or Paused
    // New text is in the view: drops what the voice holds and tells whether the text is
    // to be read, by the state and `autoPlay` (or, with readAnyway, also when auto play
    // is off). After preparing it, ReadNewText reads it from offset in the view, where
    // the new part begins.
    bool BeginNewText(bool readAnyway = false);
    // restToCome: what was given is only the head of a long copy, read while the rest
    // is prepared; its end waits for ReadRestOfText rather than end the reading.
    void ReadNewText(int offset, bool restToCome = false);
    // The whole copy is now the spoken text: the reading goes on from offset in the view
    // (where the head ended) behind what the voice has of the head, or, with -1 (the
    // whole did not begin as the head did), from the word it has reached.
    void ReadRestOfText(int offset);
    void StepSentence(int direction); // +1 or -1, only while playing
    // The rate of the settings changed: a reading going on takes it at once.
    void RateChanged();
    // The speed of the settings changed: the audio still to be heard takes it at once.
    void SpeedChanged();
    void HandleVoiceEvents();
    // The player heard what the voice reported at an audio offset. Paused, it waits: a
    // word the voice told of late is shown with the resume, not during the pause.
    void HandleHeardEvents();
    void OnTimer();
    // Ctrl+click: start at the sentence that holds viewOffset (the first visible line's
    // start), unless a reading goes on.
    void StartAtSentenceOf(int viewOffset);
    // Shift+click: start at the word that holds viewOffset (the clicked character), or
    // the next one after a blank, unless a reading goes on or no word follows.
    void StartAtWordOf(int viewOffset);
    // The spoken text was derived anew, or the voices or the volume changed: a reading
    // going on goes on with them, from the word it has reached. A paused one keeps what
    // it was given.
    void SpokenTextChanged();
    void VoicesChanged();

private:
    // What the voice still holds. Every utterance ends with an end-of-input event, the
    // purged ones too, and in the order they were queued; the stream number tells a
    // purged utterance's end from the end of the one being read.
    // One of our unfinished utterances, purged ones too: their last words may still be
    // reported, in positions of the text they were given from where they began.
    struct Utterance {
        ULONG stream;
        int offset;
        int end;
        std::shared_ptr<const SpokenText> text;
        LanguageId language;
        bool withoutVoice;
        // The markup the text went to the voice in, whose positions the voice reports;
        // null for plain text.
        std::shared_ptr<const SpokenText> markup;
        bool reached = false;   // its first word has been reported
        // With the program's player, what the voice told of it as it rendered it: the
        // sentence it last began and where its sound begins, whether words were told
        // in that sentence or at all.
        struct Rendered {
            uint64_t start = 0;
            bool sentenceOpen = false;
            LPARAM sentencePos = 0;
            WPARAM sentenceLen = 0;
            uint64_t sentenceStart = 0;
            bool wordsInSentence = false;
            bool anyWord = false;
        } rendered;
        // The sentence last heard, as the voice told it.
        LPARAM heardSentencePos = 0;
        WPARAM heardSentenceLen = 0;
    };
    // The spoken text's range of the word at the utterance's position, of that length.
    static TextRange SpokenWord(const Utterance& utterance, ULONG position, ULONG length);
    struct VoiceQueue {
        std::vector<ULONG> liveStreams;   // spoken and neither purged nor ended
        int purgedEndsOwed = 0;
        std::vector<Utterance> utterances;
    };

    bool HasLiveUtterance() const { return !queue_.liveStreams.empty(); }
    SpeechState SpeakingState() const;
    bool TakeEndOfStream(ULONG stream);
    Utterance* FindUtterance(ULONG stream);
    // Where the voice is to start for a view position.
    int SpokenPosition(int viewOffset) const;
    bool SpeakFrom(int offset);
    bool UseRunVoice(const ComPtr<ISpObjectToken>& token);
    // Keeps the next run queued behind the one being read, so the voice goes on at once.
    void QueueNextRun();
    // Left from a run's first sentence: the sentence before it is in the run before.
    bool StepBackAcrossRuns();
    void StartSpeaking(int offset);
    // A reading the user started at offset of the spoken text, from any state but playing.
    void StartOver(int offset);
    void TuneVoice();
    bool PauseVoice();
    bool ResumeVoice();
    bool PurgeVoice();
    void SetState(SpeechState state);
    void OnWordBoundary();
    // The word the voice told of is heard: the view shows it, in its sentence.
    void ReportWord(Utterance* utterance, const std::shared_ptr<const SpokenText>& text, TextRange word,
                    TextRange told);
    // With the player: what the voice reports as it renders waits to be heard; a voice
    // that tells of no words has them timed by their lengths.
    void MarkRendered(const SPEVENT& event);
    void MarkEstimatedWords(const Utterance& utterance, int from, int to, uint64_t start, uint64_t end);
    void TakeHeardEvents();
    void OnWordHeard(const VoiceMark& mark);
    // With the player, a step goes from the word heard, not from where the voice has
    // rendered to.
    void StepFromHeardWord(int direction);
    // The view range of the sentence that holds the spoken word at start of text; told:
    // the sentence the voice reports, in the spoken text.
    TextRange SentenceOf(TextRange told, const std::shared_ptr<const SpokenText>& text, int start);
    void OnEndOfInput(ULONG stream);

    std::shared_ptr<const SpokenText> spoken_;
    SpeechListener& listener_;
    VoiceRuns& runs_;
    ComPtr<ISpVoice> voice_;
    // The token last handed to SetVoice: what the voice reads the next Speak with. Null
    // while the engine reads with its own.
    ComPtr<ISpObjectToken> voiceToken_;
    SpeechState state_ = Stopped;
    TextRange lastWord_;   // in the view
    // The last sentence found by the program's own rule, in the spoken text it was
    // found in: the words of one sentence need it found once.
    std::shared_ptr<const SpokenText> sentenceText_;
    TextRange foundSentence_;
    VoiceQueue queue_;
    std::shared_ptr<AudioPlayer> player_;
    // Where in the spoken text the word last heard begins (or the reading started).
    int heardPosition_ = 0;
    int startPoint_ = 0;
    // The player is paused: what it heard before the pause waits for the resume.
    bool playerPaused_ = false;
    // Reading the head of a copy whose rest is still being prepared.
    bool awaitingRest_ = false;
};
