// SpVoice: the platform's voice interface over the speaking thread. It checks what
// callers pass, keeps the settings that only callers read, and hands the rest to the
// speaker (what is spoken and how) and to the voice's events (what callers are told).
#include "audio_output.h"
#include "caller_output.h"
#include "com_ptr.h"
#include "device_output.h"
#include "markup.h"
#include "module.h"
#include "sapi_errors.h"
#include "speaker.h"
#include "tone.h"
#include "voice_events.h"
#include "voice_token.h"
#include <sapi.h>
#include <atomic>
#include <mutex>
#include <new>
#include <optional>
#include <string>

namespace {

constexpr long kMinRate = -10;
constexpr long kMaxRate = 10;
constexpr ULONG kDefaultSyncSpeakTimeout = 10000;

class Voice final : public ISpVoice {
public:
    Voice() : speaker_(events_) {}

    HRESULT Start()
    {
        speaker_.StartHelper();
        if (FAILED(SetVoice(nullptr)))
            return E_OUTOFMEMORY;
        device_ = ComPtr<ISpStreamFormat>::Adopt(NewDeviceOutput());
        ComPtr<IStandInOutput> device;
        if (!device_ || FAILED(device_->QueryInterface(IID_IStandInOutput, device.OutVoid())))
            return E_OUTOFMEMORY;
        const WAVEFORMATEX deviceFormat = device->AudioFormat();
        speaker_.UseOutput(std::move(device), device_);
        return speaker_.Start(deviceFormat);
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
        events_.StopNotifying();
        return S_OK;
    }

    STDMETHODIMP SetNotifyWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (!IsWindow(window))
            return E_INVALIDARG;
        events_.NotifyWindow(window, message, wParam, lParam);
        return S_OK;
    }

    STDMETHODIMP SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM, LPARAM) override { return E_NOTIMPL; }
    STDMETHODIMP SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM, LPARAM) override { return E_NOTIMPL; }
    STDMETHODIMP SetNotifyWin32Event() override { return events_.NotifyByEvent(); }
    STDMETHODIMP WaitForNotifyEvent(DWORD milliseconds) override { return events_.WaitForNotifyEvent(milliseconds); }
    STDMETHODIMP_(HANDLE) GetNotifyEventHandle() override { return events_.NotifyEventHandle(); }

    // ISpEventSource
    STDMETHODIMP SetInterest(ULONGLONG eventInterest, ULONGLONG queuedInterest) override
    {
        return events_.SetInterest(eventInterest, queuedInterest);
    }

    STDMETHODIMP GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) override
    {
        if (!events || (!fetched && count != 1))
            return E_POINTER;
        return events_.GetEvents(count, events, fetched);
    }

    STDMETHODIMP GetInfo(SPEVENTSOURCEINFO* info) override
    {
        if (!info)
            return E_POINTER;
        events_.GetInfo(*info);
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
        *stream = speaker_.OutputStream().Detach();
        return S_OK;
    }

    STDMETHODIMP Pause() override
    {
        speaker_.Pause();
        return S_OK;
    }

    STDMETHODIMP Resume() override
    {
        speaker_.Resume();
        return S_OK;
    }

    // The voice speaks what is queued after this with the token's eSpeak NG voice; what
    // is queued already keeps the voice it was queued with. No token: the default voice.
    STDMETHODIMP SetVoice(ISpObjectToken* token) override
    {
        SpeakingVoice voice;
        voice.token = token ? ComPtr<ISpObjectToken>::Share(token) : ComPtr<ISpObjectToken>::Adopt(NewDefaultVoiceToken());
        if (!voice.token)
            return E_OUTOFMEMORY;
        voice.espeakVoice = EspeakVoiceOf(voice.token.Get());
        std::lock_guard lock(voiceMutex_);
        voice_ = std::move(voice);
        return S_OK;
    }

    STDMETHODIMP GetVoice(ISpObjectToken** token) override
    {
        if (!token)
            return E_POINTER;
        std::lock_guard lock(voiceMutex_);
        *token = ComPtr<ISpObjectToken>(voice_.token).Detach();
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
        std::optional<std::wstring> spoken;
        SpeakingVoice voice;
        {
            std::lock_guard lock(voiceMutex_);
            voice = voice_;
        }
        if (text) {
            try {
                spoken = SpokenText(text, flags);
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
            const MarkupReading reading = ReadMarkup(text, flags);
            voice.pitch = reading.pitch;
            voice.references = reading.markup;
        }
        ULONG stream = 0;
        const HRESULT hr = speaker_.Speak(std::move(spoken), voice, (flags & SPF_PURGEBEFORESPEAK) != 0,
                                          !(flags & SPF_ASYNC), stream);
        if (streamNumber)
            *streamNumber = stream;
        return hr;
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
        speaker_.GetStatus(*status);
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
        const ULONG moved = speaker_.SkipSentences(items);
        if (skipped)
            *skipped = moved;
        return S_OK;
    }

    STDMETHODIMP SetPriority(SPVPRIORITY priority) override
    {
        priority_ = priority;
        return S_OK;
    }
    STDMETHODIMP GetPriority(SPVPRIORITY* priority) override
    {
        if (!priority)
            return E_POINTER;
        *priority = priority_;
        return S_OK;
    }
    STDMETHODIMP SetAlertBoundary(SPEVENTENUM boundary) override
    {
        alertBoundary_ = boundary;
        return S_OK;
    }
    STDMETHODIMP GetAlertBoundary(SPEVENTENUM* boundary) override
    {
        if (!boundary)
            return E_POINTER;
        *boundary = alertBoundary_;
        return S_OK;
    }

    STDMETHODIMP SetRate(LONG rate) override
    {
        if (rate < kMinRate || rate > kMaxRate)
            return E_INVALIDARG;
        speaker_.SetRate(rate);
        return S_OK;
    }
    STDMETHODIMP GetRate(LONG* rate) override
    {
        if (!rate)
            return E_POINTER;
        *rate = speaker_.Rate();
        return S_OK;
    }

    STDMETHODIMP SetVolume(USHORT volume) override
    {
        if (volume > kMaxVolume)
            return E_INVALIDARG;
        speaker_.SetVolume(volume);
        return S_OK;
    }
    STDMETHODIMP GetVolume(USHORT* volume) override
    {
        if (!volume)
            return E_POINTER;
        *volume = speaker_.Volume();
        return S_OK;
    }

    // Called from any thread, the export's worker among them.
    STDMETHODIMP WaitUntilDone(ULONG milliseconds) override
    {
        return speaker_.WaitUntilDone(milliseconds) ? S_OK : S_FALSE;
    }

    STDMETHODIMP SetSyncSpeakTimeout(ULONG milliseconds) override
    {
        syncSpeakTimeout_ = milliseconds;
        return S_OK;
    }
    STDMETHODIMP GetSyncSpeakTimeout(ULONG* milliseconds) override
    {
        if (!milliseconds)
            return E_POINTER;
        *milliseconds = syncSpeakTimeout_;
        return S_OK;
    }

    STDMETHODIMP_(HANDLE) SpeakCompleteEvent() override { return speaker_.DoneEvent(); }

    STDMETHODIMP IsUISupported(LPCWSTR, void*, ULONG, BOOL* supported) override
    {
        if (!supported)
            return E_POINTER;
        *supported = FALSE;
        return S_OK;
    }
    STDMETHODIMP DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG) override { return E_NOTIMPL; }

private:
    // The output is one of the voice's own objects (its default device or an SpStream)
    // or a stream of the caller's that tells its format. An audio device token stands
    // for the default device, the only one there is.
    HRESULT UseOutput(IUnknown* output)
    {
        ComPtr<IStandInOutput> target;
        ComPtr<ISpStreamFormat> stream;
        ComPtr<ISpObjectToken> token;
        if (output && SUCCEEDED(output->QueryInterface(IID_IStandInOutput, target.OutVoid()))) {
            if (FAILED(output->QueryInterface(IID_ISpStreamFormat, stream.OutVoid())))
                return E_INVALIDARG;
        } else if (!output || SUCCEEDED(output->QueryInterface(IID_ISpObjectToken, token.OutVoid()))) {
            stream = device_;
            if (FAILED(stream->QueryInterface(IID_IStandInOutput, target.OutVoid())))
                return E_UNEXPECTED;
        } else if (SUCCEEDED(output->QueryInterface(IID_ISpStreamFormat, stream.OutVoid()))) {
            const HRESULT hr = NewCallerOutput(stream.Get(), target);
            if (FAILED(hr))
                return hr;
        } else {
            return E_INVALIDARG;
        }
        // A stream that is neither bound to a file nor to a base stream has no format.
        if (!target->IsRealTime() && !IsRenderableFormat(target->AudioFormat()))
            return SPERR_UNINITIALIZED;
        speaker_.UseOutput(std::move(target), std::move(stream));
        return S_OK;
    }

    // Declared first, so that the module is let go of last, once the thread has ended.
    ModuleHold module_;
    ComRefCount refs_;
    // The voice that speaks what is queued next.
    std::mutex voiceMutex_;
    SpeakingVoice voice_;
    ComPtr<ISpStreamFormat> device_;
    // The speaker raises events until it has ended, so they outlive it.
    VoiceEvents events_;
    Speaker speaker_;
    // Kept for callers to read back; the stand-in speaks the same whatever they hold.
    std::atomic<SPVPRIORITY> priority_{SPVPRI_NORMAL};
    std::atomic<SPEVENTENUM> alertBoundary_{SPEI_WORD_BOUNDARY};
    std::atomic<ULONG> syncSpeakTimeout_{kDefaultSyncSpeakTimeout};
};

} // namespace

HRESULT CreateVoice(REFIID riid, void** ppv)
{
    const ComPtr<Voice> voice = ComPtr<Voice>::Adopt(new (std::nothrow) Voice);
    if (!voice)
        return E_OUTOFMEMORY;
    const HRESULT hr = voice->Start();
    return SUCCEEDED(hr) ? voice->QueryInterface(riid, ppv) : hr;
}
