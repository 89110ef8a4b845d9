// The program's MP3 encoding against the encoder library driven alone, on the same WAV
// in the same run: the program should take at most 1.1 times as long. The program's
// encoding runs on a worker and reports its progress to a window that the main thread
// serves, as the wait dialog is served during an export.
// Wall time swings with the machine's load, so the processor time the encoding costs
// is measured too, and each side keeps its best of three rounds.
// Usage: mp3_bench [seconds of audio, default 324] [path of lame_enc.dll]
#include <windows.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "app_driver.h"
#include "file_bytes.h"
#include "export/mp3_encoder.h"
#include "settings/app_settings.h"

namespace {

// The library's configuration record (LAME form, byte-packed), as the program fills it.
#pragma pack(push, 1)
struct LibraryConfig {
    DWORD config, structVersion, structSize, sampleRate, reSampleRate;
    LONG mode;
    DWORD bitrate, maxBitrate;
    LONG preset;
    DWORD mpegVersion, psyModel, emphasis;
    BOOL privateBit, crc, copyright, original, writeVbrHeader, enableVbr;
    INT vbrQuality;
    DWORD vbrAbrBps;
    INT vbrMethod;
    BOOL noReservoir, strictIso;
    WORD quality;
    BYTE reserved[237];
};
#pragma pack(pop)
static_assert(sizeof(LibraryConfig) == 331);

using InitStream = unsigned long(__cdecl*)(LibraryConfig*, DWORD*, DWORD*, void**);
using EncodeChunk = unsigned long(__cdecl*)(void*, DWORD, SHORT*, BYTE*, DWORD*);
using DeinitStream = unsigned long(__cdecl*)(void*, BYTE*, DWORD*);
using CloseStream = unsigned long(__cdecl*)(void*);

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double CpuSeconds(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    const auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

struct Timing {
    double wall = -1;
    double cpu = -1;
};

// The library alone: read, encode, write, nothing else.
Timing EncodeWithLibraryAlone(HMODULE library, const std::wstring& wav, const std::wstring& mp3, DWORD kbps)
{
    auto init = reinterpret_cast<InitStream>(reinterpret_cast<void*>(GetProcAddress(library, "beInitStream")));
    auto encode = reinterpret_cast<EncodeChunk>(reinterpret_cast<void*>(GetProcAddress(library, "beEncodeChunk")));
    auto deinit = reinterpret_cast<DeinitStream>(reinterpret_cast<void*>(GetProcAddress(library, "beDeinitStream")));
    auto close = reinterpret_cast<CloseStream>(reinterpret_cast<void*>(GetProcAddress(library, "beCloseStream")));
    if (!init || !encode || !deinit || !close)
        return {};
    const double cpuBefore = CpuSeconds(GetCurrentThread());
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    LibraryConfig config{};
    config.config = 256;
    config.structVersion = 1;
    config.structSize = sizeof config;
    config.sampleRate = 48000;
    config.reSampleRate = 48000;
    config.mode = 1;
    config.bitrate = config.maxBitrate = kbps;
    config.preset = 2;
    config.mpegVersion = 1;
    config.original = TRUE;
    DWORD samples = 0, outputSize = 0;
    void* stream = nullptr;
    if (init(&config, &samples, &outputSize, &stream) != 0)
        return {};
    std::vector<SHORT> input(samples);
    std::vector<BYTE> output(outputSize);
    FILE* in = _wfopen(wav.c_str(), L"rb");
    FILE* out = _wfopen(mp3.c_str(), L"wb+");
    if (!in || !out)
        return {};
    fseek(in, 44, SEEK_SET);
    size_t values;
    DWORD produced = 0;
    while ((values = fread(input.data(), sizeof(SHORT), samples, in)) > 0) {
        encode(stream, static_cast<DWORD>(values), input.data(), output.data(), &produced);
        fwrite(output.data(), 1, produced, out);
    }
    deinit(stream, output.data(), &produced);
    fwrite(output.data(), 1, produced, out);
    close(stream);
    fclose(in);
    fclose(out);
    QueryPerformanceCounter(&end);
    return {Seconds(start, end), CpuSeconds(GetCurrentThread()) - cpuBefore};
}

constexpr UINT ProgressMessage = WM_APP + 1;
std::atomic<unsigned> progressShown{0};

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ProgressMessage) {
        char text[64];
        FormatEncodingProgress(static_cast<unsigned>(wParam), text, sizeof text);
        SetWindowTextA(window, text);
        ++progressShown;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct ProgramRun {
    std::wstring wav, mp3;
    EncodingWatch watch;
    int result = 0;
    double cpu = 0;   // the worker's own, taken before it ends: an ended thread's times are not kept
};

DWORD WINAPI RunProgramEncoding(LPVOID parameter)
{
    auto* run = static_cast<ProgramRun*>(parameter);
    run->result = Mp3Encode(run->wav.c_str(), run->mp3.c_str(), run->watch);
    run->cpu = CpuSeconds(GetCurrentThread());
    return 0;
}

// The program's encoding on a worker, the progress window served here meanwhile.
Timing EncodeWithProgram(const std::wstring& wav, const std::wstring& mp3, HWND progressWindow)
{
    ProgramRun run{wav, mp3, {}};
    run.watch.progressWindow = progressWindow;
    run.watch.progressMessage = ProgressMessage;
    const double cpuBefore = CpuSeconds(GetCurrentThread());
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HANDLE worker = CreateThread(nullptr, 0, RunProgramEncoding, &run, 0, nullptr);
    if (!worker)
        return {};
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    QueryPerformanceCounter(&end);
    // The worker's encoding and this thread's serving of the progress window.
    const double cpu = run.cpu + CpuSeconds(GetCurrentThread()) - cpuBefore;
    CloseHandle(worker);
    return run.result == 1 ? Timing{Seconds(start, end), cpu} : Timing{};
}

} // namespace

int main(int argc, char** argv)
{
    const unsigned seconds = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 324;
    std::wstring libraryPath = BinFolder() + L"\\lame_enc.dll";
    if (argc > 2)
        libraryPath = std::wstring(argv[2], argv[2] + strlen(argv[2]));
    HMODULE library = LoadLibraryW(libraryPath.c_str());
    if (!library) {
        std::printf("cannot load the encoder library\n");
        return 1;
    }
    lstrcpynW(AppSettings.encoderFolder, libraryPath.c_str(), SettingsPathLength);
    AppSettings.mp3BitRate = 128;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring wav = std::wstring(temp) + L"clipvoce_mp3_bench.wav";
    const std::wstring mp3 = std::wstring(temp) + L"clipvoce_mp3_bench.mp3";
    if (!WriteToneWav(wav, seconds)) {
        std::printf("cannot write the WAV\n");
        return 1;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProgressWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ClipvoceBenchProgress";
    RegisterClassW(&windowClass);
    HWND progressWindow = CreateWindowW(L"ClipvoceBenchProgress", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 80,
                                        nullptr, nullptr, windowClass.hInstance, nullptr);

    std::printf("MP3 encoding of %u s of 48 kHz stereo audio at 128 kbit/s\n", seconds);
    Timing bestAlone{1e9, 1e9}, bestProgram{1e9, 1e9};
    for (int round = 1; round <= 3; ++round) {
        const Timing alone = EncodeWithLibraryAlone(library, wav, mp3, 128);
        progressShown = 0;
        const Timing program = EncodeWithProgram(wav, mp3, progressWindow);
        if (alone.wall <= 0 || program.wall <= 0) {
            std::printf("an encoding failed\n");
            return 1;
        }
        std::printf("round %d: library alone %.2f s (cpu %.2f s), program %.2f s (cpu %.2f s, %u progress updates)\n",
                    round, alone.wall, alone.cpu, program.wall, program.cpu, progressShown.load());
        bestAlone = {std::min(bestAlone.wall, alone.wall), std::min(bestAlone.cpu, alone.cpu)};
        bestProgram = {std::min(bestProgram.wall, program.wall), std::min(bestProgram.cpu, program.cpu)};
    }
    std::printf("ratio program / library alone, best of three: wall %.3f, cpu %.3f (goal: at most 1.1)\n",
                bestProgram.wall / bestAlone.wall, bestProgram.cpu / bestAlone.cpu);
    DestroyWindow(progressWindow);
    DeleteFileW(wav.c_str());
    DeleteFileW(mp3.c_str());
    return 0;
}
