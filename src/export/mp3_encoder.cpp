#include "export/mp3_encoder.h"
#include "platform/scoped_handle.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

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
constexpr wchar_t EncoderFileName[] = L"lame_enc.dll";

// The library's stream handle is pointer-sized in its 64-bit build.
using EncoderStream = void*;
using EncoderResult = unsigned long;

using VersionFunction = void(__cdecl*)(BYTE*);
using InitStreamFunction = EncoderResult(__cdecl*)(EncoderConfig*, DWORD*, DWORD*, EncoderStream*);
using EncodeChunkFunction = EncoderResult(__cdecl*)(EncoderStream, DWORD, SHORT*, BYTE*, DWORD*);
using DeinitStreamFunction = EncoderResult(__cdecl*)(EncoderStream, BYTE*, DWORD*);
using CloseStreamFunction = EncoderResult(__cdecl*)(EncoderStream);

struct EncoderLibrary {
    LibraryHandle module;
    VersionFunction version = nullptr;
    InitStreamFunction initStream = nullptr;
    EncodeChunkFunction encodeChunk = nullptr;
    DeinitStreamFunction deinitStream = nullptr;
    CloseStreamFunction closeStream = nullptr;
    FARPROC writeVbrHeader = nullptr;   // required, never called
};

// Loaded for each use and let go after it: the library is needed only while it is
// asked for its version or encodes.
LibraryHandle LoadEncoderLibrary()
{
    const std::wstring path = EncoderLibraryPath();
    if (path.empty())
        return LibraryHandle();
    return LibraryHandle(LoadLibraryW(path.c_str()));
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

bool BindEncoderLibrary(EncoderLibrary& library)
{
    library.module = LoadEncoderLibrary();
    const HMODULE module = library.module.get();
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
    config.bitrate = AppSettings.mp3BitRate;
    config.maxBitrate = AppSettings.mp3BitRate;
    config.preset = PresetHighQuality;
    config.mpegVersion = Mpeg1;
    config.original = TRUE;
}

bool WriteAll(HANDLE file, const BYTE* data, DWORD size)
{
    DWORD written = 0;
    return size == 0 || (WriteFile(file, data, size, &written, nullptr) && written == size);
}

// Fills the buffer unless the file ends first; the number of bytes read, or -1 when the
// read failed.
long long ReadFull(HANDLE file, void* buffer, DWORD size)
{
    DWORD total = 0;
    while (total < size) {
        DWORD read = 0;
        if (!ReadFile(file, static_cast<BYTE*>(buffer) + total, size - total, &read, nullptr))
            return -1;
        if (read == 0)
            break;
        total += read;
    }
    return total;
}

// The share done, in hundredths of a percent. The 44 header bytes count in the length
// but are never consumed, so a finished file reads just under 100 percent.
unsigned ShareDone(uint64_t consumed, uint64_t length)
{
    return length ? static_cast<unsigned>(std::llround(static_cast<double>(consumed) * 10000.0 / static_cast<double>(length))) : 0;
}

// Hands the progress to the window at most ten times a second and only when the shown
// value changes: an hour of audio is well over a hundred thousand chunks, and a window
// update per chunk costs more than the encoding itself.
class ProgressReporter {
public:
    explicit ProgressReporter(const EncodingWatch& watch) : watch_(watch) {}

    void Report(uint64_t consumed, uint64_t length)
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
    FileHandle wav;
    FileHandle mp3;
    EncoderStream stream = nullptr;
    bool streamOpen = false;
    std::vector<SHORT> input;
    std::vector<BYTE> output;

    Encoding(const EncoderLibrary& lib, const EncodingWatch& w) : library(lib), watch(w) {}
    ~Encoding()
    {
        if (streamOpen)
            library.closeStream(stream);
    }
    Encoding(const Encoding&) = delete;
    Encoding& operator=(const Encoding&) = delete;

    bool Cancelled() const { return watch.cancelled && watch.cancelled->load(); }

    // Ends the stream early: its last bytes are not wanted.
    void Abandon()
    {
        DWORD produced = 0;
        library.deinitStream(stream, output.data(), &produced);
    }

    bool Open(const wchar_t* wavPath, const wchar_t* mp3Path)
    {
        wav.reset(CreateFileW(wavPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!wav)
            return false;
        mp3.reset(CreateFileW(mp3Path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!mp3)
            return false;
        EncoderConfig config;
        FillConfig(config);
        DWORD samplesPerChunk = 0;
        DWORD outputSize = 0;
        if (library.initStream(&config, &samplesPerChunk, &outputSize, &stream) != 0)
            return false;
        streamOpen = true;
        try {
            input.resize(samplesPerChunk);
            output.resize(outputSize);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    // 1 when done, 0 on failure or cancel.
    int Run()
    {
        LARGE_INTEGER size{};
        LARGE_INTEGER pcmStart{};
        pcmStart.QuadPart = PcmDataOffset;
        if (!GetFileSizeEx(wav.get(), &size) || !SetFilePointerEx(wav.get(), pcmStart, nullptr, FILE_BEGIN))
            return 0;
        const uint64_t length = static_cast<uint64_t>(size.QuadPart);
        ProgressReporter progress(watch);
        uint64_t consumed = 0;
        const DWORD chunkBytes = static_cast<DWORD>(input.size() * sizeof(SHORT));
        for (;;) {
            const long long bytes = ReadFull(wav.get(), input.data(), chunkBytes);
            if (bytes < 0)
                return 0;
            // A trailing odd byte is no sample.
            const DWORD values = static_cast<DWORD>(bytes / sizeof(SHORT));
            if (values == 0)
                break;
            DWORD produced = 0;
            if (library.encodeChunk(stream, values, input.data(), output.data(), &produced) != 0)
                return 0;
            if (!WriteAll(mp3.get(), output.data(), produced))
                return 0;
            consumed += values * sizeof(SHORT);
            progress.Report(consumed, length);
            if (Cancelled()) {
                Abandon();
                return 0;
            }
        }
        DWORD produced = 0;
        if (library.deinitStream(stream, output.data(), &produced) != 0)
            return 0;
        return WriteAll(mp3.get(), output.data(), produced) && Finish() ? 1 : 0;
    }

    // A file system may report a failed write only when the file is closed, so the
    // close is checked like every write.
    bool Finish() { return CloseHandle(mp3.release()) != FALSE; }
};

} // namespace

std::wstring ChooseEncoderLibrary(const std::wstring& configured, const std::wstring& programFolder)
{
    if (!configured.empty() && IsFile(configured))
        return configured;
    // Where most users put a library they downloaded, and where it is looked for first
    // when a program loads one by name.
    const std::wstring besideProgram = programFolder + L"\\" + EncoderFileName;
    return !programFolder.empty() && IsFile(besideProgram) ? besideProgram : std::wstring();
}

std::wstring EncoderLibraryPath()
{
    const std::wstring& program = ProgramInfo.programPath;
    const size_t slash = program.rfind(L'\\');
    return ChooseEncoderLibrary(AppSettings.encoderFolder,
                                slash == std::wstring::npos ? std::wstring() : program.substr(0, slash));
}

std::wstring QueryEncoderVersion()
{
    const LibraryHandle module = LoadEncoderLibrary();
    VersionFunction version = nullptr;
    if (!module || !Bind(module.get(), "beVersion", version))
        return {};
    BYTE record[VersionRecordSize] = {};
    version(record);
    return std::to_wstring(record[2]) + L"." + std::to_wstring(record[3]);
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
