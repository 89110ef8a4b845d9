#include "export/mp3_encoder.h"
#include "settings/app_settings.h"
#include "res/resource.h"
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

wchar_t encoderVersionText[CaptionBufferLength] = L"";

namespace {

// The library's configuration record in its LAME form, byte-packed as published.
#pragma pack(push, 1)
struct EncoderConfig {
    DWORD config;
    DWORD structVersion;
    DWORD structSize;
    DWORD sampleRate;
    DWORD reSampleRate;
    LONG mode;
    DWORD bitrate;
    DWORD maxBitrate;
    LONG preset;
    DWORD mpegVersion;
    DWORD psyModel;
    DWORD emphasis;
    BOOL privateBit;
    BOOL crc;
    BOOL copyright;
    BOOL original;
    BOOL writeVbrHeader;
    BOOL enableVbr;
    INT vbrQuality;
    DWORD vbrAbrBps;
    INT vbrMethod;
    BOOL noReservoir;
    BOOL strictIso;
    WORD quality;
    BYTE reserved[237];
};
#pragma pack(pop)
static_assert(sizeof(EncoderConfig) == 331, "the library reads exactly 331 bytes");

constexpr DWORD ConfigLame = 256;
constexpr LONG ModeJointStereo = 1;
constexpr LONG PresetHighQuality = 2;
constexpr DWORD Mpeg1 = 1;
constexpr size_t VersionRecordSize = 265;
constexpr long PcmDataOffset = 44;

// The library's stream handle is pointer-sized in its 64-bit build.
using EncoderStream = void*;
using EncoderResult = unsigned long;

using VersionFunction = void(__cdecl*)(BYTE*);
using InitStreamFunction = EncoderResult(__cdecl*)(EncoderConfig*, DWORD*, DWORD*, EncoderStream*);
using EncodeChunkFunction = EncoderResult(__cdecl*)(EncoderStream, DWORD, SHORT*, BYTE*, DWORD*);
using DeinitStreamFunction = EncoderResult(__cdecl*)(EncoderStream, BYTE*, DWORD*);
using CloseStreamFunction = EncoderResult(__cdecl*)(EncoderStream);

struct EncoderLibrary {
    VersionFunction version = nullptr;
    InitStreamFunction initStream = nullptr;
    EncodeChunkFunction encodeChunk = nullptr;
    DeinitStreamFunction deinitStream = nullptr;
    CloseStreamFunction closeStream = nullptr;
    FARPROC writeVbrHeader = nullptr;   // required, never called
};

// The library stays loaded for the rest of the process.
HMODULE LoadEncoderLibrary()
{
    if (!AppSettings.lamedir[0])
        return nullptr;
    return LoadLibraryW(AppSettings.lamedir);
}

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

bool BindEncoderLibrary(EncoderLibrary& library)
{
    HMODULE module = LoadEncoderLibrary();
    return module && Bind(module, "beVersion", library.version) && Bind(module, "beInitStream", library.initStream)
        && Bind(module, "beEncodeChunk", library.encodeChunk) && Bind(module, "beDeinitStream", library.deinitStream)
        && Bind(module, "beCloseStream", library.closeStream) && Bind(module, "beWriteVBRHeader", library.writeVbrHeader);
}

void FillConfig(EncoderConfig& config)
{
    memset(&config, 0, sizeof config);
    config.config = ConfigLame;
    config.structVersion = 1;
    config.structSize = sizeof config;
    config.sampleRate = 48000;
    // Left at 0, the library picks its own output rate for low bit rates (MPEG-2 at
    // 16 to 24 kHz, or MPEG-1 at 32 or 44.1 kHz); asking for the input rate keeps every
    // bit rate MPEG-1 Layer III at 48 kHz.
    config.reSampleRate = 48000;
    config.mode = ModeJointStereo;
    config.bitrate = AppSettings.mp3rate;
    config.maxBitrate = AppSettings.mp3rate;
    config.preset = PresetHighQuality;
    config.mpegVersion = Mpeg1;
    config.original = TRUE;
}

bool WriteAll(FILE* file, const BYTE* data, DWORD size)
{
    return size == 0 || fwrite(data, 1, size, file) == size;
}

// The share done, in hundredths of a percent. The 44 header bytes count in the length
// but are never consumed, so a finished file reads just under 100 percent.
unsigned ShareDone(uint32_t consumed, uint32_t length)
{
    return length ? static_cast<unsigned>(std::llround(static_cast<double>(consumed) * 10000.0 / static_cast<double>(length))) : 0;
}

// Hands the progress to the window at most ten times a second and only when the shown
// value changes: an hour of audio is well over a hundred thousand chunks, and a window
// update per chunk costs more than the encoding itself.
class ProgressReporter {
public:
    explicit ProgressReporter(const EncodingWatch& watch) : watch_(watch) {}

    void Report(uint32_t consumed, uint32_t length)
    {
        if (!watch_.progressWindow)
            return;
        const unsigned share = ShareDone(consumed, length);
        const ULONGLONG now = GetTickCount64();
        if (share == shown_ || (posted_ && now - lastPost_ < MinimumInterval))
            return;
        if (PostMessageW(watch_.progressWindow, watch_.progressMessage, share, 0)) {
            shown_ = share;
            lastPost_ = now;
            posted_ = true;
        }
    }

private:
    static constexpr ULONGLONG MinimumInterval = 100;   // milliseconds
    const EncodingWatch& watch_;
    unsigned shown_ = ~0u;
    ULONGLONG lastPost_ = 0;
    bool posted_ = false;
};

// One encoding's resources; whatever exists is released on every way out.
struct Encoding {
    const EncoderLibrary& library;
    const EncodingWatch& watch;
    FILE* wav = nullptr;
    FILE* mp3 = nullptr;
    EncoderStream stream = nullptr;
    bool streamOpen = false;
    SHORT* input = nullptr;
    BYTE* output = nullptr;
    DWORD samplesPerChunk = 0;
    DWORD outputSize = 0;

    Encoding(const EncoderLibrary& lib, const EncodingWatch& w) : library(lib), watch(w) {}
    ~Encoding()
    {
        if (streamOpen)
            library.closeStream(stream);
        free(input);
        free(output);
        if (wav)
            fclose(wav);
        if (mp3)
            fclose(mp3);
    }

    bool Cancelled() const { return watch.cancelled && watch.cancelled->load(); }

    // Ends the stream early: its last bytes are not wanted.
    void Abandon()
    {
        DWORD produced = 0;
        library.deinitStream(stream, output, &produced);
    }

    bool Open(const wchar_t* wavPath, const wchar_t* mp3Path)
    {
        wav = _wfopen(wavPath, L"rb");
        if (!wav)
            return false;
        mp3 = _wfopen(mp3Path, L"wb+");
        if (!mp3)
            return false;
        EncoderConfig config;
        FillConfig(config);
        if (library.initStream(&config, &samplesPerChunk, &outputSize, &stream) != 0)
            return false;
        streamOpen = true;
        input = static_cast<SHORT*>(malloc(static_cast<size_t>(samplesPerChunk) * sizeof(SHORT)));
        output = static_cast<BYTE*>(malloc(outputSize));
        return input && output;
    }

    // 1 when done, 0 on failure or cancel.
    int Run()
    {
        if (fseek(wav, 0, SEEK_END) != 0)
            return 0;
        const long end = ftell(wav);
        if (end < 0 || fseek(wav, PcmDataOffset, SEEK_SET) != 0)
            return 0;
        const uint32_t length = static_cast<uint32_t>(end);
        ProgressReporter progress(watch);
        uint32_t consumed = 0;
        size_t values;
        while ((values = fread(input, sizeof(SHORT), samplesPerChunk, wav)) > 0) {
            DWORD produced = 0;
            if (library.encodeChunk(stream, static_cast<DWORD>(values), input, output, &produced) != 0)
                return 0;
            if (!WriteAll(mp3, output, produced))
                return 0;
            consumed += static_cast<uint32_t>(values * 2);
            progress.Report(consumed, length);
            if (Cancelled()) {
                Abandon();
                return 0;
            }
        }
        if (ferror(wav))
            return 0;
        DWORD produced = 0;
        if (library.deinitStream(stream, output, &produced) != 0)
            return 0;
        return WriteAll(mp3, output, produced) && Finish() ? 1 : 0;
    }

    // The stream buffers its writes: a full disk may show only when the last of them
    // reaches the file, so the flush and the close are checked like every write.
    bool Finish()
    {
        FILE* file = mp3;
        mp3 = nullptr;
        const bool flushed = fflush(file) == 0;
        return fclose(file) == 0 && flushed;
    }
};

} // namespace

int QueryEncoderVersion()
{
    HMODULE module = LoadEncoderLibrary();
    VersionFunction version = nullptr;
    if (!module || !Bind(module, "beVersion", version))
        return 0;
    BYTE record[VersionRecordSize] = {};
    version(record);
    swprintf(encoderVersionText, CaptionBufferLength, L"%d.%d", record[2], record[3]);
    return 1;
}

int Mp3Encode(const wchar_t* wavPath, const wchar_t* mp3Path, const EncodingWatch& watch)
{
    EncoderLibrary library;
    if (!BindEncoderLibrary(library))
        return 0;
    Encoding encoding(library, watch);
    if (!encoding.Open(wavPath, mp3Path))
        return 0;
    return encoding.Run();
}

void FormatEncodingProgress(unsigned hundredths, char* text, size_t size)
{
    snprintf(text, size, "%0.2f%% of conversion", hundredths / 100.0);
}
