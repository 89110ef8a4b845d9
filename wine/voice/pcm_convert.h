#pragma once
// Turns the speech helper's 16-bit mono samples into frames of the output's format:
// another sample rate by linear interpolation, the same value on every channel, the
// volume applied. One converter follows one request's samples from their start.
#include <windows.h>
#include <mmreg.h>
#include <cstdint>
#include <vector>

class SampleConverter {
public:
    // A new request whose samples come at inputRate; output is a plain, renderable format.
    void Begin(uint32_t inputRate, const WAVEFORMATEX& output);
    // Replaces out with the frames that these samples complete. Volume 0..100.
    void Convert(const int16_t* samples, size_t count, unsigned volume, std::vector<uint8_t>& out);
    // Replaces out with the frames still owed at the end of the request.
    void Finish(unsigned volume, std::vector<uint8_t>& out);
    // The first output frame at or after the given input sample, counted from the start.
    uint64_t OutputFrameOf(uint64_t inputSample) const;

private:
    void Emit(double value, unsigned volume, std::vector<uint8_t>& out) const;

    uint32_t inputRate_ = 1;
    WAVEFORMATEX output_{};
    uint64_t inputSeen_ = 0;
    uint64_t produced_ = 0;
    // The last sample of the previous piece, the left neighbour of the next frames.
    double previous_ = 0;
};
