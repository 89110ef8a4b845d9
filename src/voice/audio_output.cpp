#include "voice/audio_output.h"
#include "voice/wasapi_output.h"
#include "platform/log.h"
#include "platform/scoped_handle.h"
#include <mmsystem.h>
#include <algorithm>
#include <chrono>
#include <list>
#include <vector>

namespace {

struct WaveOutTraits {
    using Handle = HWAVEOUT;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { waveOutClose(handle); }
};

class WaveOutput final : public AudioOutput {
public:
    WaveOutput(HWAVEOUT device, uint16_t blockAlign) : device_(device), blockAlign_(blockAlign) {}
    ~WaveOutput() override
    {
        // Headers must be unprepared before the device closes, and reset first so that
        // every one of them is done.
        Reset();
    }

    bool Queue(const int16_t* samples, size_t frames) override
    {
        ReleaseFinished();
        Block& block = blocks_.emplace_back();
        block.data.assign(reinterpret_cast<const uint8_t*>(samples),
                          reinterpret_cast<const uint8_t*>(samples) + frames * blockAlign_);
        block.header.lpData = reinterpret_cast<LPSTR>(block.data.data());
        block.header.dwBufferLength = static_cast<DWORD>(block.data.size());
        MMRESULT result = waveOutPrepareHeader(device_.get(), &block.header, sizeof block.header);
        if (result == MMSYSERR_NOERROR)
            result = waveOutWrite(device_.get(), &block.header, sizeof block.header);
        if (result != MMSYSERR_NOERROR) {
            LogFailure(L"waveOutWrite", result);
            waveOutUnprepareHeader(device_.get(), &block.header, sizeof block.header);
            blocks_.pop_back();
            return false;
        }
        queued_ += frames;
        return true;
    }

    uint64_t QueuedFrames() const override { return queued_; }

    uint64_t PlayedFrames() override
    {
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        if (waveOutGetPosition(device_.get(), &time, sizeof time) != MMSYSERR_NOERROR)
            return played_;
        uint64_t frames = time.wType == TIME_SAMPLES ? time.u.sample
                          : time.wType == TIME_BYTES ? time.u.cb / blockAlign_
                                                     : played_;
        // The device counts in 32 bits; what it reports only ever grows between resets.
        played_ = std::clamp<uint64_t>(frames, played_, queued_);
        return played_;
    }

    void Pause() override { waveOutPause(device_.get()); }
    void Resume() override { waveOutRestart(device_.get()); }

    void Reset() override
    {
        waveOutReset(device_.get());
        ReleaseFinished();
        queued_ = played_ = 0;
    }

    bool IsDevice() const override { return true; }

private:
    struct Block {
        WAVEHDR header{};
        std::vector<uint8_t> data;
    };

    void ReleaseFinished()
    {
        for (auto it = blocks_.begin(); it != blocks_.end();) {
            if (!(it->header.dwFlags & WHDR_DONE))
                break;
            waveOutUnprepareHeader(device_.get(), &it->header, sizeof it->header);
            it = blocks_.erase(it);
        }
    }

    ScopedHandle<WaveOutTraits> device_;
    uint16_t blockAlign_;
    std::list<Block> blocks_;
    uint64_t queued_ = 0;
    uint64_t played_ = 0;
};

// Plays in real time what it is given, and never runs ahead of it.
class ClockOutput final : public AudioOutput {
public:
    explicit ClockOutput(uint32_t rate) : rate_(rate) {}

    bool Queue(const int16_t*, size_t frames) override
    {
        Advance();
        queued_ += frames;
        return true;
    }
    uint64_t QueuedFrames() const override { return queued_; }
    uint64_t PlayedFrames() override
    {
        Advance();
        return static_cast<uint64_t>(played_);
    }
    void Pause() override
    {
        Advance();
        paused_ = true;
    }
    void Resume() override
    {
        Advance();
        paused_ = false;
    }
    void Reset() override
    {
        Advance();
        queued_ = 0;
        played_ = 0;
    }
    bool IsDevice() const override { return false; }

private:
    using Clock = std::chrono::steady_clock;

    void Advance()
    {
        const Clock::time_point now = Clock::now();
        if (!paused_) {
            const double seconds = std::chrono::duration<double>(now - tick_).count();
            played_ = std::min(static_cast<double>(queued_), played_ + seconds * rate_);
        }
        tick_ = now;
    }

    uint32_t rate_;
    uint64_t queued_ = 0;
    double played_ = 0;
    bool paused_ = false;
    Clock::time_point tick_ = Clock::now();
};

} // namespace

std::unique_ptr<AudioOutput> OpenAudioOutput(uint32_t sampleRate, uint16_t channels)
{
    if (std::unique_ptr<AudioOutput> output = OpenWasapiOutput(sampleRate, channels))
        return output;
    WAVEFORMATEX format = Pcm16Format(sampleRate, channels);
    HWAVEOUT device = nullptr;
    const MMRESULT opened = waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (opened == MMSYSERR_NOERROR)
        return std::make_unique<WaveOutput>(device, format.nBlockAlign);
    LogFailure(L"waveOutOpen", opened);
    return OpenClockOutput(sampleRate);
}

std::unique_ptr<AudioOutput> OpenClockOutput(uint32_t sampleRate)
{
    return std::make_unique<ClockOutput>(sampleRate);
}

WAVEFORMATEX Pcm16Format(uint32_t sampleRate, uint16_t channels)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = sampleRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * sizeof(int16_t));
    format.nAvgBytesPerSec = sampleRate * format.nBlockAlign;
    return format;
}
