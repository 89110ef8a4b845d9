#pragma once
// What eSpeak NG itself makes of a text: the native espeak-ng program renders it into a
// WAV file, to hold the stand-in voice's speech against.
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

class AppProcess;

struct PcmAudio {
    DWORD sampleRate = 0;
    WORD channels = 0;
    // 16-bit samples, channels interleaved.
    std::vector<int16_t> samples;
};

// Empty samples when espeak-ng did not run or did not finish within the timeout; voice is
// eSpeak NG's name for it ("de").
PcmAudio EspeakReference(const std::wstring& text, int wordsPerMinute, const std::wstring& voice = L"en",
                         DWORD timeoutMs = 20000);

// The 16-bit PCM of a RIFF/WAVE file's bytes (empty when it is not one, or not finished).
PcmAudio ParsePcmWave(const std::string& bytes);
// The WAV file an export of the process writes to path, once its wait dialog has gone;
// empty samples when it did not finish within the time.
PcmAudio WaitForExportedWave(DWORD processId, const std::wstring& path, DWORD timeoutMs = 60000);
double DurationMs(const PcmAudio& audio);
// Exports the text of the program's window as folder\name.wav, waits for the file, then
// quits the program; the WAV's length in ms, 0 (with a failure noted) when it failed.
double ExportWaveAndQuit(AppProcess& app, HWND window, const std::wstring& folder, const std::wstring& name);

// Audio is cut into 10 ms windows; a window is voiced when its loudness (RMS of the
// first channel) exceeds a quiet floor well above eSpeak NG's pauses.
constexpr double kVoicedWindowSeconds = 0.01;
std::vector<bool> VoicedWindows(const PcmAudio& audio);
double VoicedSeconds(const PcmAudio& audio);
