#include "voice/audio_sink.h"
#include "platform/com_object.h"
#include "voice/audio_player.h"
#include <new>

namespace {

// The platform's identifier of a format described by a WAVEFORMATEX (SPDFID_WaveFormatEx);
// MinGW-w64's import library leaves it out.
constexpr GUID WaveFormatExId = {0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};

// Free-threaded: the voice writes from a thread of its own, and nothing here waits for
// another apartment.
class AudioSink final : public ComObject<ISpStreamFormat> {
public:
    explicit AudioSink(std::shared_ptr<AudioPlayer> player) : player_(std::move(player)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        const bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
                           IsEqualIID(iid, IID_IStream) || IsEqualIID(iid, IID_ISpStreamFormat);
        return HandOut(known ? static_cast<ISpStreamFormat*>(this) : nullptr, out);
    }

    // ISequentialStream
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) override
    {
        if (read)
            *read = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG bytes, ULONG* written) override
    {
        if (!data && bytes > 0)
            return STG_E_INVALIDPOINTER;
        player_->Write(data, bytes);
        if (written)
            *written = bytes;
        return S_OK;
    }

    // IStream: the voice may ask where it is; it cannot go back.
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        const uint64_t at = player_->Written();
        if (move.QuadPart != 0 && !(origin == STREAM_SEEK_SET && static_cast<uint64_t>(move.QuadPart) == at))
            return STG_E_INVALIDFUNCTION;
        if (position)
            position->QuadPart = at;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override
    {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        *stat = {};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = player_->Written();
        stat->grfMode = STGM_WRITE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override
    {
        if (clone)
            *clone = nullptr;
        return E_NOTIMPL;
    }

    // ISpStreamFormat
    HRESULT STDMETHODCALLTYPE GetFormat(GUID* formatId, WAVEFORMATEX** format) override
    {
        if (!formatId || !format)
            return E_POINTER;
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        if (!*format)
            return E_OUTOFMEMORY;
        WAVEFORMATEX& f = **format;
        f = {};
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = player_->Channels();
        f.nSamplesPerSec = player_->SampleRate();
        f.wBitsPerSample = 16;
        f.nBlockAlign = static_cast<WORD>(f.nChannels * 2);
        f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
        *formatId = WaveFormatExId;
        return S_OK;
    }

private:
    std::shared_ptr<AudioPlayer> player_;
};

} // namespace

ComPtr<ISpStreamFormat> CreateAudioSink(std::shared_ptr<AudioPlayer> player)
{
    return ComPtr<ISpStreamFormat>::Adopt(new (std::nothrow) AudioSink(std::move(player)));
}
