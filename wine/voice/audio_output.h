#pragma once
// What the speaking thread renders into. The voice's own output objects (the default
// device and SpStream) answer QueryInterface for this private interface; the thread
// calls it directly, never through a proxy, so no call ever waits for another
// apartment's message loop.
#include <windows.h>
#include <mmreg.h>
#include <unknwn.h>
#include <cstdint>

// {4C1F0B0E-6E55-4D0B-9A43-0C4D9E3F8A21}
inline constexpr IID IID_IStandInOutput = {
    0x4c1f0b0e, 0x6e55, 0x4d0b, {0x9a, 0x43, 0x0c, 0x4d, 0x9e, 0x3f, 0x8a, 0x21}};

struct IStandInOutput : public IUnknown {
    // True for the default device: nothing is written, speech takes real time.
    virtual bool IsRealTime() = 0;
    // The format to render in (the WAVEFORMATEX part of it).
    virtual WAVEFORMATEX AudioFormat() = 0;
    virtual HRESULT WriteAudio(const void* data, ULONG bytes) = 0;
    // Called when an utterance is done, so that what was written is a complete file.
    virtual void Checkpoint() = 0;
    // Where the audio offsets of the next utterance's events start. The voice's own
    // outputs count from every utterance's start (0); a caller's stream is told
    // positions in it, so its offsets go on from what has been written to it so far.
    virtual uint64_t OffsetBase() = 0;
};
