// Figures for the program's own player with the stand-in voice speaking with eSpeak NG:
// the time from Speak to the first frame the player hands to the output, for one
// sentence and for a 1 MB text, and the longest silence between runs of one voice at
// 1x and 2.5x. The same voice speaking to its device, as it did before the program played
// the speech itself, is in scripts/bench voice ("first word on the device").
// Prints figures; asserts nothing. Run with scripts/bench player.
#include <windows.h>
#include <sapi.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include "voice/audio_output.h"
#include "voice/audio_player.h"
#include "voice/audio_sink.h"

namespace {

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

constexpr uint32_t Rate = 22050;

// What the player did, as the output saw it.
struct Watch {
    std::atomic<double> firstFrame{0};
    std::atomic<double> longestSilence{0};
};

// Plays in real time like the program's clock, and notes when it ran dry before more came.
class WatchedOutput final : public AudioOutput {
public:
    explicit WatchedOutput(std::shared_ptr<Watch> watch) : watch_(std::move(watch)), inner_(OpenClockOutput(Rate)) {}
    bool Queue(const int16_t* samples, size_t frames) override
    {
        const double now = Now();
        if (watch_->firstFrame == 0)
            watch_->firstFrame = now;
        else if (inner_->PlayedFrames() >= inner_->QueuedFrames() && now > dryAt_)
            watch_->longestSilence = std::max<double>(watch_->longestSilence, now - dryAt_);
        inner_->Queue(samples, frames);
        dryAt_ = now + 1000.0 * static_cast<double>(inner_->QueuedFrames() - inner_->PlayedFrames()) / Rate;
        return true;
    }
    uint64_t QueuedFrames() const override { return inner_->QueuedFrames(); }
    uint64_t PlayedFrames() override { return inner_->PlayedFrames(); }
    void Pause() override { inner_->Pause(); }
    void Resume() override { inner_->Resume(); }
    void Reset() override { inner_->Reset(); }
    bool IsDevice() const override { return false; }

private:
    std::shared_ptr<Watch> watch_;
    std::unique_ptr<AudioOutput> inner_;
    double dryAt_ = 0;
};

ISpVoice* NewVoice()
{
    ISpVoice* voice = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, reinterpret_cast<void**>(&voice))))
        return nullptr;
    voice->SetInterest(SPFEI_ALL_TTS_EVENTS, SPFEI_ALL_TTS_EVENTS);
    return voice;
}

std::wstring Sentences(size_t units)
{
    std::wstring text;
    while (text.size() < units)
        text += L"This is one of the many sentences of a very long copied text. ";
    return text;
}

// Speaks the texts as runs of one voice through the program's player.
void ThroughThePlayer(const char* label, const std::vector<std::wstring>& runs, double speed)
{
    ISpVoice* voice = NewVoice();
    if (!voice) {
        std::printf("%s: no voice\n", label);
        return;
    }
    auto watch = std::make_shared<Watch>();
    auto player = std::make_shared<AudioPlayer>(Rate, 1, nullptr, WM_APP);
    player->SetSpeed(speed);
    player->Start([watch] { return std::make_unique<WatchedOutput>(watch); });
    const ComPtr<ISpStreamFormat> sink = CreateAudioSink(player);
    if (!sink || FAILED(voice->SetOutput(sink.Get(), FALSE))) {
        std::printf("%s: the voice refused the player's stream\n", label);
        voice->Release();
        return;
    }
    const double start = Now();
    for (const std::wstring& run : runs)
        voice->Speak(run.c_str(), SPF_ASYNC, nullptr);
    if (runs.size() == 1) {
        while (watch->firstFrame == 0 && Now() - start < 10000)
            Sleep(1);
    } else {
        voice->WaitUntilDone(60000);
        // Until everything written has been heard.
        while (player->HeardOffset() < player->Written() && Now() - start < 60000)
            Sleep(5);
    }
    std::printf("%-40s first frame %6.1f ms after Speak", label, watch->firstFrame - start);
    if (runs.size() > 1)
        std::printf(", longest silence between runs %5.1f ms", static_cast<double>(watch->longestSilence));
    std::printf("\n");
    player->Drop();
    voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
    voice->Release();
}

} // namespace

int main()
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"180");
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    const std::wstring sentence = L"Clipvoce reads the text you copy aloud.";
    const std::wstring megabyte = Sentences(512 * 1024);
    const std::vector<std::wstring> threeRuns = {Sentences(200), Sentences(300), Sentences(200)};
    for (int round = 0; round < 3; ++round) {
        ThroughThePlayer("player 1x: one sentence", {sentence}, 1.0);
        ThroughThePlayer("player 1x: 1 MB text", {megabyte}, 1.0);
        ThroughThePlayer("player 2.5x: one sentence", {sentence}, 2.5);
        ThroughThePlayer("player 1x: three runs", threeRuns, 1.0);
        ThroughThePlayer("player 2.5x: three runs", threeRuns, 2.5);
    }
    CoUninitialize();
    return 0;
}
