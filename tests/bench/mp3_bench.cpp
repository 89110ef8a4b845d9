// The program's MP3 encoding against the encoder library driven alone, on the same WAV
// in the same run: the program should take at most 1.1 times as long. The program's
// encoding runs on a worker and reports its progress to a window that the main thread
// serves, as the wait dialog is served during an export.
// Usage: mp3_bench [seconds of audio, default 324] [path of lame_enc.dll]
#include <windows.h>
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

// The library alone: read, encode, write, nothing else.
double EncodeWithLibraryAlone(HMODULE library, const std::wstring& wav, const std::wstring& mp3, DWORD kbps)
{
    auto init = reinterpret_cast<InitStream>(reinterpret_cast<void*>(GetProcAddress(library, "beInitStream")));
    auto encode = reinterpret_cast<EncodeChunk>(reinterpret_cast<void*>(GetProcAddress(library, "beEncodeChunk")));
    auto deinit = reinterpret_cast<DeinitStream>(reinterpret_cast<void*>(GetProcAddress(library, "beDeinitStream")));
    auto close = reinterpret_cast<CloseStream>(reinterpret_cast<void*>(GetProcAddress(library, "beCloseStream")));
    if (!init || !encode || !deinit || !close)
        return -1;
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
        return -1;
    std::vector<SHORT> input(samples);
    std::vector<BYTE> output(outputSize);
    FILE* in = _wfopen(wav.c_str(), L"rb");
    FILE* out = _wfopen(mp3.c_str(), L"wb+");
    if (!in || !out)
        return -1;
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
    return Seconds(start, end);
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
};

DWORD WINAPI RunProgramEncoding(LPVOID parameter)
{
    auto* run = static_cast<ProgramRun*>(parameter);
    run->result = Mp3Encode(run->wav.c_str(), run->mp3.c_str(), run->watch);
    return 0;
}

// The program's encoding on a worker, the progress window served here meanwhile.
double EncodeWithProgram(const std::wstring& wav, const std::wstring& mp3, HWND progressWindow)
{
    ProgramRun run{wav, mp3, {}};
    run.watch.progressWindow = progressWindow;
    run.watch.progressMessage = ProgressMessage;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HANDLE worker = CreateThread(nullptr, 0, RunProgramEncoding, &run, 0, nullptr);
    if (!worker)
        return -1;
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    QueryPerformanceCounter(&end);
    CloseHandle(worker);
    return run.result == 1 ? Seconds(start, end) : -1;
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
    lstrcpynW(AppSettings.lamedir, libraryPath.c_str(), SettingsPathLength);
    AppSettings.mp3rate = 128;

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
    double worst = 0;
    for (int round = 1; round <= 2; ++round) {
        const double alone = EncodeWithLibraryAlone(library, wav, mp3, 128);
        progressShown = 0;
        const double program = EncodeWithProgram(wav, mp3, progressWindow);
        if (alone <= 0 || program <= 0) {
            std::printf("an encoding failed\n");
            return 1;
        }
        const double ratio = program / alone;
        worst = ratio > worst ? ratio : worst;
        std::printf("round %d: library alone %.2f s, program %.2f s (%u progress updates), ratio %.3f\n", round,
                    alone, program, progressShown.load(), ratio);
    }
    std::printf("worst ratio %.3f (goal: at most 1.1)\n", worst);
    DestroyWindow(progressWindow);
    DeleteFileW(wav.c_str());
    DeleteFileW(mp3.c_str());
    return 0;
}
