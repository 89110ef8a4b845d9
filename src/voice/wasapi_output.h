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
