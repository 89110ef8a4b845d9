#pragma once
// The player's output through the platform's shared audio engine (WASAPI), the way
// every current Windows program plays: the engine converts the voice's 16-bit frames to
// the device's own format and rate itself. A device that goes away while it plays (or any
// call that fails then) does not stop the reading: from then on the frames are counted as
// played in real time, as the clock does, and the failure is logged once.
#include "voice/audio_output.h"

// The default render device for 16-bit frames of the rate and channels given, or null
// when there is none or it refuses them (the failing call is logged). COM is initialised
// on the calling thread for the output's lifetime, so the output must be destroyed on the
// thread that opened it.
std::unique_ptr<AudioOutput> OpenWasapiOutput(uint32_t sampleRate, uint16_t channels);

// What the output asks of the engine's stream; each call logs its own failure. The tests
// stand in for it to lose a device at will.
class RenderEndpoint {
public:
    virtual ~RenderEndpoint() = default;
    // Frames the stream's buffer has room for now.
    virtual bool Room(uint32_t& frames) = 0;
    virtual bool Write(const int16_t* samples, uint32_t frames) = 0;
    // Frames played since the stream opened or was last reset.
    virtual bool Position(uint64_t& frames) = 0;
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual bool Reset() = 0;
};

// The output over a stream that is open: frames that do not fit are held and written as
// room comes, on later calls.
std::unique_ptr<AudioOutput> MakeEndpointOutput(std::unique_ptr<RenderEndpoint> endpoint, uint32_t sampleRate,
                                                uint16_t channels);
