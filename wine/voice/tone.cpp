#include "tone.h"
#include <ks.h>
#include <ksmedia.h>
#include <algorithm>
#include <cstring>
#include <cmath>

namespace {

enum class SampleKind { Pcm, Float, Unsupported };

SampleKind KindOf(const WAVEFORMATEX& f)
{
    if (f.wFormatTag == WAVE_FORMAT_PCM &&
        (f.wBitsPerSample == 8 || f.wBitsPerSample == 16 || f.wBitsPerSample == 24 || f.wBitsPerSample == 32))
        return SampleKind::Pcm;
    if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && f.wBitsPerSample == 32)
        return SampleKind::Float;
    return SampleKind::Unsupported;
}

void PutSample(SampleKind kind, WORD bits, double v, uint8_t* p)
{
    v = std::clamp(v, -1.0, 1.0);
    if (kind == SampleKind::Float) {
        const float f = static_cast<float>(v);
        memcpy(p, &f, sizeof f);
        return;
    }
    switch (bits) {
    case 8:
        *p = static_cast<uint8_t>(std::lround(128.0 + v * 127.0));
        break;
    case 16: {
        const int16_t s = static_cast<int16_t>(std::lround(v * 32767.0));
        memcpy(p, &s, sizeof s);
        break;
    }
    case 24: {
        const int32_t s = static_cast<int32_t>(std::lround(v * 8388607.0));
        p[0] = static_cast<uint8_t>(s);
        p[1] = static_cast<uint8_t>(s >> 8);
        p[2] = static_cast<uint8_t>(s >> 16);
        break;
    }
    default: {
        const int32_t s = static_cast<int32_t>(std::lround(v * 2147483647.0));
        memcpy(p, &s, sizeof s);
        break;
    }
    }
}

} // namespace

bool PlainRenderFormat(const WAVEFORMATEX& given, WAVEFORMATEX& plain)
{
    plain = given;
    plain.cbSize = 0;
    if (given.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (given.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX))
            return false;
        const auto& ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(given);
        if (ext.Samples.wValidBitsPerSample != given.wBitsPerSample)
            return false;
        if (IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_PCM))
            plain.wFormatTag = WAVE_FORMAT_PCM;
        else if (IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT))
            plain.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
        else
            return false;
    }
    return IsRenderableFormat(plain);
}

bool IsRenderableFormat(const WAVEFORMATEX& f)
{
    return KindOf(f) != SampleKind::Unsupported && f.nChannels >= 1 && f.nChannels <= 8 &&
           f.nSamplesPerSec >= 1000 && f.nSamplesPerSec <= 384000 &&
           f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
           f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

void PutFrame(const WAVEFORMATEX& format, double value, uint8_t* frame)
{
    const SampleKind kind = KindOf(format);
    const size_t bytesPerSample = format.wBitsPerSample / 8;
    for (WORD ch = 0; ch < format.nChannels; ++ch)
        PutSample(kind, format.wBitsPerSample, value, frame + ch * bytesPerSample);
}

double WordPitch(std::wstring_view word)
{
    uint32_t hash = 2166136261u;
    for (wchar_t c : word) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 16777619u;
    }
    return 220.0 * std::pow(2.0, static_cast<double>(hash % 25) / 12.0);
}

void RenderWordFrames(const WAVEFORMATEX& format, double pitch, unsigned volume,
                      uint64_t totalFrames, uint64_t first, uint32_t count,
                      std::vector<uint8_t>& out)
{
    const SampleKind kind = KindOf(format);
    const size_t bytesPerSample = format.wBitsPerSample / 8;
    out.assign(static_cast<size_t>(count) * format.nBlockAlign, 0);
    if (kind == SampleKind::Pcm && format.wBitsPerSample == 8)
        std::fill(out.begin(), out.end(), uint8_t{128});

    const double rate = format.nSamplesPerSec;
    const uint64_t toneFrames = static_cast<uint64_t>(static_cast<double>(totalFrames) * kToneShare);
    // Short ramps at both ends of the tone, so that words do not click.
    const double ramp = std::max(1.0, std::min(0.005 * rate, toneFrames / 4.0));
    const double amplitude = 0.3 * std::min(volume, 100u) / 100.0;
    const double step = 2.0 * 3.14159265358979323846 * pitch / rate;

    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t n = first + i;
        if (n >= toneFrames)
            break;
        const double envelope = std::min({1.0, (n + 1) / ramp, (toneFrames - n) / ramp});
        const double v = amplitude * envelope * std::sin(step * static_cast<double>(n));
        uint8_t* frame = out.data() + static_cast<size_t>(i) * format.nBlockAlign;
        for (WORD ch = 0; ch < format.nChannels; ++ch)
            PutSample(kind, format.wBitsPerSample, v, frame + ch * bytesPerSample);
    }
}
