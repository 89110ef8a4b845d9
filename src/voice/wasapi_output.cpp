#include "voice/wasapi_output.h"
#include "platform/com_apartment.h"
#include "platform/com_ptr.h"
#include "platform/log.h"
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <algorithm>
#include <cstring>
#include <vector>

// Older MinGW-w64 headers lack them.
#ifndef AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM
#define AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM 0x80000000
#endif
#ifndef AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY
#define AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY 0x08000000
#endif

namespace {

// The engine's buffer, in 100-nanosecond units: enough to ride out a busy moment of the
// player's thread, which keeps only a little ahead of the ear anyway.
constexpr REFERENCE_TIME BufferDuration = 150 * 10000;

bool Succeeded(const wchar_t* call, HRESULT result)
{
    if (SUCCEEDED(result))
        return true;
    LogFailure(call, static_cast<DWORD>(result));
    return false;
}

// The audio client and its services are apartment-neutral: the player's window thread
// calls them directly (under the player's lock) although the player's own thread made them.
class WasapiOutput final : public AudioOutput {
public:
    WasapiOutput(uint32_t sampleRate, uint16_t channels) : rate_(sampleRate), channels_(channels) {}
    ~WasapiOutput() override
    {
        if (started_ && !stand_in_)
            client_->Stop();
    }

    bool Open();

    bool Queue(const int16_t* samples, size_t frames) override
    {
        queued_ += frames;
        if (stand_in_)
            return stand_in_->Queue(samples, frames);
        // What was pushed is let go of before the buffer grows.
        if (heldRead_ > 0 && heldRead_ * 2 >= held_.size()) {
            held_.erase(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(heldRead_));
            heldRead_ = 0;
        }
        held_.insert(held_.end(), samples, samples + frames * channels_);
        Push();
        return true;
    }

    uint64_t QueuedFrames() const override { return queued_; }

    uint64_t PlayedFrames() override
    {
        Push();
        uint64_t frames = 0;
        UINT64 position = 0;
        // The device's clock counts in units of its own; what was queued, in frames.
        if (!stand_in_ && Playing(L"IAudioClock::GetPosition", position_->GetPosition(&position, nullptr)))
            frames = position / frequency_ * rate_ + position % frequency_ * rate_ / frequency_;
        if (stand_in_)
            frames = lostAt_ + stand_in_->PlayedFrames();
        played_ = std::clamp<uint64_t>(frames, played_, queued_);
        return played_;
    }

    void Pause() override
    {
        paused_ = true;
        if (stand_in_)
            stand_in_->Pause();
        else if (started_ && Playing(L"IAudioClient::Stop", client_->Stop()))
            started_ = false;
    }

    void Resume() override
    {
        paused_ = false;
        if (stand_in_)
            stand_in_->Resume();
        else if (!started_)
            Start();
    }

    void Reset() override
    {
        queued_ = played_ = 0;
        held_.clear();
        heldRead_ = 0;
        if (stand_in_) {
            stand_in_->Reset();
            lostAt_ = 0;
            return;
        }
        if (started_ && !Playing(L"IAudioClient::Stop", client_->Stop()))
            return;
        started_ = false;
        Playing(L"IAudioClient::Reset", client_->Reset());
    }

    bool IsDevice() const override { return true; }

private:
    // Moves held frames into the engine's buffer as far as it has room.
    void Push()
    {
        const size_t heldFrames = (held_.size() - heldRead_) / channels_;
        UINT32 padding = 0;
        if (stand_in_ || heldFrames == 0 || !Playing(L"IAudioClient::GetCurrentPadding", client_->GetCurrentPadding(&padding)))
            return;
        const auto frames = static_cast<UINT32>(std::min<size_t>(heldFrames, bufferFrames_ - std::min(padding, bufferFrames_)));
        BYTE* data = nullptr;
        if (frames == 0 || !Playing(L"IAudioRenderClient::GetBuffer", render_->GetBuffer(frames, &data)))
            return;
        std::memcpy(data, held_.data() + heldRead_, frames * channels_ * sizeof(int16_t));
        if (!Playing(L"IAudioRenderClient::ReleaseBuffer", render_->ReleaseBuffer(frames, 0)))
            return;
        heldRead_ += frames * channels_;
        if (!paused_ && !started_)
            Start();
    }

    void Start()
    {
        if (Playing(L"IAudioClient::Start", client_->Start()))
            started_ = true;
    }

    // False when a call made while playing failed: the device is taken as lost (unplugged,
    // disabled, its format changed), and a clock plays on from the frame it had reached.
    bool Playing(const wchar_t* call, HRESULT result)
    {
        if (SUCCEEDED(result))
            return true;
        LogFailure(call, static_cast<DWORD>(result));
        stand_in_ = OpenClockOutput(rate_);
        lostAt_ = played_;
        // What the device had not played yet is heard from here on, as silence.
        const std::vector<int16_t> rest((queued_ - played_) * channels_);
        stand_in_->Queue(rest.data(), queued_ - played_);
        if (paused_)
            stand_in_->Pause();
        held_.clear();
        heldRead_ = 0;
        return false;
    }

    // Released from the bottom up: COM goes last, on the thread that opened it.
    ComApartment apartment_;
    ComPtr<IAudioClient> client_;
    ComPtr<IAudioRenderClient> render_;
    ComPtr<IAudioClock> position_;

    const uint32_t rate_;
    const uint16_t channels_;
    UINT32 bufferFrames_ = 0;
    UINT64 frequency_ = 0;
    std::vector<int16_t> held_;   // samples the engine had no room for yet, from heldRead_
    size_t heldRead_ = 0;
    uint64_t queued_ = 0;
    uint64_t played_ = 0;
    bool paused_ = false;
    bool started_ = false;
    std::unique_ptr<AudioOutput> stand_in_;   // once the device is lost
    uint64_t lostAt_ = 0;
};

bool WasapiOutput::Open()
{
    // Already in a single-threaded apartment, the thread can use the engine all the same.
    if (apartment_.Result() != RPC_E_CHANGED_MODE && !Succeeded(L"CoInitializeEx", apartment_.Result()))
        return false;
    ComPtr<IMMDeviceEnumerator> devices;
    ComPtr<IMMDevice> device;
    if (!Succeeded(L"CoCreateInstance(MMDeviceEnumerator)",
                   CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                    devices.OutVoid())) ||
        !Succeeded(L"IMMDeviceEnumerator::GetDefaultAudioEndpoint",
                   devices->GetDefaultAudioEndpoint(eRender, eConsole, device.Out())) ||
        !Succeeded(L"IMMDevice::Activate",
                   device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client_.OutVoid())))
        return false;

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels_;
    format.nSamplesPerSec = rate_;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels_ * sizeof(int16_t));
    format.nAvgBytesPerSec = rate_ * format.nBlockAlign;
    // The engine mixes in its own format, mostly float at 48 kHz; it converts ours.
    const DWORD flags = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    return Succeeded(L"IAudioClient::Initialize",
                     client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, BufferDuration, 0, &format, nullptr)) &&
           Succeeded(L"IAudioClient::GetBufferSize", client_->GetBufferSize(&bufferFrames_)) &&
           Succeeded(L"IAudioClient::GetService(IAudioRenderClient)",
                     client_->GetService(__uuidof(IAudioRenderClient), render_.OutVoid())) &&
           Succeeded(L"IAudioClient::GetService(IAudioClock)",
                     client_->GetService(__uuidof(IAudioClock), position_.OutVoid())) &&
           Succeeded(L"IAudioClock::GetFrequency", position_->GetFrequency(&frequency_)) &&
           (frequency_ != 0 || Succeeded(L"IAudioClock::GetFrequency", E_UNEXPECTED));
}

} // namespace

std::unique_ptr<AudioOutput> OpenWasapiOutput(uint32_t sampleRate, uint16_t channels)
{
    auto output = std::make_unique<WasapiOutput>(sampleRate, channels);
    if (!output->Open())
        return nullptr;
    return output;
}
