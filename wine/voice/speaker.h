#pragma once
// The voice's speaking thread: the queue of utterances, spoken word by word on a
// thread of its own, with eSpeak NG through the native speech helper a sentence at a
// time, or without it a tone for every word. A helper that goes, or that breaks the
// protocol, is replaced by a new one for the next sentence.
//
// One mutex guards the speaking state. The thread waits on `work_` and holds the
// mutex except while it renders audio or talks to the helper; callers wait on `idle_`
// for utterances to finish. The thread never waits for a caller's thread, so no order
// of calls from the user-interface thread can deadlock it. The events have a lock of
// their own, taken inside this one and never the other way round.
#include "audio_output.h"
#include "com_ptr.h"
#include "helper_link.h"
#include "pcm_convert.h"
#include "platform/scoped_handle.h"
#include "playback.h"
#include "utterance.h"
#include "voice_events.h"
#include <sapi.h>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

constexpr USHORT kMaxVolume = 100;

class Speaker {
public:
    // Events go to `events`, which outlives the speaker.
    explicit Speaker(VoiceEvents& events);
    // Ends the thread: nothing is announced after it.
    ~Speaker();
    Speaker(const Speaker&) = delete;
    Speaker& operator=(const Speaker&) = delete;

    // Before Start: true when eSpeak NG speaks, false when tones do.
    bool StartHelper();
    // Starts the thread; real-time output is prepared for `deviceFormat`.
    HRESULT Start(const WAVEFORMATEX& deviceFormat);

    // Where the next utterance goes; the previous output is let go of outside the lock.
    void UseOutput(ComPtr<IStandInOutput> output, ComPtr<ISpStreamFormat> stream);
    ComPtr<ISpStreamFormat> OutputStream();

    // Drops what is queued or speaking when asked, then queues `text` (if any) as
    // `stream`, spoken by `voice`, waiting until it has been spoken when asked.
    HRESULT Speak(std::optional<std::wstring> text, const SpeakingVoice& voice, bool purgeFirst, bool wait,
                  ULONG& stream);
    void Pause();
    void Resume();
    // Moves by `items` sentences from the current one; the number moved over.
    ULONG SkipSentences(long items);
    void SetRate(long rate);
    long Rate();
    void SetVolume(USHORT volume);
    USHORT Volume();
    // True once nothing is queued, false when the time ran out first.
    bool WaitUntilDone(ULONG milliseconds);
    void GetStatus(SPVOICESTATUS& status);
    // Set while nothing is queued.
    HANDLE DoneEvent() const { return doneEvent_.get(); }

private:
    // What the speaking of one utterance through the helper passes around.
    struct Rendering;
    struct SentenceRun;
    struct Delivery;
    enum class Turn { Listen, Again, Finished };

    // The thread and its utterances (speaker.cpp).
    void Run();
    Utterance* ActiveUtterance();
    void Divide(Utterance& u);
    void PurgeLocked(std::unique_lock<std::mutex>& lock);
    void Raise(SPEVENTENUM id, const Utterance& u, WPARAM wParam, LPARAM lParam,
               SPEVENTLPARAMTYPE type = SPET_LPARAM_IS_UNDEFINED);
    void BeginUtterance(const Utterance& u);
    void EndUtterance(const Utterance& u);
    bool Interrupted(const Utterance& u, unsigned jumps) const;
    void AnnounceWord(Utterance& u, size_t index);

    // Tones (speaker.cpp).
    void SpeakWords(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output);
    void WaitOutWord(std::unique_lock<std::mutex>& lock, const Utterance& u, double seconds,
                     const WAVEFORMATEX& format);
    void RenderWord(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output,
                    const WAVEFORMATEX& format, double seconds, std::wstring_view word);

    // eSpeak NG through the helper (speaker_espeak.cpp).
    void SpeakThroughHelper(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output);
    void WaitUntilHeard(std::unique_lock<std::mutex>& lock, const Utterance& u, unsigned jumps, uint64_t frames);
    HelperLink::Step PrepareHelper(std::unique_lock<std::mutex>& lock, const Utterance& u);
    bool SpeakSentence(std::unique_lock<std::mutex>& lock, Utterance& u, Rendering& r);
    bool CancelSentence(std::unique_lock<std::mutex>& lock, const SentenceRun& s, const Rendering& r);
    Turn NextTurn(std::unique_lock<std::mutex>& lock, Utterance& u, SentenceRun& s, const Rendering& r);
    bool Listen(std::unique_lock<std::mutex>& lock, Utterance& u, SentenceRun& s, Rendering& r);
    void Receive(SentenceRun& s, const Rendering& r, unsigned volume, Delivery& d);
    void Take(Utterance& u, SentenceRun& s, Rendering& r, const Delivery& d);
    void AnnounceReached(Utterance& u, SentenceRun& s, const WAVEFORMATEX& format, uint64_t frame);

    VoiceEvents& events_;
    const unsigned wordsPerMinute_;

    std::mutex mu_;
    std::condition_variable work_;
    std::condition_variable idle_;
    std::thread worker_;
    bool shutdown_ = false;

    std::deque<std::unique_ptr<Utterance>> queue_;
    ULONG lastStream_ = 0;
    ULONG finishedThrough_ = 0;
    unsigned pauseCount_ = 0;
    long rate_ = 0;
    USHORT volume_ = kMaxVolume;
    KernelHandle doneEvent_;
    WAVEFORMATEX deviceFormat_{};
    ComPtr<IStandInOutput> output_;
    ComPtr<ISpStreamFormat> outputStream_;

    // What GetStatus reports.
    ULONG currentStream_ = 0;
    ULONG wordPos_ = 0, wordLen_ = 0, sentencePos_ = 0, sentenceLen_ = 0;
    HRESULT lastResult_ = S_OK;
    // The events' audio offset: where the utterance's audio starts in the output, and
    // how far into the utterance's audio.
    ULONGLONG offsetBase_ = 0;
    ULONGLONG audioOffset_ = 0;

    // Used by the speaking thread only.
    std::vector<uint8_t> renderBuffer_;
    HelperLink link_;
    SampleConverter converter_;
    std::vector<uint8_t> audioBuffer_;
    Playback playback_;
};
