#pragma once
// Where the player's frames become sound: the platform's shared audio engine (WASAPI),
// else its wave output, or, on a machine where no device opens, a clock that plays them
// silently in real time, so that the highlight moves and the reading ends on time all the
// same. Used under the player's lock, opened and destroyed on the player's thread.
#include <windows.h>
#include <mmsystem.h>
#include <cstdint>
#include <memory>

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Queues frames of 16-bit samples, channels interleaved, behind what is queued.
    virtual bool Queue(const int16_t* samples, size_t frames) = 0;
    // Frames queued and frames heard since the output opened or was last reset.
    virtual uint64_t QueuedFrames() const = 0;
    virtual uint64_t PlayedFrames() = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Silences at once and drops what is queued; both counts start again at 0.
    virtual void Reset() = 0;
    // False for the clock.
    virtual bool IsDevice() const = 0;
};

// The default device for 16-bit frames of the rate and channels given, through WASAPI or
// else the wave output, or the clock when neither will open (the reasons are logged).
std::unique_ptr<AudioOutput> OpenAudioOutput(uint32_t sampleRate, uint16_t channels);
std::unique_ptr<AudioOutput> OpenClockOutput(uint32_t sampleRate);
// The player's frames as the platform describes them: 16-bit PCM.
WAVEFORMATEX Pcm16Format(uint32_t sampleRate, uint16_t channels);
