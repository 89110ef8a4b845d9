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

// A shared-mode stream on the default render device. The audio client and its services
// are apartment-neutral: the player's window thread calls them directly (under the
// player's lock) although the player's own thread made them.
class WasapiEndpoint final : public RenderEndpoint {
public:
    WasapiEndpoint(uint32_t sampleRate, uint16_t channels) : rate_(sampleRate), channels_(channels) {}

    bool Open();

    bool Room(uint32_t& frames) override
    {
        UINT32 padding = 0;
        if (!Succeeded(L"IAudioClient::GetCurrentPadding", client_->GetCurrentPadding(&padding)))
            return false;
        frames = bufferFrames_ - std::min(padding, bufferFrames_);
        return true;
    }

    bool Write(const int16_t* samples, uint32_t frames) override
    {
        BYTE* data = nullptr;
        if (!Succeeded(L"IAudioRenderClient::GetBuffer", render_->GetBuffer(frames, &data)))
            return false;
        std::memcpy(data, samples, frames * channels_ * sizeof(int16_t));
        return Succeeded(L"IAudioRenderClient::ReleaseBuffer", render_->ReleaseBuffer(frames, 0));
    }

    bool Position(uint64_t& frames) override
    {
        UINT64 position = 0;
        if (!Succeeded(L"IAudioClock::GetPosition", clock_->GetPosition(&position, nullptr)))
            return false;
        // The clock counts in units of its own per second.
        frames = position / frequency_ * rate_ + position % frequency_ * rate_ / frequency_;
        return true;
    }

    bool Start() override { return Succeeded(L"IAudioClient::Start", client_->Start()); }
    bool Stop() override { return Succeeded(L"IAudioClient::Stop", client_->Stop()); }
    bool Reset() override { return Succeeded(L"IAudioClient::Reset", client_->Reset()); }

private:
    // Released from the bottom up: COM goes last, on the thread that opened it.
    ComApartment apartment_;
    ComPtr<IAudioClient> client_;
    ComPtr<IAudioRenderClient> render_;
    ComPtr<IAudioClock> clock_;

    const uint32_t rate_;
    const uint16_t channels_;
    UINT32 bufferFrames_ = 0;
    UINT64 frequency_ = 0;
};

bool WasapiEndpoint::Open()
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

    WAVEFORMATEX format = Pcm16Format(rate_, channels_);
    // The engine mixes in its own format, mostly float at 48 kHz; it converts ours.
    const DWORD flags = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    return Succeeded(L"IAudioClient::Initialize",
                     client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, BufferDuration, 0, &format, nullptr)) &&
           Succeeded(L"IAudioClient::GetBufferSize", client_->GetBufferSize(&bufferFrames_)) &&
           Succeeded(L"IAudioClient::GetService(IAudioRenderClient)",
                     client_->GetService(__uuidof(IAudioRenderClient), render_.OutVoid())) &&
           Succeeded(L"IAudioClient::GetService(IAudioClock)",
                     client_->GetService(__uuidof(IAudioClock), clock_.OutVoid())) &&
           Succeeded(L"IAudioClock::GetFrequency", clock_->GetFrequency(&frequency_)) &&
           (frequency_ != 0 || Succeeded(L"IAudioClock::GetFrequency", E_UNEXPECTED));
}

class EndpointOutput final : public AudioOutput {
public:
    EndpointOutput(std::unique_ptr<RenderEndpoint> endpoint, uint32_t sampleRate, uint16_t channels)
        : endpoint_(std::move(endpoint)), rate_(sampleRate), channels_(channels)
    {
    }
    ~EndpointOutput() override
    {
        if (started_ && !standIn_)
            endpoint_->Stop();
    }

    bool Queue(const int16_t* samples, size_t frames) override
    {
        queued_ += frames;
        if (standIn_)
            return standIn_->Queue(samples, frames);
        // What was written is let go of before the buffer grows.
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
        if (!standIn_)
            Playing(endpoint_->Position(frames));
        if (standIn_)
            frames = lostAt_ + standIn_->PlayedFrames();
        played_ = std::clamp<uint64_t>(frames, played_, queued_);
        return played_;
    }

    void Pause() override
    {
        paused_ = true;
        if (standIn_)
            standIn_->Pause();
        else if (started_ && Playing(endpoint_->Stop()))
            started_ = false;
    }

    void Resume() override
    {
        paused_ = false;
        if (standIn_)
            standIn_->Resume();
        else if (!started_)
            Start();
    }

    void Reset() override
    {
        queued_ = played_ = 0;
        held_.clear();
        heldRead_ = 0;
        if (standIn_) {
            standIn_->Reset();
            lostAt_ = 0;
            return;
        }
        if (started_ && !Playing(endpoint_->Stop()))
            return;
        started_ = false;
        Playing(endpoint_->Reset());
    }

    bool IsDevice() const override { return true; }

private:
    // Writes held frames into the stream's buffer as far as it has room.
    void Push()
    {
        const size_t heldFrames = (held_.size() - heldRead_) / channels_;
        uint32_t room = 0;
        if (standIn_ || heldFrames == 0 || !Playing(endpoint_->Room(room)))
            return;
        const auto frames = static_cast<uint32_t>(std::min<size_t>(heldFrames, room));
        if (frames == 0 || !Playing(endpoint_->Write(held_.data() + heldRead_, frames)))
            return;
        heldRead_ += frames * channels_;
        if (!paused_ && !started_)
            Start();
    }

    void Start()
    {
        if (Playing(endpoint_->Start()))
            started_ = true;
    }

    // False when a call failed: the device is taken as lost (unplugged, disabled, its
    // format changed), and a clock plays on from the frame it had reached. The endpoint
    // stays until the output ends, so that COM is let go of on the thread that opened it.
    bool Playing(bool succeeded)
    {
        if (succeeded)
            return true;
        standIn_ = OpenClockOutput(rate_);
        lostAt_ = played_;
        // What the device had not played yet is heard from here on, as silence.
        const std::vector<int16_t> rest((queued_ - played_) * channels_);
        standIn_->Queue(rest.data(), queued_ - played_);
        if (paused_)
            standIn_->Pause();
        held_.clear();
        heldRead_ = 0;
        return false;
    }

    std::unique_ptr<RenderEndpoint> endpoint_;
    const uint32_t rate_;
    const uint16_t channels_;
    std::vector<int16_t> held_;   // samples the stream had no room for yet, from heldRead_
    size_t heldRead_ = 0;
    uint64_t queued_ = 0;
    uint64_t played_ = 0;
    bool paused_ = false;
    bool started_ = false;
    std::unique_ptr<AudioOutput> standIn_;   // once the device is lost
    uint64_t lostAt_ = 0;
};

} // namespace

std::unique_ptr<AudioOutput> OpenWasapiOutput(uint32_t sampleRate, uint16_t channels)
{
    auto endpoint = std::make_unique<WasapiEndpoint>(sampleRate, channels);
    if (!endpoint->Open())
        return nullptr;
    return MakeEndpointOutput(std::move(endpoint), sampleRate, channels);
}

std::unique_ptr<AudioOutput> MakeEndpointOutput(std::unique_ptr<RenderEndpoint> endpoint, uint32_t sampleRate,
                                                uint16_t channels)
{
    return std::make_unique<EndpointOutput>(std::move(endpoint), sampleRate, channels);
}
