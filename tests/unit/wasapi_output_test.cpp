// The audio engine's output: played frames follow the device, hold while paused, go on
// from there after a resume and start again at 0 after a reset; without a device the
// player falls back to the clock, and the player lets go of its output on its own thread.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <vector>
#include "pump.h"
#include "voice/audio_player.h"
#include "voice/wasapi_output.h"

namespace {

constexpr uint32_t Rate = 22050;
// Set where the test runs with ALSA's null device as Wine's sound device (a ctest entry
// of its own: the Unix environment of a Wine process is fixed when it starts).
bool OnNullDevice()
{
    return GetEnvironmentVariableW(L"CLIPVOCE_TEST_NULL_AUDIO", nullptr, 0) > 0;
}

// Played frames over a while: none may run ahead of what was queued.
std::vector<uint64_t> Watch(AudioOutput& output, DWORD ms)
{
    std::vector<uint64_t> seen;
    PumpUntil([&] {
        seen.push_back(output.PlayedFrames());
        EXPECT_LE(seen.back(), output.QueuedFrames());
        return false;
    }, ms);
    return seen;
}

TEST(WasapiOutputTest, PlaysPausesResumesAndResetsOnADevice)
{
    if (!OnNullDevice())
        GTEST_SKIP() << "runs where ALSA offers its null device";
    const std::unique_ptr<AudioOutput> output = OpenWasapiOutput(Rate, 1);
    ASSERT_TRUE(output) << "no audio device although ALSA offers its null device";
    EXPECT_TRUE(output->IsDevice());

    // Paused before anything is queued, as the player opens a paused output: nothing plays.
    output->Pause();
    // Two seconds, far more than the engine's buffer holds: the rest waits and goes on later.
    const uint64_t total = 2 * Rate;
    const std::vector<int16_t> sound(total, 1000);
    ASSERT_TRUE(output->Queue(sound.data(), total));
    EXPECT_EQ(output->QueuedFrames(), total);
    for (const uint64_t played : Watch(*output, 100))
        EXPECT_EQ(played, 0u);

    output->Resume();
    ASSERT_TRUE(PumpUntil([&] { return output->PlayedFrames() >= Rate / 4; }, 5000));
    output->Pause();
    const uint64_t paused = output->PlayedFrames();
    EXPECT_LT(paused, total);
    for (const uint64_t played : Watch(*output, 150))
        EXPECT_EQ(played, paused);

    // Every frame is heard once: the count goes on from the pause to exactly what was queued.
    output->Resume();
    EXPECT_GE(output->PlayedFrames(), paused);
    ASSERT_TRUE(PumpUntil([&] { return output->PlayedFrames() == total; }, 10000)) << output->PlayedFrames();

    output->Reset();
    EXPECT_EQ(output->QueuedFrames(), 0u);
    EXPECT_EQ(output->PlayedFrames(), 0u);
    ASSERT_TRUE(output->Queue(sound.data(), Rate / 10));
    EXPECT_TRUE(PumpUntil([&] { return output->PlayedFrames() == Rate / 10; }, 5000)) << output->PlayedFrames();
}

TEST(WasapiOutputTest, WithoutADeviceTheClockPlays)
{
    if (OnNullDevice())
        GTEST_SKIP() << "this process has a device";
    if (OpenWasapiOutput(Rate, 1))
        GTEST_SKIP() << "this machine has a sound device";
    const std::unique_ptr<AudioOutput> output = OpenAudioOutput(Rate, 1);
    ASSERT_TRUE(output);
    EXPECT_FALSE(output->IsDevice());
}

// COM is let go of per thread: the output must end on the thread that opened it, not on
// whichever thread lets go of the player.
TEST(WasapiOutputTest, ThePlayerEndsItsOutputOnItsOwnThread)
{
    struct Recorder final : AudioOutput {
        DWORD* endedOn;
        explicit Recorder(DWORD* ended) : endedOn(ended) {}
        ~Recorder() override { *endedOn = GetCurrentThreadId(); }
        bool Queue(const int16_t*, size_t) override { return true; }
        uint64_t QueuedFrames() const override { return 0; }
        uint64_t PlayedFrames() override { return 0; }
        void Pause() override {}
        void Resume() override {}
        void Reset() override {}
        bool IsDevice() const override { return false; }
    };
    DWORD openedOn = 0, endedOn = 0;
    {
        AudioPlayer player(Rate, 1, nullptr, WM_APP);
        ASSERT_TRUE(player.Start([&] {
            openedOn = GetCurrentThreadId();
            return std::make_unique<Recorder>(&endedOn);
        }));
    }
    EXPECT_NE(openedOn, 0u);
    EXPECT_EQ(endedOn, openedOn);
    EXPECT_NE(endedOn, GetCurrentThreadId());
}

} // namespace
