#include "export/wav_speed.h"
#include "platform/log.h"
#include "platform/whole_file.h"
#include "voice/time_stretch.h"
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr size_t RiffHeaderBytes = 12;   // "RIFF", its size, "WAVE"
constexpr size_t ChunkHeaderBytes = 8;   // the chunk's name and size
constexpr size_t PcmFormatBytes = 16;
constexpr uint16_t PcmFormatTag = 1;
constexpr uint16_t SampleBits = 16;
// The PCM is stretched a slice at a time, so that the file's bytes and the stretched
// result are the only copies of a long rendering held at once.
constexpr size_t SliceFrames = 65536;

uint32_t ReadU32(const std::string& bytes, size_t at)
{
    uint32_t value;
    memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

uint16_t ReadU16(const std::string& bytes, size_t at)
{
    uint16_t value;
    memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

void WriteU32(std::string& bytes, size_t at, uint32_t value)
{
    memcpy(bytes.data() + at, &value, sizeof value);
}

// Where a wave file keeps its PCM, and how its frames are laid out.
struct WaveLayout {
    int sampleRate = 0;
    int channels = 0;
    size_t dataAt = 0;      // the data chunk's header
    size_t dataBytes = 0;
};

// The layout of a 16-bit PCM wave file whose chunks lie within it; false for any other.
bool FindWaveLayout(const std::string& bytes, WaveLayout& layout)
{
    if (bytes.size() < RiffHeaderBytes || bytes.compare(0, 4, "RIFF") || bytes.compare(8, 4, "WAVE"))
        return false;
    bool pcm16 = false;
    for (size_t at = RiffHeaderBytes; at + ChunkHeaderBytes <= bytes.size();) {
        const size_t size = ReadU32(bytes, at + 4);
        if (size > bytes.size() - at - ChunkHeaderBytes)
            return false;
        if (!bytes.compare(at, 4, "fmt ")) {
            if (size < PcmFormatBytes)
                return false;
            const uint16_t channels = ReadU16(bytes, at + 10);
            pcm16 = ReadU16(bytes, at + 8) == PcmFormatTag && ReadU16(bytes, at + 22) == SampleBits && channels > 0
                && ReadU16(bytes, at + 20) == channels * SampleBits / 8;
            layout.channels = channels;
            layout.sampleRate = static_cast<int>(ReadU32(bytes, at + 12));
        } else if (!bytes.compare(at, 4, "data")) {
            layout.dataAt = at;
            layout.dataBytes = size;
            return pcm16;
        }
        // Chunks of odd size are followed by a padding byte.
        at += ChunkHeaderBytes + size + (size & 1);
    }
    return false;
}

// The PCM of the data chunk at the layout's speed, as bytes.
bool StretchPcm(const std::string& bytes, const WaveLayout& layout, double speed, std::string& stretched)
{
    TimeStretch stretch;
    stretch.SetSpeed(speed);
    if (!stretch.Reset(layout.sampleRate, layout.channels))
        return false;
    const size_t frameBytes = static_cast<size_t>(layout.channels) * sizeof(int16_t);
    const size_t frames = layout.dataBytes / frameBytes;
    const char* pcm = bytes.data() + layout.dataAt + ChunkHeaderBytes;
    std::vector<int16_t> slice;
    std::vector<int16_t> out;
    stretched.reserve(static_cast<size_t>(static_cast<double>(layout.dataBytes) / stretch.Speed()) + frameBytes);
    for (size_t done = 0; done < frames; done += SliceFrames) {
        const size_t count = std::min(SliceFrames, frames - done);
        slice.resize(count * layout.channels);
        memcpy(slice.data(), pcm + done * frameBytes, count * frameBytes);
        out.clear();
        stretch.Process(slice.data(), count, out);
        stretched.append(reinterpret_cast<const char*>(out.data()), out.size() * sizeof(int16_t));
    }
    out.clear();
    stretch.Flush(out);
    stretched.append(reinterpret_cast<const char*>(out.data()), out.size() * sizeof(int16_t));
    return true;
}

} // namespace

bool ChangeWaveSpeed(std::string& bytes, double speed)
{
    WaveLayout layout;
    if (!FindWaveLayout(bytes, layout))
        return false;
    if (speed == 1.0)
        return true;
    std::string pcm;
    if (!StretchPcm(bytes, layout, speed, pcm))
        return false;
    // The chunks after the data, where the voice wrote any, follow the new data as they
    // followed the old; 16-bit samples keep them on even offsets.
    const size_t dataEnd = layout.dataAt + ChunkHeaderBytes + layout.dataBytes;
    const std::string after = bytes.substr(std::min(bytes.size(), dataEnd + (layout.dataBytes & 1)));
    if (layout.dataAt + ChunkHeaderBytes + pcm.size() + after.size() > UINT32_MAX)
        return false;
    bytes.resize(layout.dataAt + ChunkHeaderBytes);
    WriteU32(bytes, layout.dataAt + 4, static_cast<uint32_t>(pcm.size()));
    bytes += pcm;
    bytes += after;
    WriteU32(bytes, 4, static_cast<uint32_t>(bytes.size() - ChunkHeaderBytes));
    return true;
}

bool ChangeWavFileSpeed(const std::wstring& path, double speed)
{
    std::string bytes;
    if (const DWORD error = ReadWholeFile(path, bytes)) {
        LogFailure(L"Reading the rendered speech to change its speed", error);
        return false;
    }
    if (!ChangeWaveSpeed(bytes, speed)) {
        LogLine(L"The rendered speech is not 16-bit PCM in a wave file that can be stretched; its speed was not changed");
        return false;
    }
    if (!WriteFileInPlaceOf(path, bytes)) {
        LogFailure(L"Writing the rendered speech at its new speed", GetLastError());
        return false;
    }
    return true;
}
