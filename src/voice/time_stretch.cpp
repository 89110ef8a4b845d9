#include "voice/time_stretch.h"
#include <sonic.h>
#include <algorithm>

namespace {

// Sonic counts in int and grows its buffers to hold what it is given: a long buffer goes
// in slices, and what each makes is taken out before the next.
constexpr size_t SliceFrames = 16384;

// Sonic's pitch search needs a few samples per period of the highest voice it looks for,
// and a channel count that fits a frame.
constexpr int MinSampleRate = 4000;
constexpr int MaxSampleRate = 384000;
constexpr int MaxChannels = 8;

} // namespace

TimeStretch::TimeStretch() = default;

TimeStretch::~TimeStretch()
{
    if (stream_)
        sonicDestroyStream(stream_);
}

bool TimeStretch::Reset(int sampleRate, int channels)
{
    if (stream_)
        sonicDestroyStream(stream_);
    stream_ = nullptr;
    sampleRate_ = sampleRate;
    channels_ = channels;
    if (sampleRate < MinSampleRate || sampleRate > MaxSampleRate || channels < 1 || channels > MaxChannels)
        return false;
    stream_ = sonicCreateStream(sampleRate, channels);
    if (!stream_)
        return false;
    sonicSetSpeed(stream_, static_cast<float>(speed_));
    return true;
}

void TimeStretch::SetSpeed(double speed)
{
    speed_ = std::clamp(speed, MinStretchSpeed, MaxStretchSpeed);
    if (stream_)
        sonicSetSpeed(stream_, static_cast<float>(speed_));
}

double TimeStretch::Speed() const
{
    return speed_;
}

void TimeStretch::Process(const int16_t* frames, size_t frameCount, std::vector<int16_t>& out)
{
    if (!stream_)
        return;
    while (frameCount > 0) {
        const size_t slice = std::min(frameCount, SliceFrames);
        // Sonic copies what it is given; its parameter only lacks the const.
        if (!sonicWriteShortToStream(stream_, const_cast<short*>(frames), static_cast<int>(slice)))
            return;
        TakeReady(out);
        frames += slice * static_cast<size_t>(channels_);
        frameCount -= slice;
    }
}

void TimeStretch::Flush(std::vector<int16_t>& out)
{
    if (stream_ && sonicFlushStream(stream_))
        TakeReady(out);
}

void TimeStretch::Clear()
{
    // Sonic has no call that empties a stream; a new one holds nothing.
    if (stream_)
        Reset(sampleRate_, channels_);
}

void TimeStretch::TakeReady(std::vector<int16_t>& out)
{
    const int ready = sonicSamplesAvailable(stream_);
    if (ready <= 0)
        return;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(ready) * static_cast<size_t>(channels_));
    const int read = sonicReadShortFromStream(stream_, out.data() + start, ready);
    out.resize(start + static_cast<size_t>(std::max(read, 0)) * static_cast<size_t>(channels_));
}
