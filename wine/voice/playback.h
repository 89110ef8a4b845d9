#pragma once
// Real-time output of the voice's default device: the samples go to the platform's
// wave output so that the user hears them, and the voice asks how far playing has got
// so that it raises each word's event when its sound is heard. Without an audio device
// the time is kept by the clock instead, as if the samples were being played.
// Used by the speaking thread only.
#include "platform/scoped_handle.h"
#include <windows.h>
#include <mmsystem.h>
#include <chrono>
#include <cstdint>
#include <list>
#include <vector>

struct WaveOutTraits {
    using Handle = HWAVEOUT;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { waveOutClose(handle); }
};

class Playback {
public:
    Playback() = default;
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Opens the device ahead of the first utterance: finding out that there is none can
    // take the platform most of a second.
    void Prepare(const WAVEFORMATEX& format) { OpenDevice(format); }
    // Starts an utterance's time line at frame 0, silencing whatever was left.
    void Begin(const WAVEFORMATEX& format);
    // Queues audio of the format given to Begin.
    void Queue(const uint8_t* data, size_t bytes);
    uint64_t QueuedFrames() const { return queuedFrames_; }
    // The frames the listener has heard so far.
    uint64_t PlayedFrames();
    void SetPaused(bool paused);
    // Silences at once and drops what is queued, which counts as heard from then on.
    void Stop();
    bool HasDevice() const { return static_cast<bool>(device_); }

private:
    struct Block {
        WAVEHDR header{};
        std::vector<uint8_t> data;
    };
    using Clock = std::chrono::steady_clock;

    bool OpenDevice(const WAVEFORMATEX& format);
    void CloseDevice();
    void ReleaseFinishedBlocks();

    ScopedHandle<WaveOutTraits> device_;
    WAVEFORMATEX deviceFormat_{};
    bool deviceFailed_ = false;
    std::list<Block> blocks_;

    WAVEFORMATEX format_{};
    uint64_t queuedFrames_ = 0;
    // Where the device's position, which starts again at every reset, begins.
    uint64_t deviceBaseFrames_ = 0;
    bool paused_ = false;
    // The clock's account: frames heard so far and when that was last brought up to date.
    double clockFrames_ = 0;
    Clock::time_point clockTick_{};
};
