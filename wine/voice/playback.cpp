#include "playback.h"
#include <algorithm>
#include <cstring>

Playback::~Playback()
{
    CloseDevice();
}

bool Playback::OpenDevice(const WAVEFORMATEX& format)
{
    if (device_ && memcmp(&deviceFormat_, &format, sizeof format) == 0)
        return true;
    CloseDevice();
    // A machine without sound (a server, a test run) has no device: that is not an
    // error, the clock stands in for it. Once refused, the device is not asked again.
    if (deviceFailed_)
        return false;
    WAVEFORMATEX wanted = format;
    wanted.cbSize = 0;
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &wanted, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        deviceFailed_ = true;
        return false;
    }
    device_.reset(device);
    deviceFormat_ = format;
    return true;
}

void Playback::CloseDevice()
{
    if (!device_)
        return;
    // Closing is refused while blocks are queued.
    Stop();
    device_.reset();
}

void Playback::ReleaseFinishedBlocks()
{
    while (!blocks_.empty() && (blocks_.front().header.dwFlags & WHDR_DONE)) {
        waveOutUnprepareHeader(device_.get(), &blocks_.front().header, sizeof(WAVEHDR));
        blocks_.pop_front();
    }
}

void Playback::Begin(const WAVEFORMATEX& format)
{
    Stop();
    queuedFrames_ = 0;
    deviceBaseFrames_ = 0;
    clockFrames_ = 0;
    format_ = format;
    OpenDevice(format);
    if (device_ && paused_)
        waveOutPause(device_.get());
}

void Playback::Queue(const uint8_t* data, size_t bytes)
{
    if (bytes == 0)
        return;
    queuedFrames_ += bytes / format_.nBlockAlign;
    if (!device_)
        return;
    ReleaseFinishedBlocks();
    try {
        Block& block = blocks_.emplace_back();
        block.data.assign(data, data + bytes);
        block.header.lpData = reinterpret_cast<LPSTR>(block.data.data());
        block.header.dwBufferLength = static_cast<DWORD>(bytes);
        if (waveOutPrepareHeader(device_.get(), &block.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            blocks_.pop_back();
            return;
        }
        if (waveOutWrite(device_.get(), &block.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            // Not handed over: counted as done so that it is released with the rest.
            block.header.dwFlags |= WHDR_DONE;
        }
    } catch (const std::bad_alloc&) {
        // The sound skips a piece; the time line goes on.
    }
}

uint64_t Playback::PlayedFrames()
{
    if (device_) {
        ReleaseFinishedBlocks();
        if (blocks_.empty())
            return queuedFrames_;
        MMTIME time{};
        time.wType = TIME_BYTES;
        if (waveOutGetPosition(device_.get(), &time, sizeof time) != MMSYSERR_NOERROR)
            return 0;
        uint64_t frames = 0;
        if (time.wType == TIME_BYTES)
            frames = time.u.cb / format_.nBlockAlign;
        else if (time.wType == TIME_SAMPLES)
            frames = time.u.sample;
        else if (time.wType == TIME_MS)
            frames = static_cast<uint64_t>(time.u.ms) * format_.nSamplesPerSec / 1000;
        return std::min(deviceBaseFrames_ + frames, queuedFrames_);
    }
    const Clock::time_point now = Clock::now();
    if (!paused_) {
        const double elapsed = std::chrono::duration<double>(now - clockTick_).count();
        clockFrames_ = std::min(static_cast<double>(queuedFrames_), clockFrames_ + elapsed * format_.nSamplesPerSec);
    }
    clockTick_ = now;
    return static_cast<uint64_t>(clockFrames_);
}

void Playback::SetPaused(bool paused)
{
    if (paused == paused_)
        return;
    PlayedFrames();
    paused_ = paused;
    clockTick_ = Clock::now();
    if (device_)
        paused ? waveOutPause(device_.get()) : waveOutRestart(device_.get());
}

void Playback::Stop()
{
    if (device_) {
        // Reset silences the device at once and hands every block back as done; the
        // position starts again from zero.
        waveOutReset(device_.get());
        ReleaseFinishedBlocks();
        if (paused_)
            waveOutPause(device_.get());
    }
    deviceBaseFrames_ = queuedFrames_;
    clockFrames_ = static_cast<double>(queuedFrames_);
    clockTick_ = Clock::now();
}
