// Figures for the stand-in voice speaking with eSpeak NG: the time from Speak to the
// first sample, for a one-sentence text and for a 1 MB text, into a WAV stream and on the
// device, and how many times faster than real time it renders into a stream.
// Prints figures; asserts nothing. Run with scripts/bench voice.
#include <windows.h>
#include <sapi.h>
#include <cstdio>
#include <string>

namespace {

const GUID kWaveFormatEx = {0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};
constexpr ULONGLONG kWaveHeaderBytes = 44;

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring OneSentence()
{
    return L"Clipvoce reads the text you copy aloud.";
}

std::wstring OneMegabyte()
{
    std::wstring text;
    while (text.size() < 512 * 1024)
        text += L"This is one of the many sentences of a very long copied text. ";
    return text;
}

ULONGLONG FileBytes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

ISpVoice* NewVoice()
{
    ISpVoice* voice = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, reinterpret_cast<void**>(&voice))))
        return nullptr;
    voice->SetInterest(SPFEI_ALL_TTS_EVENTS, SPFEI_ALL_TTS_EVENTS);
    return voice;
}

ISpStream* BindStream(ISpVoice* voice, const std::wstring& path)
{
    ISpStream* stream = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, reinterpret_cast<void**>(&stream))))
        return nullptr;
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    if (FAILED(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kWaveFormatEx, &format, 0)) ||
        FAILED(voice->SetOutput(stream, TRUE))) {
        stream->Release();
        return nullptr;
    }
    return stream;
}

// Into a stream: until the file holds more than its header.
void FirstSampleInStream(const wchar_t* label, const std::wstring& text)
{
    ISpVoice* voice = NewVoice();
    const std::wstring path = L"Z:\\tmp\\clipvoce-voice-bench.wav";
    ISpStream* stream = voice ? BindStream(voice, path) : nullptr;
    if (!stream) {
        std::printf("%ls: no voice or stream\n", label);
        return;
    }
    const double start = Now();
    voice->Speak(text.c_str(), SPF_ASYNC, nullptr);
    while (FileBytes(path) <= kWaveHeaderBytes && Now() - start < 10000) {
    }
    std::printf("Speak to first sample in a WAV stream, %ls: %.1f ms\n", label, Now() - start);
    voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
    stream->Release();
    voice->Release();
    DeleteFileW(path.c_str());
}

// On the device: until the first word is raised, which happens when its sound starts.
void FirstSampleOnDevice(const wchar_t* label, const std::wstring& text)
{
    ISpVoice* voice = NewVoice();
    if (!voice) {
        std::printf("%ls: no voice\n", label);
        return;
    }
    const double start = Now();
    voice->Speak(text.c_str(), SPF_ASYNC, nullptr);
    bool heard = false;
    while (!heard && Now() - start < 10000) {
        SPEVENT e{};
        while (voice->GetEvents(1, &e, nullptr) == S_OK) {
            heard = heard || e.eEventId == SPEI_WORD_BOUNDARY;
            if (e.elParamType == SPET_LPARAM_IS_TOKEN || e.elParamType == SPET_LPARAM_IS_OBJECT)
                reinterpret_cast<IUnknown*>(e.lParam)->Release();
            e = SPEVENT{};
        }
    }
    std::printf("Speak to first word on the device, %ls: %.1f ms\n", label, Now() - start);
    voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
    voice->Release();
}

void RenderingSpeed()
{
    std::wstring text;
    for (int i = 0; i < 20; ++i)
        text += L"The quick brown fox jumps over the lazy dog, and then it rests a while. ";
    ISpVoice* voice = NewVoice();
    const std::wstring path = L"Z:\\tmp\\clipvoce-voice-bench-speed.wav";
    ISpStream* stream = voice ? BindStream(voice, path) : nullptr;
    if (!stream) {
        std::printf("rendering speed: no voice or stream\n");
        return;
    }
    const double start = Now();
    voice->Speak(text.c_str(), SPF_ASYNC, nullptr);
    voice->WaitUntilDone(INFINITE);
    const double elapsed = Now() - start;
    const double audioMs = static_cast<double>(FileBytes(path) - kWaveHeaderBytes) / 192.0;
    std::printf("rendering: %.1f s of 48 kHz stereo audio in %.0f ms: %.0f times real time\n", audioMs / 1000.0,
                elapsed, audioMs / elapsed);
    stream->Release();
    voice->Release();
    DeleteFileW(path.c_str());
}

} // namespace

int main()
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"180");
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    {
        const double start = Now();
        ISpVoice* voice = NewVoice();
        std::printf("voice creation (starts the helper): %.1f ms\n", Now() - start);
        if (voice)
            voice->Release();
    }
    const std::wstring megabyte = OneMegabyte();
    for (int round = 0; round < 3; ++round) {
        FirstSampleInStream(L"one sentence", OneSentence());
        FirstSampleInStream(L"1 MB text", megabyte);
        FirstSampleOnDevice(L"one sentence", OneSentence());
        FirstSampleOnDevice(L"1 MB text", megabyte);
    }
    RenderingSpeed();
    CoUninitialize();
    return 0;
}
