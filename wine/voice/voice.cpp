// SpVoice: speaks on a thread of its own, word by word, and reports what it does as
// queued events announced by a window message, as the platform voice does.
//
// The sound comes from eSpeak NG through the native speech helper when it is there,
// a sentence at a time; without it every word is a short tone. A helper that goes, or
// that breaks the protocol, is replaced by a new one for the next sentence.
//
// One mutex guards all of the voice's state. The speaking thread waits on `work_`
// and holds the mutex except while it renders audio or talks to the helper; callers
// wait on `idle_` for utterances to finish. The speaking thread never waits for a
// caller's thread, so no order of calls from the user-interface thread can deadlock it.
#include "audio_output.h"
#include "com_ptr.h"
#include "platform/sapi_event.h"
#include "device_output.h"
#include "markup.h"
#include "module.h"
#include "pcm_convert.h"
#include "playback.h"
#include "sapi_errors.h"
#include "speech_helper.h"
#include "text_units.h"
#include "tone.h"
#include "voice_token.h"
#include <sapi.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr unsigned kDefaultWordsPerMinute = 180;
constexpr unsigned kMaxWordsPerMinute = 1000000;
constexpr long kMinRate = -10;
constexpr long kMaxRate = 10;
constexpr USHORT kMaxVolume = 100;
constexpr uint32_t kRenderChunkFrames = 4096;
constexpr ULONG kDefaultSyncSpeakTimeout = 10000;
// eSpeak NG's own range of speaking rates (it stretches beyond 450 with its speed-up).
constexpr double kMinHelperWordsPerMinute = 80;
constexpr double kMaxHelperWordsPerMinute = 900;
// How far real-time output runs ahead of what is heard: enough to bridge the start of
// the next sentence, little enough that a word's event is never far from its sound.
constexpr uint32_t kPlayAheadDivisor = 4; // a quarter of a second
// While real-time output waits for the sound, how often it looks at the time.
constexpr auto kPlaybackPoll = std::chrono::milliseconds(5);
constexpr DWORD kHelperPollMs = 5;
// The helper answers a Cancel within one piece of audio; one that takes longer has hung
// and is replaced.
constexpr DWORD kCancelAnswerMs = 2000;
// Starts of the helper that fail one after another before the voice keeps to tones.
constexpr unsigned kMaxFailedHelperStarts = 3;

// The pace at rate 0. Tests and the run script set it through the environment so
// that speech takes a predictable, short time.
unsigned WordsPerMinuteFromEnvironment()
{
    wchar_t text[32];
    const DWORD n = GetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", text, 32);
    if (n == 0 || n >= 32)
        return kDefaultWordsPerMinute;
    wchar_t* end = nullptr;
    const unsigned long value = wcstoul(text, &end, 10);
    if (*end != L'\0' || value == 0 || value > kMaxWordsPerMinute)
        return kDefaultWordsPerMinute;
    return static_cast<unsigned>(value);
}

// Tests set CLIPVOCE_VOICE_SOUND=tones: tones have an exact, machine-independent
// length, which their timing and rendering checks rely on.
bool TonesAskedFor()
{
    wchar_t text[16];
    const DWORD n = GetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", text, 16);
    return n > 0 && n < 16 && _wcsicmp(text, L"tones") == 0;
}

// Every ten steps of rate make a word about three times shorter or longer.
double RateFactor(long rate)
{
    return std::pow(3.0, static_cast<double>(rate) / 10.0);
}

double WordSeconds(unsigned wordsPerMinute, long rate)
{
    return 60.0 / wordsPerMinute / RateFactor(rate);
}

uint32_t HelperWordsPerMinute(unsigned wordsPerMinute, long rate)
{
    const double pace = wordsPerMinute * RateFactor(rate);
    return static_cast<uint32_t>(std::lround(std::clamp(pace, kMinHelperWordsPerMinute, kMaxHelperWordsPerMinute)));
}

bool IsValidInterest(ULONGLONG interest)
{
    return interest == 0 || (interest & SPFEI_FLAGCHECK) == SPFEI_FLAGCHECK;
}

struct Utterance {
    ULONG stream = 0;
    std::wstring text;
    TextUnits units;
    size_t nextWord = 0;
    // The word being spoken; none before the first and right after a skip.
    long currentWord = -1;
    // Counts the skips, so that the word being spoken when one arrives is cut short.
    unsigned jumps = 0;
    bool purged = false;
    bool failed = false;

    size_t CurrentSentence() const
    {
        if (currentWord >= 0)
            return units.words[static_cast<size_t>(currentWord)].sentence;
        if (nextWord < units.words.size())
            return units.words[nextWord].sentence;
        return units.sentences.size();
    }
};

class Voice final : public ISpVoice {
public:
    Voice() : wordsPerMinute_(WordsPerMinuteFromEnvironment()) { ModuleAddRef(); }

    HRESULT Start()
    {
        StartHelper();
        token_ = ComPtr<ISpObjectToken>::Adopt(
            NewVoiceToken(helperProgram_.empty() ? kVoiceDisplayName : kEspeakVoiceDisplayName));
        device_ = ComPtr<ISpStreamFormat>::Adopt(NewDeviceOutput());
        doneEvent_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        if (!token_ || !device_ || !doneEvent_)
            return E_OUTOFMEMORY;
        if (FAILED(UseOutput(nullptr)))
            return E_OUTOFMEMORY;
        try {
            worker_ = std::thread([this] { Run(); });
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    ~Voice()
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
        for (SPEVENT& event : events_)
            ReleaseEventParameter(event);
        if (doneEvent_)
            CloseHandle(doneEvent_);
        if (notifyEvent_)
            CloseHandle(notifyEvent_);
        ModuleRelease();
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISpNotifySource) ||
            IsEqualIID(riid, IID_ISpEventSource) || IsEqualIID(riid, IID_ISpVoice)) {
            *ppv = static_cast<ISpVoice*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs_.Release(this); }

    // ISpNotifySource
    STDMETHODIMP SetNotifySink(ISpNotifySink* sink) override
    {
        if (sink)
            return E_NOTIMPL;
        std::lock_guard lock(mu_);
        notifyWindow_ = nullptr;
        notifyByEvent_ = false;
        return S_OK;
    }

    STDMETHODIMP SetNotifyWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (!IsWindow(window))
            return E_INVALIDARG;
        std::lock_guard lock(mu_);
        notifyWindow_ = window;
        notifyMessage_ = message;
        notifyWParam_ = wParam;
        notifyLParam_ = lParam;
        notifyByEvent_ = false;
        notifyPending_ = false;
        if (!events_.empty())
            Notify();
        return S_OK;
    }

    STDMETHODIMP SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM, LPARAM) override { return E_NOTIMPL; }
    STDMETHODIMP SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM, LPARAM) override { return E_NOTIMPL; }

    STDMETHODIMP SetNotifyWin32Event() override
    {
        std::lock_guard lock(mu_);
        if (!notifyEvent_)
            notifyEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!notifyEvent_)
            return HRESULT_FROM_WIN32(GetLastError());
        notifyWindow_ = nullptr;
        notifyByEvent_ = true;
        notifyPending_ = false;
        if (!events_.empty())
            Notify();
        return S_OK;
    }

    STDMETHODIMP WaitForNotifyEvent(DWORD milliseconds) override
    {
        HANDLE event;
        {
            std::lock_guard lock(mu_);
            if (!notifyByEvent_)
                return SPERR_UNINITIALIZED;
            event = notifyEvent_;
        }
        // The handle lives as long as the voice, so waiting on it needs no lock.
        const DWORD result = WaitForSingleObject(event, milliseconds);
        return result == WAIT_OBJECT_0 ? S_OK : S_FALSE;
    }

    STDMETHODIMP_(HANDLE) GetNotifyEventHandle() override
    {
        std::lock_guard lock(mu_);
        return notifyByEvent_ ? notifyEvent_ : nullptr;
    }

    // ISpEventSource
    STDMETHODIMP SetInterest(ULONGLONG eventInterest, ULONGLONG queuedInterest) override
    {
        if (!IsValidInterest(eventInterest) || !IsValidInterest(queuedInterest))
            return E_INVALIDARG;
        eventInterest &= ~SPFEI_FLAGCHECK;
        queuedInterest &= ~SPFEI_FLAGCHECK;
        if (queuedInterest & ~eventInterest)
            return E_INVALIDARG;
        std::lock_guard lock(mu_);
        eventInterest_ = eventInterest;
        queuedInterest_ = queuedInterest;
        return S_OK;
    }

    // What is handed out belongs to the caller, parameter included.
    STDMETHODIMP GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) override
    {
        if (!events || (!fetched && count != 1))
            return E_POINTER;
        std::lock_guard lock(mu_);
        notifyPending_ = false;
        ULONG n = 0;
        while (n < count && !events_.empty()) {
            events[n++] = events_.front();
            events_.pop_front();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP GetInfo(SPEVENTSOURCEINFO* info) override
    {
        if (!info)
            return E_POINTER;
        std::lock_guard lock(mu_);
        info->ullEventInterest = eventInterest_ ? eventInterest_ | SPFEI_FLAGCHECK : 0;
        info->ullQueuedInterest = queuedInterest_ ? queuedInterest_ | SPFEI_FLAGCHECK : 0;
        info->ulCount = static_cast<ULONG>(events_.size());
        return S_OK;
    }

    // ISpVoice
    STDMETHODIMP SetOutput(IUnknown* output, BOOL) override { return UseOutput(output); }

    STDMETHODIMP GetOutputObjectToken(ISpObjectToken** token) override
    {
        if (token)
            *token = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP GetOutputStream(ISpStreamFormat** stream) override
    {
        if (!stream)
            return E_POINTER;
        std::lock_guard lock(mu_);
        *stream = ComPtr<ISpStreamFormat>(outputStream_).Detach();
        return S_OK;
    }

    STDMETHODIMP Pause() override
    {
        std::lock_guard lock(mu_);
        ++pauseCount_;
        work_.notify_all();
        return S_OK;
    }

    STDMETHODIMP Resume() override
    {
        std::lock_guard lock(mu_);
        if (pauseCount_ > 0)
            --pauseCount_;
        work_.notify_all();
        return S_OK;
    }

    // The stand-in has one voice; any voice asked for is that one.
    STDMETHODIMP SetVoice(ISpObjectToken*) override { return S_OK; }

    STDMETHODIMP GetVoice(ISpObjectToken** token) override
    {
        if (!token)
            return E_POINTER;
        *token = ComPtr<ISpObjectToken>(token_).Detach();
        return S_OK;
    }

    STDMETHODIMP Speak(LPCWSTR text, DWORD flags, ULONG* streamNumber) override
    {
        if (streamNumber)
            *streamNumber = 0;
        if (flags & SPF_IS_FILENAME)
            return E_NOTIMPL;
        if (!text && !(flags & SPF_PURGEBEFORESPEAK))
            return E_INVALIDARG;
        std::unique_ptr<Utterance> utterance;
        if (text) {
            try {
                utterance = std::make_unique<Utterance>();
                utterance->text = SpokenText(text, flags);
                utterance->units = SplitText(utterance->text);
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }

        std::unique_lock lock(mu_);
        if (flags & SPF_PURGEBEFORESPEAK)
            PurgeLocked(lock);
        if (!utterance)
            return S_OK;
        const ULONG stream = utterance->stream = ++lastStream_;
        try {
            queue_.push_back(std::move(utterance));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        ResetEvent(doneEvent_);
        work_.notify_all();
        if (streamNumber)
            *streamNumber = stream;
        if (!(flags & SPF_ASYNC))
            idle_.wait(lock, [&] { return shutdown_ || finishedThrough_ >= stream; });
        return S_OK;
    }

    STDMETHODIMP SpeakStream(IStream*, DWORD, ULONG* streamNumber) override
    {
        if (streamNumber)
            *streamNumber = 0;
        return E_NOTIMPL;
    }

    STDMETHODIMP GetStatus(SPVOICESTATUS* status, LPWSTR* lastBookmark) override
    {
        if (!status)
            return E_POINTER;
        if (lastBookmark)
            *lastBookmark = nullptr;
        std::lock_guard lock(mu_);
        *status = SPVOICESTATUS{};
        status->ulCurrentStream = currentStream_;
        status->ulLastStreamQueued = lastStream_;
        status->hrLastResult = lastResult_;
        if (queue_.empty())
            status->dwRunningState = SPRS_DONE;
        else if (pauseCount_ == 0)
            status->dwRunningState = SPRS_IS_SPEAKING;
        status->ulInputWordPos = wordPos_;
        status->ulInputWordLen = wordLen_;
        status->ulInputSentPos = sentencePos_;
        status->ulInputSentLen = sentenceLen_;
        return S_OK;
    }

    STDMETHODIMP Skip(LPCWSTR itemType, LONG items, ULONG* skipped) override
    {
        if (skipped)
            *skipped = 0;
        if (!itemType)
            return E_POINTER;
        if (_wcsicmp(itemType, L"Sentence") != 0)
            return E_INVALIDARG;
        std::lock_guard lock(mu_);
        Utterance* u = ActiveUtterance();
        if (!u)
            return S_OK;
        const long count = static_cast<long>(u->units.sentences.size());
        const long current = static_cast<long>(u->CurrentSentence());
        const long target = std::clamp(current + items, 0L, count);
        u->nextWord = target < count ? u->units.sentences[static_cast<size_t>(target)].firstWord
                                     : u->units.words.size();
        u->currentWord = -1;
        ++u->jumps;
        work_.notify_all();
        if (skipped)
            *skipped = static_cast<ULONG>(std::labs(target - current));
        return S_OK;
    }

    STDMETHODIMP SetPriority(SPVPRIORITY priority) override
    {
        std::lock_guard lock(mu_);
        priority_ = priority;
        return S_OK;
    }
    STDMETHODIMP GetPriority(SPVPRIORITY* priority) override
    {
        if (!priority)
            return E_POINTER;
        std::lock_guard lock(mu_);
        *priority = priority_;
        return S_OK;
    }
    STDMETHODIMP SetAlertBoundary(SPEVENTENUM boundary) override
    {
        std::lock_guard lock(mu_);
        alertBoundary_ = boundary;
        return S_OK;
    }
    STDMETHODIMP GetAlertBoundary(SPEVENTENUM* boundary) override
    {
        if (!boundary)
            return E_POINTER;
        std::lock_guard lock(mu_);
        *boundary = alertBoundary_;
        return S_OK;
    }

    STDMETHODIMP SetRate(LONG rate) override
    {
        if (rate < kMinRate || rate > kMaxRate)
            return E_INVALIDARG;
        std::lock_guard lock(mu_);
        rate_ = rate;
        return S_OK;
    }
    STDMETHODIMP GetRate(LONG* rate) override
    {
        if (!rate)
            return E_POINTER;
        std::lock_guard lock(mu_);
        *rate = rate_;
        return S_OK;
    }

    STDMETHODIMP SetVolume(USHORT volume) override
    {
        if (volume > kMaxVolume)
            return E_INVALIDARG;
        std::lock_guard lock(mu_);
        volume_ = volume;
        return S_OK;
    }
    STDMETHODIMP GetVolume(USHORT* volume) override
    {
        if (!volume)
            return E_POINTER;
        std::lock_guard lock(mu_);
        *volume = volume_;
        return S_OK;
    }

    // Called from any thread, the export's worker among them.
    STDMETHODIMP WaitUntilDone(ULONG milliseconds) override
    {
        std::unique_lock lock(mu_);
        const auto done = [&] { return shutdown_ || queue_.empty(); };
        if (milliseconds == INFINITE) {
            idle_.wait(lock, done);
            return S_OK;
        }
        return idle_.wait_for(lock, std::chrono::milliseconds(milliseconds), done) ? S_OK : S_FALSE;
    }

    STDMETHODIMP SetSyncSpeakTimeout(ULONG milliseconds) override
    {
        std::lock_guard lock(mu_);
        syncSpeakTimeout_ = milliseconds;
        return S_OK;
    }
    STDMETHODIMP GetSyncSpeakTimeout(ULONG* milliseconds) override
    {
        if (!milliseconds)
            return E_POINTER;
        std::lock_guard lock(mu_);
        *milliseconds = syncSpeakTimeout_;
        return S_OK;
    }

    STDMETHODIMP_(HANDLE) SpeakCompleteEvent() override { return doneEvent_; }

    STDMETHODIMP IsUISupported(LPCWSTR, void*, ULONG, BOOL* supported) override
    {
        if (!supported)
            return E_POINTER;
        *supported = FALSE;
        return S_OK;
    }
    STDMETHODIMP DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG) override { return E_NOTIMPL; }

private:
    // Started with the voice, so that the first Speak finds eSpeak NG ready. A voice
    // whose helper answered once speaks with eSpeak NG from then on, starting the helper
    // again whenever it has gone.
    void StartHelper()
    {
        if (TonesAskedFor())
            return;
        std::wstring program = FindSpeechHelper(ModuleInstance());
        if (program.empty())
            return;
        try {
            helper_ = std::make_unique<SpeechHelper>();
        } catch (const std::bad_alloc&) {
            return;
        }
        if (helper_->Start(program))
            helperProgram_ = std::move(program);
        else
            helper_.reset();
    }

    // The output is one of the voice's own objects: its default device or an SpStream.
    // An audio device token stands for the default device, the only one there is.
    HRESULT UseOutput(IUnknown* output)
    {
        ComPtr<IStandInOutput> target;
        ComPtr<ISpStreamFormat> stream;
        ComPtr<ISpObjectToken> token;
        if (output && SUCCEEDED(output->QueryInterface(IID_IStandInOutput, reinterpret_cast<void**>(target.Out())))) {
            if (FAILED(output->QueryInterface(IID_ISpStreamFormat, reinterpret_cast<void**>(stream.Out()))))
                return E_INVALIDARG;
        } else if (!output || SUCCEEDED(output->QueryInterface(IID_ISpObjectToken, reinterpret_cast<void**>(token.Out())))) {
            stream = device_;
            if (FAILED(stream->QueryInterface(IID_IStandInOutput, reinterpret_cast<void**>(target.Out()))))
                return E_UNEXPECTED;
        } else {
            return E_INVALIDARG;
        }
        // A stream that is neither bound to a file nor to a base stream has no format.
        if (!target->IsRealTime() && !IsRenderableFormat(target->AudioFormat()))
            return SPERR_UNINITIALIZED;
        std::lock_guard lock(mu_);
        std::swap(output_, target);
        std::swap(outputStream_, stream);
        // The previous output is released after the lock: closing a file takes time.
        return S_OK;
    }

    // The utterance that Skip moves: the first one not dropped by a purge.
    Utterance* ActiveUtterance()
    {
        for (auto& u : queue_)
            if (!u->purged)
                return u.get();
        return nullptr;
    }

    // Drops everything queued or speaking and returns once the speaking thread has let
    // go of the output; each dropped utterance still ends with its end-of-input event.
    void PurgeLocked(std::unique_lock<std::mutex>& lock)
    {
        if (queue_.empty())
            return;
        for (auto& u : queue_)
            u->purged = true;
        const ULONG last = queue_.back()->stream;
        work_.notify_all();
        idle_.wait(lock, [&] { return shutdown_ || finishedThrough_ >= last; });
    }

    void QueueEvent(SPEVENTENUM id, const Utterance& u, WPARAM wParam, LPARAM lParam,
                    SPEVENTLPARAMTYPE type = SPET_LPARAM_IS_UNDEFINED)
    {
        const ULONGLONG bit = 1ull << id;
        if (shutdown_ || !(eventInterest_ & bit))
            return;
        if (queuedInterest_ & bit) {
            SPEVENT event{};
            event.eEventId = id;
            event.elParamType = type;
            event.ulStreamNum = u.stream;
            event.ullAudioStreamOffset = audioOffset_;
            event.wParam = wParam;
            event.lParam = lParam;
            try {
                events_.push_back(event);
            } catch (const std::bad_alloc&) {
                return;
            }
            if (type == SPET_LPARAM_IS_TOKEN || type == SPET_LPARAM_IS_OBJECT)
                reinterpret_cast<IUnknown*>(lParam)->AddRef();
        }
        Notify();
    }

    // One notification stands for every event queued until the next GetEvents, so a
    // fast voice does not flood the window's message queue.
    void Notify()
    {
        if (shutdown_ || notifyPending_)
            return;
        if (notifyWindow_) {
            notifyPending_ = true;
            PostMessageW(notifyWindow_, notifyMessage_, notifyWParam_, notifyLParam_);
        } else if (notifyByEvent_) {
            notifyPending_ = true;
            SetEvent(notifyEvent_);
        }
    }

    void Run()
    {
        if (!helperProgram_.empty()) {
            ComPtr<IStandInOutput> device;
            if (SUCCEEDED(device_->QueryInterface(IID_IStandInOutput, reinterpret_cast<void**>(device.Out()))))
                playback_.Prepare(device->AudioFormat());
        }
        std::unique_lock lock(mu_);
        for (;;) {
            work_.wait(lock, [&] {
                return shutdown_ || (!queue_.empty() && (pauseCount_ == 0 || queue_.front()->purged));
            });
            if (shutdown_)
                return;
            Utterance& u = *queue_.front();
            ComPtr<IStandInOutput> output = output_;
            BeginUtterance(u);
            if (!helperProgram_.empty())
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

    void BeginUtterance(const Utterance& u)
    {
        currentStream_ = u.stream;
        wordPos_ = wordLen_ = sentencePos_ = sentenceLen_ = 0;
        audioOffset_ = 0;
        lastResult_ = S_OK;
        QueueEvent(SPEI_START_INPUT_STREAM, u, 0, 0);
        QueueEvent(SPEI_VOICE_CHANGE, u, 0, reinterpret_cast<LPARAM>(token_.Get()), SPET_LPARAM_IS_TOKEN);
    }

    void EndUtterance(const Utterance& u)
    {
        QueueEvent(SPEI_END_INPUT_STREAM, u, 0, 0);
        finishedThrough_ = u.stream;
        queue_.pop_front();
        if (queue_.empty())
            SetEvent(doneEvent_);
        idle_.notify_all();
    }

    bool Interrupted(const Utterance& u, unsigned jumps) const
    {
        return shutdown_ || u.purged || u.failed || u.jumps != jumps;
    }

    // The word now heard: its events (a sentence's first word starts the sentence)
    // and what GetStatus reports.
    void AnnounceWord(Utterance& u, size_t index)
    {
        const TextWord& word = u.units.words[index];
        const TextSentence& sentence = u.units.sentences[word.sentence];
        if (sentence.firstWord == index) {
            sentencePos_ = sentence.pos;
            sentenceLen_ = sentence.len;
            QueueEvent(SPEI_SENTENCE_BOUNDARY, u, sentence.len, sentence.pos);
        }
        u.currentWord = static_cast<long>(index);
        wordPos_ = word.pos;
        wordLen_ = word.len;
        QueueEvent(SPEI_WORD_BOUNDARY, u, word.len, word.pos);
    }

    void SpeakWords(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output)
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
    void WaitOutWord(std::unique_lock<std::mutex>& lock, const Utterance& u, double seconds, const WAVEFORMATEX& format)
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
    void RenderWord(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output,
                    const WAVEFORMATEX& format, double seconds, std::wstring_view word)
    {
        const unsigned jumps = u.jumps;
        const double pitch = WordPitch(word);
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

    // --- Speech from eSpeak NG ---------------------------------------------------------

    // Real-time output plays the sound; a stream gets it as fast as it is made.
    struct Rendering {
        IStandInOutput* output;
        WAVEFORMATEX format;
        bool realTime;
        // Frames of this utterance made so far: the audio offset of what comes next.
        uint64_t frames = 0;
    };

    // A word whose event waits for its sound: to be heard on the device, to be made in
    // a stream. `sample` is where the helper said it starts.
    struct HeardAt {
        uint64_t frame;
        size_t word;
        uint64_t sample;
    };

    void SpeakThroughHelper(std::unique_lock<std::mutex>& lock, Utterance& u, IStandInOutput* output)
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
            const HelperState state = PrepareHelper(lock, u);
            if (state == HelperState::Interrupted)
                continue;
            if (state == HelperState::Ready) {
                if (SpeakSentence(lock, u, r))
                    continue;
                DropHelper();
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
    void WaitUntilHeard(std::unique_lock<std::mutex>& lock, const Utterance& u, unsigned jumps, uint64_t frames)
    {
        for (;;) {
            playback_.SetPaused(pauseCount_ > 0);
            if (Interrupted(u, jumps) || playback_.PlayedFrames() >= frames)
                return;
            work_.wait_for(lock, kPlaybackPoll, [&] { return Interrupted(u, jumps); });
        }
    }

    enum class HelperState { Ready, Interrupted, Unavailable };

    // Makes the helper ready for a new request: a new one started when it has gone, and
    // the answer to the last Cancel awaited. Everything here waits in short steps with
    // the lock released, so that a purge or a skip is never held up by the helper; a
    // start under way is taken up again by the next sentence.
    HelperState PrepareHelper(std::unique_lock<std::mutex>& lock, const Utterance& u)
    {
        const unsigned jumps = u.jumps;
        for (;;) {
            if (Interrupted(u, jumps))
                return HelperState::Interrupted;
            if (!helper_) {
                if (helperProgram_.empty())
                    return HelperState::Unavailable;
                const std::wstring program = helperProgram_;
                lock.unlock();
                std::unique_ptr<SpeechHelper> helper(new (std::nothrow) SpeechHelper);
                const bool launched = helper && helper->Launch(program);
                lock.lock();
                if (!launched)
                    return HelperFailedToStart();
                helper_ = std::move(helper);
            }
            HelperMessage message;
            lock.unlock();
            const SpeechHelper::Connection connection = helper_->Connect(kHelperPollMs);
            const SpeechHelper::Received got = connection == SpeechHelper::Connection::Ready && unansweredCancel_
                ? helper_->Receive(message, kHelperPollMs)
                : SpeechHelper::Received::Nothing;
            lock.lock();
            if (connection == SpeechHelper::Connection::Failed) {
                DropHelper();
                return HelperFailedToStart();
            }
            if (connection == SpeechHelper::Connection::Waiting)
                continue;
            failedHelperStarts_ = 0;
            if (!unansweredCancel_)
                return HelperState::Ready;
            if (got == SpeechHelper::Received::Broken ||
                (got == SpeechHelper::Received::Message && !TakeCancelledRequestMessage(message)) ||
                (got == SpeechHelper::Received::Nothing && GetTickCount64() > cancelDeadline_))
                DropHelper();
        }
    }

    HelperState HelperFailedToStart()
    {
        if (++failedHelperStarts_ >= kMaxFailedHelperStarts)
            helperProgram_.clear();
        return HelperState::Unavailable;
    }

    // Closing the connection ends the helper; the next sentence starts a new one.
    void DropHelper()
    {
        helper_.reset();
        unansweredCancel_ = 0;
    }

    // What a cancelled request may still send: speech until its Done, then the
    // Cancelled that answers the Cancel. False for anything else.
    bool TakeCancelledRequestMessage(const HelperMessage& message)
    {
        if (message.request != unansweredCancel_)
            return false;
        if (message.kind == helper_protocol::kCancelled) {
            const bool inOrder = cancelledDone_;
            unansweredCancel_ = 0;
            return inOrder;
        }
        if (cancelledDone_)
            return false;
        cancelledDone_ = message.kind == helper_protocol::kDone;
        return true;
    }

    // Speaks the rest of the current sentence, from the next word on. The helper gets
    // the sentence's words joined by single blanks, so that it hears only what is
    // spoken and a place in its text leads back to a word of the utterance.
    // False when the helper can no longer be reached or has sent what it never sends: a
    // message of another request, a word outside the text or beyond the sentence's
    // audio. The sentence then goes on from its first word not yet announced, with
    // another helper.
    bool SpeakSentence(std::unique_lock<std::mutex>& lock, Utterance& u, Rendering& r)
    {
        const size_t first = u.nextWord;
        const uint32_t sentence = u.units.words[first].sentence;
        const size_t end = sentence + 1 < u.units.sentences.size() ? u.units.sentences[sentence + 1].firstWord
                                                                   : u.units.words.size();
        std::wstring text;
        std::vector<uint32_t> starts;
        try {
            for (size_t k = first; k < end; ++k) {
                if (k > first)
                    text += L' ';
                starts.push_back(static_cast<uint32_t>(text.size()));
                text.append(u.text, u.units.words[k].pos, u.units.words[k].len);
            }
        } catch (const std::bad_alloc&) {
            lastResult_ = E_OUTOFMEMORY;
            u.failed = true;
            return true;
        }
        const uint32_t request = ++lastHelperRequest_;
        const unsigned jumps = u.jumps;
        const uint32_t wordsPerMinute = HelperWordsPerMinute(wordsPerMinute_, rate_);
        lock.unlock();
        const bool sent = helper_->SendSpeak(request, wordsPerMinute, text);
        lock.lock();
        if (!sent)
            return false;
        converter_.Begin(helper_->SampleRate(), r.format);

        const uint64_t sentenceStart = r.frames;
        const uint64_t playAhead = r.format.nSamplesPerSec / kPlayAheadDivisor;
        uint64_t samples = 0;
        size_t nextToAnnounce = first;
        std::deque<HeardAt> waiting;
        // Words the helper passed over (a lone dash, say) are announced with the next.
        const auto announceThrough = [&](size_t word) {
            for (; nextToAnnounce <= word && nextToAnnounce < end; ++nextToAnnounce)
                AnnounceWord(u, nextToAnnounce);
        };
        const auto announceReached = [&](uint64_t frame) {
            while (!waiting.empty() && waiting.front().frame <= frame) {
                audioOffset_ = waiting.front().frame * r.format.nBlockAlign;
                announceThrough(waiting.front().word);
                waiting.pop_front();
            }
        };
        // Whether a message of this request may come now; the helper's end of the
        // connection has already checked its size.
        const auto fits = [&](const HelperMessage& message) {
            if (message.request != request)
                return false;
            switch (message.kind) {
            case helper_protocol::kWord: {
                helper_protocol::WordBody word;
                memcpy(&word, message.body.data(), sizeof word);
                return uint64_t{word.pos} + word.len <= text.size();
            }
            case helper_protocol::kAudio:
                return true;
            case helper_protocol::kDone:
                return std::all_of(waiting.begin(), waiting.end(), [&](const HeardAt& w) { return w.sample <= samples; });
            default:
                return false;
            }
        };
        bool done = false;
        for (;;) {
            if (Interrupted(u, jumps)) {
                // Only what is under way is cancelled: after its Done the helper has
                // nothing more of this request to stop.
                bool reached = true;
                if (!done) {
                    lock.unlock();
                    reached = helper_->SendCancel(request);
                    lock.lock();
                    unansweredCancel_ = request;
                    cancelledDone_ = false;
                    cancelDeadline_ = GetTickCount64() + kCancelAnswerMs;
                }
                if (r.realTime)
                    playback_.Stop();
                return reached;
            }
            if (r.realTime) {
                playback_.SetPaused(pauseCount_ > 0);
                const uint64_t heard = playback_.PlayedFrames();
                announceReached(heard);
                if (done && waiting.empty())
                    break;
                if (done || playback_.QueuedFrames() >= heard + playAhead) {
                    work_.wait_for(lock, kPlaybackPoll, [&] { return Interrupted(u, jumps); });
                    continue;
                }
            } else if (done) {
                break;
            } else if (pauseCount_ > 0) {
                work_.wait(lock, [&] { return Interrupted(u, jumps) || pauseCount_ == 0; });
                continue;
            }

            const unsigned volume = volume_;
            HelperMessage message;
            lock.unlock();
            const SpeechHelper::Received got = helper_->Receive(message, kHelperPollMs);
            const bool valid = got == SpeechHelper::Received::Nothing ||
                               (got == SpeechHelper::Received::Message && fits(message));
            bool converted = false;
            if (valid && got == SpeechHelper::Received::Message) {
                if (message.kind == helper_protocol::kAudio) {
                    samples += message.body.size() / 2;
                    converter_.Convert(reinterpret_cast<const int16_t*>(message.body.data()), message.body.size() / 2,
                                       volume, audioBuffer_);
                    converted = true;
                } else if (message.kind == helper_protocol::kDone) {
                    converter_.Finish(volume, audioBuffer_);
                    converted = true;
                }
            }
            const HRESULT written = converted && !r.realTime && !audioBuffer_.empty()
                ? r.output->WriteAudio(audioBuffer_.data(), static_cast<ULONG>(audioBuffer_.size()))
                : S_OK;
            lock.lock();
            if (!valid) {
                u.nextWord = nextToAnnounce;
                if (r.realTime)
                    playback_.Stop();
                return false;
            }
            if (got != SpeechHelper::Received::Message)
                continue;
            if (FAILED(written)) {
                // A full disk ends the utterance; the status reports why.
                lastResult_ = written;
                u.failed = true;
                continue;
            }
            if (message.kind == helper_protocol::kWord) {
                helper_protocol::WordBody word;
                memcpy(&word, message.body.data(), sizeof word);
                const size_t index = first + static_cast<size_t>(
                    std::upper_bound(starts.begin(), starts.end(), word.pos) - starts.begin() - 1);
                waiting.push_back({sentenceStart + converter_.OutputFrameOf(word.sample), index, word.sample});
                continue;
            }
            if (converted) {
                if (r.realTime)
                    playback_.Queue(audioBuffer_.data(), audioBuffer_.size());
                r.frames += audioBuffer_.size() / r.format.nBlockAlign;
            }
            if (message.kind == helper_protocol::kDone) {
                done = true;
                // Words the helper said nothing about still get their turn, at the end.
                waiting.push_back({r.frames, end - 1, 0});
            }
            if (!r.realTime)
                announceReached(r.frames);
        }
        u.nextWord = end;
        return true;
    }

    ComRefCount refs_;
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
    SPVPRIORITY priority_ = SPVPRI_NORMAL;
    SPEVENTENUM alertBoundary_ = SPEI_WORD_BOUNDARY;
    ULONG syncSpeakTimeout_ = kDefaultSyncSpeakTimeout;
    HANDLE doneEvent_ = nullptr;

    // What GetStatus reports.
    ULONG currentStream_ = 0;
    ULONG wordPos_ = 0, wordLen_ = 0, sentencePos_ = 0, sentenceLen_ = 0;
    HRESULT lastResult_ = S_OK;
    ULONGLONG audioOffset_ = 0;

    std::deque<SPEVENT> events_;
    ULONGLONG eventInterest_ = 0;
    ULONGLONG queuedInterest_ = 0;
    HWND notifyWindow_ = nullptr;
    UINT notifyMessage_ = 0;
    WPARAM notifyWParam_ = 0;
    LPARAM notifyLParam_ = 0;
    bool notifyByEvent_ = false;
    HANDLE notifyEvent_ = nullptr;
    bool notifyPending_ = false;

    ComPtr<ISpObjectToken> token_;
    ComPtr<ISpStreamFormat> device_;
    ComPtr<IStandInOutput> output_;
    ComPtr<ISpStreamFormat> outputStream_;
    // Used by the speaking thread only.
    std::vector<uint8_t> renderBuffer_;
    // The helper program, empty when the voice speaks tones.
    std::wstring helperProgram_;
    // Still starting until its Connect says it is ready.
    std::unique_ptr<SpeechHelper> helper_;
    unsigned failedHelperStarts_ = 0;
    uint32_t lastHelperRequest_ = 0;
    // A Cancel whose Cancelled has not yet come (0: none), whether that request's Done
    // has, and when the helper counts as hung.
    uint32_t unansweredCancel_ = 0;
    bool cancelledDone_ = false;
    ULONGLONG cancelDeadline_ = 0;
    SampleConverter converter_;
    std::vector<uint8_t> audioBuffer_;
    Playback playback_;
};

} // namespace

HRESULT CreateVoice(REFIID riid, void** ppv)
{
    Voice* voice = new (std::nothrow) Voice;
    if (!voice)
        return E_OUTOFMEMORY;
    HRESULT hr = voice->Start();
    if (SUCCEEDED(hr))
        hr = voice->QueryInterface(riid, ppv);
    voice->Release();
    return hr;
}
