#include "export/mp3_encoder.h"
#include "export/export.h"
#include "settings/app_settings.h"
#include "res/resource.h"
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

void ShowProgress(uint32_t consumed, uint32_t length)
{
    char text[64];
    snprintf(text, sizeof text, "%0.2f%% of conversion", static_cast<double>(consumed) * 100.0 / static_cast<double>(length));
    if (HWND dialog = CurrentWaitDialog())
        SetDlgItemTextA(dialog, IDC_WAIT_PROGRESS, text);
}

// One encoding's resources; whatever exists is released on every way out.
struct Encoding {
    const EncoderLibrary& library;
    FILE* wav = nullptr;
    FILE* mp3 = nullptr;
    EncoderStream stream = nullptr;
    bool streamOpen = false;
    SHORT* input = nullptr;
    BYTE* output = nullptr;
    DWORD samplesPerChunk = 0;
    DWORD outputSize = 0;

    explicit Encoding(const EncoderLibrary& lib) : library(lib) {}
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

    // Ends the stream early: its last bytes are not wanted.
    void Abandon()
    {
        DWORD produced = 0;
        library.deinitStream(stream, output, &produced);
    }

    bool Open()
    {
        wav = _wfopen(ExportFileName, L"rb");
        if (!wav)
            return false;
        const size_t length = wcslen(ExportFileName);
        if (length > 0)
            ExportFileName[length - 1] = L'3';
        mp3 = _wfopen(ExportFileName, L"wb+");
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
        fseek(wav, 0, SEEK_END);
        const uint32_t length = static_cast<uint32_t>(ftell(wav));
        fseek(wav, PcmDataOffset, SEEK_SET);
        uint32_t consumed = 0;
        size_t values;
        while ((values = fread(input, sizeof(SHORT), samplesPerChunk, wav)) > 0) {
            DWORD produced = 0;
            if (library.encodeChunk(stream, static_cast<DWORD>(values), input, output, &produced) != 0)
                return 0;
            if (!WriteAll(mp3, output, produced))
                return 0;
            consumed += static_cast<uint32_t>(values * 2);
            ShowProgress(consumed, length);
            if (!CurrentWaitDialog()) {
                Abandon();
                return 0;
            }
        }
        DWORD produced = 0;
        if (library.deinitStream(stream, output, &produced) != 0)
            return 0;
        return WriteAll(mp3, output, produced) ? 1 : 0;
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

int Mp3Encode()
{
    EncoderLibrary library;
    if (!BindEncoderLibrary(library))
        return 0;
    Encoding encoding(library);
    if (!encoding.Open())
        return 0;
    return encoding.Run();
}
