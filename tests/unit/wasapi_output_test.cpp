// The audio engine's output: played frames follow the device, hold while paused, go on
// from there after a resume and start again at 0 after a reset; a lost device gives way
// to a clock; and the player lets go of its output on its own thread. (Without any device,
// as on the test machines, every reading of the other tests plays on the clock.)
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

// A stream that holds what fits in its buffer and plays what the test says it played,
// until the device is lost: from then on every call fails.
struct StandInEndpoint final : RenderEndpoint {
    struct State {
        uint64_t written = 0, position = 0;
        bool lost = false;
        int failedCalls = 0;
    };
    State& state;
    explicit StandInEndpoint(State& s) : state(s) {}
    bool Answer()
    {
        state.failedCalls += state.lost;
        return !state.lost;
    }
    bool Room(uint32_t& frames) override
    {
        frames = static_cast<uint32_t>(100 - (state.written - state.position));
        return Answer();
    }
    bool Write(const int16_t*, uint32_t frames) override
    {
        if (Answer())
            state.written += frames;
        return !state.lost;
    }
    bool Position(uint64_t& frames) override
    {
        frames = state.position;
        return Answer();
    }
    bool Start() override { return Answer(); }
    bool Stop() override { return Answer(); }
    bool Reset() override
    {
        if (Answer())
            state.written = state.position = 0;
        return !state.lost;
    }
};

TEST(WasapiOutputTest, ALostDeviceCountsOnInRealTimeAndFailsOnce)
{
    const uint32_t rate = 1000;
    StandInEndpoint::State state;
    const auto output = MakeEndpointOutput(std::make_unique<StandInEndpoint>(state), rate, 1);
    const std::vector<int16_t> sound(300);
    ASSERT_TRUE(output->Queue(sound.data(), 300));
    EXPECT_EQ(state.written, 100u);
    state.position = 60;
    EXPECT_EQ(output->PlayedFrames(), 60u);
    EXPECT_EQ(state.written, 160u);

    state.lost = true;
    const ULONGLONG lostTick = GetTickCount64();
    EXPECT_EQ(output->PlayedFrames(), 60u);
    // The other 240 frames take a quarter of a second, not less, and the reading ends.
    ASSERT_TRUE(PumpUntil([&] { return output->PlayedFrames() == 300; }, 5000));
    EXPECT_GE(GetTickCount64() - lostTick, 200u);
    output->Pause();
    output->Resume();
    output->Reset();
    EXPECT_EQ(output->PlayedFrames(), 0u);
    ASSERT_TRUE(output->Queue(sound.data(), 10));
    EXPECT_TRUE(PumpUntil([&] { return output->PlayedFrames() == 10; }, 5000));
    // The device is not asked again, so its failure is logged once.
    EXPECT_EQ(state.failedCalls, 1);
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
