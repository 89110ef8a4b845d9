#include "espeak_reference.h"
#include "file_bytes.h"
#include "pump.h"
#include "app_driver.h"
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>

namespace {

constexpr double kVoicedRms = 600.0;

uint32_t U32At(const std::string& b, size_t at)
{
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 | static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

} // namespace

PcmAudio ParsePcmWave(const std::string& b)
{
    PcmAudio audio;
    // espeak-ng writes the sizes last: until then the RIFF size does not match the file.
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0 || U32At(b, 4) != b.size() - 8)
        return audio;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = U32At(b, at + 4);
        const size_t body = at + 8;
        if (body + size > b.size())
            return PcmAudio{};
        if (b.compare(at, 4, "fmt ") == 0 && size >= 16) {
            audio.channels = static_cast<WORD>(static_cast<uint8_t>(b[body + 2]) | static_cast<uint8_t>(b[body + 3]) << 8);
            audio.sampleRate = U32At(b, body + 4);
        } else if (b.compare(at, 4, "data") == 0) {
            audio.samples.resize(size / 2);
            memcpy(audio.samples.data(), b.data() + body, audio.samples.size() * 2);
        }
        at = body + size + (size & 1);
    }
    return audio;
}

PcmAudio EspeakReference(const std::wstring& text, int wordsPerMinute, const std::wstring& voice, DWORD timeoutMs)
{
    const std::wstring stem = L"/tmp/clipvoce-espeak-reference-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring textFile = stem + L".txt", waveFile = stem + L".wav";
    const std::wstring textPath = L"Z:" + textFile, wavePath = L"Z:" + waveFile;
    DeleteFileW(wavePath.c_str());
    if (!WriteBytes(textPath, Utf8(text)))
        return {};
    std::wstring commandLine = L"espeak-ng -v " + voice + L" -s " + std::to_wstring(wordsPerMinute) + L" -w " + waveFile + L" -f " + textFile;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\espeak-ng", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return {};
    if (info.hThread)
        CloseHandle(info.hThread);
    if (info.hProcess)
        CloseHandle(info.hProcess);
    PcmAudio audio;
    PumpUntil([&] {
        audio = ParsePcmWave(ReadBytes(wavePath));
        return !audio.samples.empty();
    }, timeoutMs);
    DeleteFileW(textPath.c_str());
    DeleteFileW(wavePath.c_str());
    return audio;
}

std::vector<bool> VoicedWindows(const PcmAudio& audio)
{
    std::vector<bool> voiced;
    if (audio.channels == 0 || audio.sampleRate == 0)
        return voiced;
    const size_t window = static_cast<size_t>(audio.sampleRate * kVoicedWindowSeconds);
    const size_t frames = audio.samples.size() / audio.channels;
    for (size_t start = 0; start + window <= frames; start += window) {
        double sum = 0;
        for (size_t i = start; i < start + window; ++i) {
            const double v = audio.samples[i * audio.channels];
            sum += v * v;
        }
        voiced.push_back(std::sqrt(sum / window) > kVoicedRms);
    }
    return voiced;
}

double VoicedSeconds(const PcmAudio& audio)
{
    size_t n = 0;
    for (bool v : VoicedWindows(audio))
        n += v;
    return n * kVoicedWindowSeconds;
}

PcmAudio WaitForExportedWave(DWORD processId, const std::wstring& path, DWORD timeoutMs)
{
    PcmAudio audio;
    PumpUntil([&] {
        if (WaitForProcessWindow(processId, L"#32770", L"Saving...", 0))
            return false;
        audio = ParsePcmWave(ReadBytes(path));
        return !audio.samples.empty();
    }, timeoutMs);
    return audio;
}

double DurationMs(const PcmAudio& audio)
{
    return audio.sampleRate ? 1000.0 * audio.samples.size() / audio.channels / audio.sampleRate : 0;
}

double ExportWaveAndQuit(AppProcess& app, HWND window, const std::wstring& folder, const std::wstring& name)
{
    if (!ExportAs(app.Id(), window, name)) {
        ADD_FAILURE() << "no save dialog";
        return 0;
    }
    const PcmAudio audio = WaitForExportedWave(app.Id(), folder + L"\\" + name + L".wav");
    EXPECT_FALSE(audio.samples.empty()) << "the export of " << name << " did not finish";
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(), 0);
    return DurationMs(audio);
}
