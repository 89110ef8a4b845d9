// The speaking thread's speech from eSpeak NG: a sentence at a time through the
// native speech helper, each word announced when its sound is heard (on the device)
// or made (in a stream).
#include "speaker.h"
#include "markup.h"
#include "pace.h"
#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

namespace {

// How far real-time output runs ahead of what is heard: enough to bridge the start of
// the next sentence, little enough that a word's event is never far from its sound.
constexpr uint32_t kPlayAheadDivisor = 4; // a quarter of a second
// While real-time output waits for the sound, how often it looks at the time.
constexpr auto kPlaybackPoll = std::chrono::milliseconds(5);

// A word whose event waits for its sound: to be heard on the device, to be made in
// a stream. `sample` is where the helper said it starts.
struct HeardAt {
    uint64_t frame;
    size_t word;
    uint64_t sample;
};

helper_protocol::WordBody WordOf(const HelperMessage& message)
{
    helper_protocol::WordBody word;
    memcpy(&word, message.body.data(), sizeof word);
    return word;
}

} // namespace

// Real-time output plays the sound; a stream gets it as fast as it is made.
struct Speaker::Rendering {
    IStandInOutput* output;
    WAVEFORMATEX format;
    bool realTime;
    // Frames of this utterance made so far: the audio offset of what comes next.
    uint64_t frames = 0;
};

// One sentence on its way through the helper: the text it was sent and the words
// that wait for their sound.
struct Speaker::SentenceRun {
    size_t first = 0;
    size_t end = 0;
    // The sentence's words joined by single blanks, so that the helper hears only what
    // is spoken and a place in its text leads back to a word of the utterance.
    std::wstring text;
    // Where each word starts in `text`.
    std::vector<uint32_t> starts;
    uint32_t request = 0;
    unsigned jumps = 0;
    uint64_t startFrame = 0;
    // The helper's samples so far.
    uint64_t samples = 0;
    size_t nextToAnnounce = 0;
    std::deque<HeardAt> waiting;
    bool done = false;

    // The rest of the current sentence, from the utterance's next word on.
    void Compose(const Utterance& u)
    {
        first = nextToAnnounce = u.nextWord;
        const uint32_t sentence = u.units.words[first].sentence;
        end = sentence + 1 < u.units.sentences.size() ? u.units.sentences[sentence + 1].firstWord
                                                      : u.units.words.size();
        for (size_t k = first; k < end; ++k) {
            if (k > first)
                text += L' ';
            starts.push_back(static_cast<uint32_t>(text.size()));
            const std::wstring_view word = std::wstring_view(u.text).substr(u.units.words[k].pos, u.units.words[k].len);
            if (u.voice.references)
                text += DecodeReferences(word);
            else
                text += word;
        }
    }

    // Whether a message of this request may come now; the helper's end of the
    // connection has already checked its size.
    bool Fits(const HelperMessage& message) const
    {
        if (message.request != request)
            return false;
        switch (message.kind) {
        case helper_protocol::kWord: {
            const helper_protocol::WordBody word = WordOf(message);
            return uint64_t{word.pos} + word.len <= text.size();
        }
        case helper_protocol::kAudio:
            return true;
        case helper_protocol::kDone:
            return std::all_of(waiting.begin(), waiting.end(), [&](const HeardAt& w) { return w.sample <= samples; });
        default:
            return false;
        }
    }

    // The utterance's word that holds this place of `text`.
    size_t WordAt(uint32_t pos) const
    {
        return first + static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin() - 1);
    }
};

// What one turn brought from the helper, and what became of it.
struct Speaker::Delivery {
    HelperMessage message;
    SpeechHelper::Received got = SpeechHelper::Received::Nothing;
    bool valid = false;
    bool converted = false;
    HRESULT written = S_OK;
};

void Speaker::SpeakThroughHelper(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output)
{
    Rendering r{output, output->AudioFormat(), output->IsRealTime()};
    if (r.realTime)
        playback_.Begin(r.format);
    // Where a helper was last lost in this utterance: a second loss at the same word
    // leaves the rest to tones rather than starting helpers without end.
    size_t lostAt = SIZE_MAX;
    for (;;) {
        if (!r.realTime)
            work_.wait(lock, [&] { return shutdown_ || u.purged || pauseCount_ == 0; });
        if (shutdown_ || u.purged || u.failed || u.nextWord >= u.units.words.size())
            break;
        const HelperLink::Step step = PrepareHelper(lock, u);
        if (step == HelperLink::Step::Pending)
            continue;
        if (step == HelperLink::Step::Ready) {
            if (SpeakSentence(lock, u, r))
                continue;
            link_.Drop();
            if (u.nextWord != lostAt) {
                lostAt = u.nextWord;
                continue;
            }
        }
        // No helper: the rest of the text is spoken in tones.
        if (r.realTime)
            WaitUntilHeard(lock, u, u.jumps, r.frames);
        audioOffset_ = r.frames * r.format.nBlockAlign;
        SpeakWords(lock, u, output);
        return;
    }
    if (r.realTime) {
        // The end event comes when the last sound has been heard.
        if (!Interrupted(u, u.jumps))
            WaitUntilHeard(lock, u, u.jumps, r.frames);
        if (Interrupted(u, u.jumps))
            playback_.Stop();
    }
    audioOffset_ = r.frames * r.format.nBlockAlign;
}

// Waits, pausing and resuming with the voice, until the listener has heard `frames`
// or the utterance is interrupted.
void Speaker::WaitUntilHeard(std::unique_lock<std::mutex>& lock, const Utterance& u, unsigned jumps, uint64_t frames)
{
    for (;;) {
        playback_.SetPaused(pauseCount_ > 0);
        if (Interrupted(u, jumps) || playback_.PlayedFrames() >= frames)
            return;
        work_.wait_for(lock, kPlaybackPoll, [&] { return Interrupted(u, jumps); });
    }
}

// Makes the helper ready for a new request. Every step waits only a moment, with the
// lock released, so that a purge or a skip is never held up by the helper; a start
// under way is taken up again by the next sentence. Pending: interrupted.
HelperLink::Step Speaker::PrepareHelper(std::unique_lock<std::mutex>& lock, const Utterance& u)
{
    const unsigned jumps = u.jumps;
    for (;;) {
        if (Interrupted(u, jumps))
            return HelperLink::Step::Pending;
        lock.unlock();
        const HelperLink::Step step = link_.Prepare();
        lock.lock();
        if (step != HelperLink::Step::Pending)
            return step;
    }
}

// Speaks the rest of the current sentence, from the next word on.
// False when the helper can no longer be reached or has sent what it never sends: a
// message of another request, a word outside the text or beyond the sentence's
// audio. The sentence then goes on from its first word not yet announced, with
// another helper.
bool Speaker::SpeakSentence(std::unique_lock<std::mutex>& lock, Utterance& u, Rendering& r)
{
    SentenceRun s;
    try {
        s.Compose(u);
    } catch (const std::bad_alloc&) {
        lastResult_ = E_OUTOFMEMORY;
        u.failed = true;
        return true;
    }
    s.jumps = u.jumps;
    const uint32_t wordsPerMinute = HelperWordsPerMinute(wordsPerMinute_, rate_);
    lock.unlock();
    const bool sent = link_.SendSpeak(s.request, wordsPerMinute, s.text, u.voice.espeakVoice, u.voice.pitch);
    lock.lock();
    if (!sent)
        return false;
    converter_.Begin(link_.SampleRate(), r.format);
    s.startFrame = r.frames;
    for (;;) {
        if (Interrupted(u, s.jumps))
            return CancelSentence(lock, s, r);
        const Turn turn = NextTurn(lock, u, s, r);
        if (turn == Turn::Finished)
            break;
        if (turn == Turn::Listen && !Listen(lock, u, s, r))
            return false;
    }
    u.nextWord = s.end;
    return true;
}

// Only what is under way is cancelled: after its Done the helper has nothing more of
// this request to stop.
bool Speaker::CancelSentence(std::unique_lock<std::mutex>& lock, const SentenceRun& s, const Rendering& r)
{
    bool reached = true;
    if (!s.done) {
        lock.unlock();
        reached = link_.Cancel(s.request);
        lock.lock();
    }
    if (r.realTime)
        playback_.Stop();
    return reached;
}

// Whether to take the helper's next message now, to look again after a moment (the
// device has enough to play, or the voice is paused), or whether the sentence is over.
Speaker::Turn Speaker::NextTurn(std::unique_lock<std::mutex>& lock, Utterance& u, SentenceRun& s, const Rendering& r)
{
    if (r.realTime) {
        playback_.SetPaused(pauseCount_ > 0);
        const uint64_t heard = playback_.PlayedFrames();
        AnnounceReached(u, s, r.format, heard);
        if (s.done && s.waiting.empty())
            return Turn::Finished;
        const uint64_t playAhead = r.format.nSamplesPerSec / kPlayAheadDivisor;
        if (s.done || playback_.QueuedFrames() >= heard + playAhead) {
            work_.wait_for(lock, kPlaybackPoll, [&] { return Interrupted(u, s.jumps); });
            return Turn::Again;
        }
        return Turn::Listen;
    }
    if (s.done)
        return Turn::Finished;
    if (pauseCount_ > 0) {
        work_.wait(lock, [&] { return Interrupted(u, s.jumps) || pauseCount_ == 0; });
        return Turn::Again;
    }
    return Turn::Listen;
}

// Takes one message from the helper; false when it broke the protocol or went.
bool Speaker::Listen(std::unique_lock<std::mutex>& lock, Utterance& u, SentenceRun& s, Rendering& r)
{
    const unsigned volume = volume_;
    Delivery d;
    lock.unlock();
    Receive(s, r, volume, d);
    lock.lock();
    if (!d.valid) {
        u.nextWord = s.nextToAnnounce;
        if (r.realTime)
            playback_.Stop();
        return false;
    }
    if (d.got == SpeechHelper::Received::Message)
        Take(u, s, r, d);
    return true;
}

// Without the lock: the message, its sound converted to the output's format and, for a
// stream, written.
void Speaker::Receive(SentenceRun& s, const Rendering& r, unsigned volume, Delivery& d)
{
    d.got = link_.Receive(d.message);
    d.valid = d.got == SpeechHelper::Received::Nothing ||
              (d.got == SpeechHelper::Received::Message && s.Fits(d.message));
    if (d.valid && d.got == SpeechHelper::Received::Message) {
        const HelperMessage& message = d.message;
        if (message.kind == helper_protocol::kAudio) {
            s.samples += message.body.size() / 2;
            converter_.Convert(reinterpret_cast<const int16_t*>(message.body.data()), message.body.size() / 2, volume,
                               audioBuffer_);
            d.converted = true;
        } else if (message.kind == helper_protocol::kDone) {
            converter_.Finish(volume, audioBuffer_);
            d.converted = true;
        }
    }
    if (d.converted && !r.realTime && !audioBuffer_.empty())
        d.written = r.output->WriteAudio(audioBuffer_.data(), static_cast<ULONG>(audioBuffer_.size()));
}

// With the lock: a word waits for its sound, the sound goes to the device, and what
// has been made in a stream is announced.
void Speaker::Take(Utterance& u, SentenceRun& s, Rendering& r, const Delivery& d)
{
    if (FAILED(d.written)) {
        // A full disk ends the utterance; the status reports why.
        lastResult_ = d.written;
        u.failed = true;
        return;
    }
    if (d.message.kind == helper_protocol::kWord) {
        const helper_protocol::WordBody word = WordOf(d.message);
        s.waiting.push_back({s.startFrame + converter_.OutputFrameOf(word.sample), s.WordAt(word.pos), word.sample});
        return;
    }
    if (d.converted) {
        if (r.realTime)
            playback_.Queue(audioBuffer_.data(), audioBuffer_.size());
        r.frames += audioBuffer_.size() / r.format.nBlockAlign;
    }
    if (d.message.kind == helper_protocol::kDone) {
        s.done = true;
        // Words the helper said nothing about still get their turn, at the end.
        s.waiting.push_back({r.frames, s.end - 1, 0});
    }
    if (!r.realTime)
        AnnounceReached(u, s, r.format, r.frames);
}

// Announces the words whose sound has been reached; words the helper passed over (a
// lone dash, say) are announced with the next.
void Speaker::AnnounceReached(Utterance& u, SentenceRun& s, const WAVEFORMATEX& format, uint64_t frame)
{
    while (!s.waiting.empty() && s.waiting.front().frame <= frame) {
        audioOffset_ = s.waiting.front().frame * format.nBlockAlign;
        for (; s.nextToAnnounce <= s.waiting.front().word && s.nextToAnnounce < s.end; ++s.nextToAnnounce)
            AnnounceWord(u, s.nextToAnnounce);
        s.waiting.pop_front();
    }
}
