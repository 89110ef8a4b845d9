#include "speaker.h"
#include "pace.h"
#include "tone.h"
#include "platform/scoped_handle.h"
#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr uint32_t kRenderChunkFrames = 4096;

// Tests that need to know what the voice was given word by word name a file in
// CLIPVOCE_VOICE_WORD_LOG; each word announced is appended to it on a line of its own,
// after a tab the eSpeak NG voice that speaks it.
void LogWord(const std::wstring& word, const std::string& voice)
{
    static const std::wstring path = [] {
        wchar_t text[MAX_PATH];
        const DWORD n = GetEnvironmentVariableW(L"CLIPVOCE_VOICE_WORD_LOG", text, MAX_PATH);
        return n > 0 && n < MAX_PATH ? std::wstring(text, n) : std::wstring();
    }();
    if (path.empty())
        return;
    std::string line(word.size() * 3 + 2, '\0');
    const int length = WideCharToMultiByte(CP_UTF8, 0, word.data(), static_cast<int>(word.size()), line.data(),
                                           static_cast<int>(line.size()), nullptr, nullptr);
    line.resize(static_cast<size_t>(std::max(length, 0)));
    line += '\t' + voice + "\r\n";
    const FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

BoundariesTold BoundariesFromEnvironment()
{
    wchar_t text[16];
    const DWORD n = GetEnvironmentVariableW(L"CLIPVOCE_VOICE_EVENTS", text, 16);
    if (n == 0 || n >= 16)
        return BoundariesTold::WordsAndSentences;
    if (lstrcmpiW(text, L"sentences") == 0)
        return BoundariesTold::SentencesOnly;
    if (lstrcmpiW(text, L"none") == 0)
        return BoundariesTold::None;
    return BoundariesTold::WordsAndSentences;
}

Speaker::Speaker(VoiceEvents& events)
    : events_(events), wordsPerMinute_(WordsPerMinuteFromEnvironment()),
      doneEvent_(CreateEventW(nullptr, TRUE, TRUE, nullptr))
{
}

Speaker::~Speaker()
{
    {
        std::lock_guard lock(mu_);
        shutdown_ = true;
    }
    work_.notify_all();
    idle_.notify_all();
    // Once the thread has ended nothing can post to the notification window.
    if (worker_.joinable())
        worker_.join();
}

bool Speaker::StartHelper()
{
    return link_.Start();
}

HRESULT Speaker::Start(const WAVEFORMATEX& deviceFormat)
{
    if (!doneEvent_)
        return E_OUTOFMEMORY;
    deviceFormat_ = deviceFormat;
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void Speaker::UseOutput(ComPtr<IStandInOutput> output, ComPtr<ISpStreamFormat> stream)
{
    std::lock_guard lock(mu_);
    std::swap(output_, output);
    std::swap(outputStream_, stream);
    // The previous output is released after the lock: closing a file takes time.
}

ComPtr<ISpStreamFormat> Speaker::OutputStream()
{
    std::lock_guard lock(mu_);
    return outputStream_;
}

HRESULT Speaker::Speak(std::optional<std::wstring> text, const SpeakingVoice& voice, bool purgeFirst, bool wait,
                       ULONG& stream)
{
    std::unique_ptr<Utterance> utterance;
    if (text) {
        try {
            utterance = std::make_unique<Utterance>();
            utterance->text = std::move(*text);
            utterance->voice = voice;
            utterance->boundaries = BoundariesFromEnvironment();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    std::unique_lock lock(mu_);
    if (purgeFirst)
        PurgeLocked(lock);
    if (!utterance)
        return S_OK;
    const ULONG queued = utterance->stream = ++lastStream_;
    try {
        queue_.push_back(std::move(utterance));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    ResetEvent(doneEvent_.get());
    work_.notify_all();
    stream = queued;
    if (wait)
        idle_.wait(lock, [&] { return shutdown_ || finishedThrough_ >= queued; });
    return S_OK;
}

// Drops everything queued or speaking and returns once the speaking thread has let
// go of the output; each dropped utterance still ends with its end-of-input event.
void Speaker::PurgeLocked(std::unique_lock<std::mutex>& lock)
{
    if (queue_.empty())
        return;
    for (auto& u : queue_)
        u->purged = true;
    const ULONG last = queue_.back()->stream;
    work_.notify_all();
    idle_.wait(lock, [&] { return shutdown_ || finishedThrough_ >= last; });
}

void Speaker::Pause()
{
    std::lock_guard lock(mu_);
    ++pauseCount_;
    work_.notify_all();
}

void Speaker::Resume()
{
    std::lock_guard lock(mu_);
    if (pauseCount_ > 0)
        --pauseCount_;
    work_.notify_all();
}

// The utterance that Skip moves: the first one not dropped by a purge.
Utterance* Speaker::ActiveUtterance()
{
    for (auto& u : queue_)
        if (!u->purged)
            return u.get();
    return nullptr;
}

// With the lock held; the speaking thread may be dividing the same text meanwhile, and
// the first result to come is the one kept.
void Speaker::Divide(Utterance& u)
{
    if (u.divided)
        return;
    u.units = SplitText(u.text);
    u.divided = true;
}

ULONG Speaker::SkipSentences(long items)
{
    std::lock_guard lock(mu_);
    Utterance* u = ActiveUtterance();
    if (!u)
        return 0;
    Divide(*u);
    const long count = static_cast<long>(u->units.sentences.size());
    const long current = static_cast<long>(u->CurrentSentence());
    const long target = std::clamp(current + items, 0L, count);
    u->nextWord = target < count ? u->units.sentences[static_cast<size_t>(target)].firstWord : u->units.words.size();
    u->currentWord = -1;
    ++u->jumps;
    work_.notify_all();
    return static_cast<ULONG>(std::labs(target - current));
}

void Speaker::SetRate(long rate)
{
    std::lock_guard lock(mu_);
    rate_ = rate;
}

long Speaker::Rate()
{
    std::lock_guard lock(mu_);
    return rate_;
}

void Speaker::SetVolume(USHORT volume)
{
    std::lock_guard lock(mu_);
    volume_ = volume;
}

USHORT Speaker::Volume()
{
    std::lock_guard lock(mu_);
    return volume_;
}

bool Speaker::WaitUntilDone(ULONG milliseconds)
{
    std::unique_lock lock(mu_);
    const auto done = [&] { return shutdown_ || queue_.empty(); };
    if (milliseconds == INFINITE) {
        idle_.wait(lock, done);
        return true;
    }
    return idle_.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
}

void Speaker::GetStatus(SPVOICESTATUS& status)
{
    std::lock_guard lock(mu_);
    status = SPVOICESTATUS{};
    status.ulCurrentStream = currentStream_;
    status.ulLastStreamQueued = lastStream_;
    status.hrLastResult = lastResult_;
    if (queue_.empty())
        status.dwRunningState = SPRS_DONE;
    else if (pauseCount_ == 0)
        status.dwRunningState = SPRS_IS_SPEAKING;
    status.ulInputWordPos = wordPos_;
    status.ulInputWordLen = wordLen_;
    status.ulInputSentPos = sentencePos_;
    status.ulInputSentLen = sentenceLen_;
}

void Speaker::Run()
{
    if (link_.Available())
        playback_.Prepare(deviceFormat_);
    std::unique_lock lock(mu_);
    for (;;) {
        work_.wait(lock, [&] {
            return shutdown_ || (!queue_.empty() && (pauseCount_ == 0 || queue_.front()->purged));
        });
        if (shutdown_)
            return;
        Utterance& u = *queue_.front();
        if (!u.divided) {
            // A long text takes a while to divide: outside the lock, so that the program
            // that asked to speak it, and any Pause or Skip, go on meanwhile.
            lock.unlock();
            TextUnits units = SplitText(u.text);
            lock.lock();
            if (!u.divided) {
                u.units = std::move(units);
                u.divided = true;
            }
            if (shutdown_)
                return;
        }
        ComPtr<IStandInOutput> output = output_;
        offsetBase_ = output->OffsetBase();
        BeginUtterance(u);
        if (link_.Available())
            SpeakThroughHelper(lock, u, output.Get());
        else
            SpeakWords(lock, u, output.Get());
        if (shutdown_)
            return;
        lock.unlock();
        output->Checkpoint();
        output.Reset();
        lock.lock();
        EndUtterance(u);
    }
}

void Speaker::Raise(SPEVENTENUM id, const Utterance& u, WPARAM wParam, LPARAM lParam, SPEVENTLPARAMTYPE type)
{
    if (!shutdown_)
        events_.Raise(id, u.stream, offsetBase_ + audioOffset_, wParam, lParam, type);
}

void Speaker::BeginUtterance(const Utterance& u)
{
    currentStream_ = u.stream;
    wordPos_ = wordLen_ = sentencePos_ = sentenceLen_ = 0;
    audioOffset_ = 0;
    lastResult_ = S_OK;
    Raise(SPEI_START_INPUT_STREAM, u, 0, 0);
    Raise(SPEI_VOICE_CHANGE, u, 0, reinterpret_cast<LPARAM>(u.voice.token.Get()), SPET_LPARAM_IS_TOKEN);
}

void Speaker::EndUtterance(const Utterance& u)
{
    Raise(SPEI_END_INPUT_STREAM, u, 0, 0);
    finishedThrough_ = u.stream;
    queue_.pop_front();
    if (queue_.empty())
        SetEvent(doneEvent_.get());
    idle_.notify_all();
}

bool Speaker::Interrupted(const Utterance& u, unsigned jumps) const
{
    return shutdown_ || u.purged || u.failed || u.jumps != jumps;
}

// The word now heard: its events (a sentence's first word starts the sentence)
// and what GetStatus reports.
// A voice that tells of no words tells no word position in its status either.
void Speaker::AnnounceWord(Utterance& u, size_t index)
{
    const TextWord& word = u.units.words[index];
    const TextSentence& sentence = u.units.sentences[word.sentence];
    if (sentence.firstWord == index && u.boundaries != BoundariesTold::None) {
        sentencePos_ = sentence.pos;
        sentenceLen_ = sentence.len;
        Raise(SPEI_SENTENCE_BOUNDARY, u, sentence.len, sentence.pos);
    }
    u.currentWord = static_cast<long>(index);
    LogWord(u.text.substr(word.pos, word.len), u.voice.espeakVoice);
    if (u.boundaries != BoundariesTold::WordsAndSentences)
        return;
    wordPos_ = word.pos;
    wordLen_ = word.len;
    Raise(SPEI_WORD_BOUNDARY, u, word.len, word.pos);
}

void Speaker::SpeakWords(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output)
{
    const bool realTime = output->IsRealTime();
    const WAVEFORMATEX format = output->AudioFormat();
    for (;;) {
        work_.wait(lock, [&] { return shutdown_ || u.purged || pauseCount_ == 0; });
        if (shutdown_ || u.purged || u.failed || u.nextWord >= u.units.words.size())
            return;
        const size_t index = u.nextWord++;
        AnnounceWord(u, index);
        const TextWord& word = u.units.words[index];

        const double seconds = WordSeconds(wordsPerMinute_, rate_);
        if (realTime)
            WaitOutWord(lock, u, seconds, format);
        else
            RenderWord(lock, u, output, format, seconds, std::wstring_view(u.text).substr(word.pos, word.len));
    }
}

// The default device: the word takes its time, and a pause stops the clock.
void Speaker::WaitOutWord(std::unique_lock<std::mutex>& lock, const Utterance& u, double seconds,
                          const WAVEFORMATEX& format)
{
    const unsigned jumps = u.jumps;
    Clock::duration remaining = std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
    while (remaining > Clock::duration::zero()) {
        const Clock::time_point deadline = Clock::now() + remaining;
        const bool woken = work_.wait_until(lock, deadline, [&] { return Interrupted(u, jumps) || pauseCount_ > 0; });
        remaining = woken ? deadline - Clock::now() : Clock::duration::zero();
        if (!woken || Interrupted(u, jumps))
            break;
        work_.wait(lock, [&] { return Interrupted(u, jumps) || pauseCount_ == 0; });
        if (Interrupted(u, jumps))
            break;
    }
    const double played = seconds - std::max(0.0, std::chrono::duration_cast<Seconds>(remaining).count());
    const uint64_t frames = static_cast<uint64_t>(played * format.nSamplesPerSec);
    audioOffset_ += frames * format.nBlockAlign;
}

// A stream: the word's sound is written as fast as it can be made.
void Speaker::RenderWord(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output,
                         const WAVEFORMATEX& format, double seconds, std::wstring_view word)
{
    const unsigned jumps = u.jumps;
    const double pitch = WordPitch(word) * std::pow(2.0, u.voice.pitch / 20.0);
    const uint64_t totalFrames = std::max<uint64_t>(1, std::llround(seconds * format.nSamplesPerSec));
    uint64_t done = 0;
    while (done < totalFrames) {
        work_.wait(lock, [&] { return Interrupted(u, jumps) || pauseCount_ == 0; });
        if (Interrupted(u, jumps))
            return;
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kRenderChunkFrames, totalFrames - done));
        const unsigned volume = volume_;
        lock.unlock();
        HRESULT hr = S_OK;
        try {
            RenderWordFrames(format, pitch, volume, totalFrames, done, count, renderBuffer_);
            hr = output->WriteAudio(renderBuffer_.data(), static_cast<ULONG>(renderBuffer_.size()));
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        }
        lock.lock();
        if (FAILED(hr)) {
            // A full disk ends the utterance; the status reports why.
            lastResult_ = hr;
            u.failed = true;
            return;
        }
        done += count;
        audioOffset_ += static_cast<uint64_t>(count) * format.nBlockAlign;
    }
}
