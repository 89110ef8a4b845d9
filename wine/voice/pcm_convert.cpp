#include "pcm_convert.h"
#include "tone.h"

void SampleConverter::Begin(uint32_t inputRate, const WAVEFORMATEX& output)
{
    inputRate_ = inputRate;
    output_ = output;
    inputSeen_ = 0;
    produced_ = 0;
    previous_ = 0;
}

uint64_t SampleConverter::OutputFrameOf(uint64_t inputSample) const
{
    const uint64_t scaled = inputSample * output_.nSamplesPerSec;
    return (scaled + inputRate_ - 1) / inputRate_;
}

void SampleConverter::Emit(double value, unsigned volume, std::vector<uint8_t>& out) const
{
    const size_t at = out.size();
    out.resize(at + output_.nBlockAlign);
    PutFrame(output_, value / 32768.0 * volume / 100.0, out.data() + at);
}

void SampleConverter::Convert(const int16_t* samples, size_t count, unsigned volume, std::vector<uint8_t>& out)
{
    out.clear();
    if (count == 0)
        return;
    const uint64_t base = inputSeen_;
    inputSeen_ += count;
    const auto sample = [&](uint64_t i) { return i < base ? previous_ : static_cast<double>(samples[i - base]); };
    for (;;) {
        // Output frame n sits at input position n * inputRate / outputRate.
        const uint64_t scaled = produced_ * inputRate_;
        const uint64_t left = scaled / output_.nSamplesPerSec;
        const uint64_t remainder = scaled % output_.nSamplesPerSec;
        if (left >= inputSeen_ || (remainder != 0 && left + 1 >= inputSeen_))
            break;
        const double fraction = static_cast<double>(remainder) / output_.nSamplesPerSec;
        const double value = remainder == 0 ? sample(left) : sample(left) + (sample(left + 1) - sample(left)) * fraction;
        Emit(value, volume, out);
        ++produced_;
    }
    previous_ = samples[count - 1];
}

void SampleConverter::Finish(unsigned volume, std::vector<uint8_t>& out)
{
    out.clear();
    while (produced_ * inputRate_ / output_.nSamplesPerSec < inputSeen_) {
        Emit(previous_, volume, out);
        ++produced_;
    }
}
