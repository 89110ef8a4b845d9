// Speech at another speed: its length follows the speed, its pitch stays, and the wave
// file of an export keeps its other chunks around the stretched PCM.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include "export/wav_speed.h"
#include "voice/time_stretch.h"

namespace {

// Voiced speech as eSpeak NG makes it, roughly: a 150 Hz buzz whose harmonics fall off,
// swelling and fading four times a second like syllables.
std::vector<int16_t> Buzz(int sampleRate, int channels, double seconds)
{
    const size_t frames = static_cast<size_t>(sampleRate * seconds);
    std::vector<int16_t> samples;
    samples.reserve(frames * channels);
    const double pi = 3.14159265358979;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        double value = 0;
        for (int harmonic = 1; harmonic <= 6; ++harmonic)
            value += std::sin(2 * pi * 150 * harmonic * t) / (harmonic * harmonic);
        const double syllable = 0.3 + 0.7 * std::fabs(std::sin(2 * pi * 2 * t));
        samples.insert(samples.end(), channels, static_cast<int16_t>(9000 * syllable * value));
    }
    return samples;
}

// Sign changes of the first channel per frame: the pitch, as far as a buzz has one.
double CrossingRate(const std::vector<int16_t>& samples, int channels)
{
    size_t crossings = 0;
    for (size_t i = channels; i < samples.size(); i += channels)
        crossings += (samples[i - channels] < 0) != (samples[i] < 0);
    return static_cast<double>(crossings) * channels / static_cast<double>(samples.size());
}

// The whole input given in uneven blocks, as a player gives it.
std::vector<int16_t> StretchInBlocks(TimeStretch& stretch, const std::vector<int16_t>& in, int channels)
{
    std::vector<int16_t> out;
    const size_t frames = in.size() / channels;
    for (size_t done = 0; done < frames;) {
        const size_t block = std::min<size_t>(frames - done, 1000 + done % 777);
        stretch.Process(in.data() + done * channels, block, out);
        done += block;
    }
    stretch.Flush(out);
    return out;
}

TEST(TimeStretchTest, LengthFollowsTheSpeedAndThePitchStays)
{
    struct Format { int sampleRate; int channels; };
    for (const Format format : {Format{22050, 1}, Format{48000, 2}}) {
        const std::vector<int16_t> in = Buzz(format.sampleRate, format.channels, 2.0);
        for (const double speed : {2.0, 3.0, 0.5}) {
            SCOPED_TRACE(testing::Message() << format.sampleRate << " Hz, " << format.channels << " channels, speed " << speed);
            TimeStretch stretch;
            stretch.SetSpeed(speed);
            ASSERT_TRUE(stretch.Reset(format.sampleRate, format.channels));
            const std::vector<int16_t> out = StretchInBlocks(stretch, in, format.channels);
            ASSERT_EQ(out.size() % format.channels, 0u);
            EXPECT_NEAR(static_cast<double>(out.size()), in.size() / speed, 0.1 * in.size() / speed);
            EXPECT_NEAR(CrossingRate(out, format.channels), CrossingRate(in, format.channels),
                        0.1 * CrossingRate(in, format.channels));
        }
    }
}

TEST(TimeStretchTest, SpeedChangesMidStreamAndClearDropsWhatIsHeld)
{
    const int rate = 22050;
    const std::vector<int16_t> second = Buzz(rate, 1, 1.0);
    TimeStretch stretch;
    ASSERT_TRUE(stretch.Reset(rate, 1));
    std::vector<int16_t> out;
    stretch.Process(second.data(), second.size(), out);
    stretch.SetSpeed(4.0);
    stretch.Process(second.data(), second.size(), out);
    stretch.Flush(out);
    // One second as it was, one at a quarter of its length.
    EXPECT_NEAR(static_cast<double>(out.size()), 1.25 * rate, 0.1 * 1.25 * rate);

    stretch.SetSpeed(9.0);
    EXPECT_EQ(stretch.Speed(), 4.0);
    out.clear();
    stretch.Process(second.data(), second.size(), out);
    stretch.Clear();
    const size_t beforeClear = out.size();
    stretch.Flush(out);
    EXPECT_EQ(out.size(), beforeClear) << "frames held before the stop came out after it";
    // The stream goes on at the speed it had.
    out.clear();
    stretch.Process(second.data(), second.size(), out);
    stretch.Flush(out);
    EXPECT_NEAR(static_cast<double>(out.size()), rate / 4.0, 0.1 * rate / 4.0);
}

void Put32(std::string& bytes, uint32_t value) { bytes.append(reinterpret_cast<const char*>(&value), 4); }
void Put16(std::string& bytes, uint16_t value) { bytes.append(reinterpret_cast<const char*>(&value), 2); }
uint32_t Get32(const std::string& bytes, size_t at) { uint32_t v; memcpy(&v, bytes.data() + at, 4); return v; }

// A wave file of the given sample format around the PCM, with a chunk of odd size before
// and after the data, as other writers leave them.
std::string Wave(uint16_t formatTag, uint16_t bits, const std::vector<int16_t>& pcm)
{
    std::string bytes = "RIFF    WAVEfmt ";
    Put32(bytes, 16);
    Put16(bytes, formatTag); Put16(bytes, 2); Put32(bytes, 48000);
    Put32(bytes, 48000 * 2 * bits / 8); Put16(bytes, 2 * bits / 8); Put16(bytes, bits);
    bytes += "note";
    Put32(bytes, 3);
    bytes += std::string("abc\0", 4);
    bytes += "data";
    Put32(bytes, static_cast<uint32_t>(pcm.size() * 2));
    bytes.append(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2);
    bytes += "LIST";
    Put32(bytes, 5);
    bytes += std::string("INFOx\0", 6);
    const uint32_t riff = static_cast<uint32_t>(bytes.size() - 8);
    memcpy(&bytes[4], &riff, 4);
    return bytes;
}

TEST(WavSpeedTest, PcmIsStretchedAndTheOtherChunksKept)
{
    const std::vector<int16_t> pcm = Buzz(48000, 2, 2.0);
    std::string bytes = Wave(1, 16, pcm);
    const std::string original = bytes;
    ASSERT_TRUE(ChangeWaveSpeed(bytes, 2.0));

    const size_t dataAt = 12 + 8 + 16 + 8 + 4;
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(12, dataAt - 12), original.substr(12, dataAt - 12));
    ASSERT_EQ(bytes.substr(dataAt, 4), "data");
    const uint32_t dataBytes = Get32(bytes, dataAt + 4);
    EXPECT_NEAR(dataBytes, pcm.size(), 0.1 * pcm.size()) << "not half of the PCM's bytes";
    EXPECT_EQ(dataBytes % 4, 0u);
    EXPECT_EQ(bytes.substr(dataAt + 8 + dataBytes), original.substr(original.size() - 14));
    EXPECT_EQ(Get32(bytes, 4), bytes.size() - 8);
}

TEST(WavSpeedTest, OtherFormatsAndCutOffFilesAreLeftAsTheyAre)
{
    const std::vector<int16_t> pcm = Buzz(48000, 2, 0.5);
    std::string cutOff = Wave(1, 16, pcm);
    cutOff.resize(cutOff.size() / 2);
    const std::string unchanged = cutOff;
    EXPECT_FALSE(ChangeWaveSpeed(cutOff, 2.0));
    EXPECT_EQ(cutOff, unchanged);
    for (std::string other : {Wave(3, 32, pcm), Wave(1, 8, pcm), std::string("RIFF\4\0\0\0WAVE")}) {
        const std::string before = other;
        EXPECT_FALSE(ChangeWaveSpeed(other, 2.0));
        EXPECT_EQ(other, before);
    }
}

} // namespace
