#pragma once
// Speech at another speed with its pitch kept, through the Sonic library, as the
// program's own player and the export need it.
#include <cstddef>
#include <cstdint>
#include <vector>

struct sonicStreamStruct;

constexpr double MinStretchSpeed = 0.5;
constexpr double MaxStretchSpeed = 4.0;

// 16-bit interleaved PCM in, the same at another speed out, the pitch kept. Until a
// Reset succeeds, Process and Flush append nothing.
class TimeStretch {
public:
    TimeStretch();
    ~TimeStretch();                      // frees the Sonic stream
    TimeStretch(const TimeStretch&) = delete;
    TimeStretch& operator=(const TimeStretch&) = delete;
    // Starts anew for frames of `channels` samples at sampleRate; false when Sonic could not be had.
    bool Reset(int sampleRate, int channels);
    // 0.5 to 4.0; takes effect for the frames given after it.
    void SetSpeed(double speed);
    double Speed() const;
    // Takes frameCount frames and appends every frame now ready to out.
    void Process(const int16_t* frames, size_t frameCount, std::vector<int16_t>& out);
    // The input has ended: appends the frames still held.
    void Flush(std::vector<int16_t>& out);
    // Drops everything held (a stop), keeping rate, channels and speed.
    void Clear();

private:
    void TakeReady(std::vector<int16_t>& out);

    sonicStreamStruct* stream_ = nullptr;
    int sampleRate_ = 0;
    int channels_ = 0;
    double speed_ = 1.0;
};
