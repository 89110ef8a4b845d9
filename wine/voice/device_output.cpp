#include "device_output.h"
#include "com_ptr.h"
#include "audio_output.h"
#include "module.h"
#include <new>

namespace {

// The format a device would be opened in; it also scales the audio offsets of events.
WAVEFORMATEX DeviceFormat()
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = 22050;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 2;
    f.nAvgBytesPerSec = 44100;
    return f;
}

class DeviceOutput final : public ISpStreamFormat, public IStandInOutput {
public:
    DeviceOutput() { ModuleAddRef(); }
    ~DeviceOutput() { ModuleRelease(); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
            IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISpStreamFormat))
            *ppv = static_cast<ISpStreamFormat*>(this);
        else if (IsEqualIID(riid, IID_IStandInOutput))
            *ppv = static_cast<IStandInOutput*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs_.Release(this); }

    // ISequentialStream / IStream: a sink that swallows whatever is written.
    STDMETHODIMP Read(void*, ULONG, ULONG* read) override
    {
        if (read)
            *read = 0;
        return S_FALSE;
    }
    STDMETHODIMP Write(const void*, ULONG cb, ULONG* written) override
    {
        if (written)
            *written = cb;
        return S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER* pos) override
    {
        if (pos)
            pos->QuadPart = 0;
        return S_OK;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return S_OK; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override
    {
        if (!stat)
            return E_POINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        return S_OK;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    // ISpStreamFormat
    STDMETHODIMP GetFormat(GUID* formatId, WAVEFORMATEX** format) override
    {
        if (!formatId || !format)
            return E_POINTER;
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        if (!*format)
            return E_OUTOFMEMORY;
        **format = DeviceFormat();
        *formatId = kWaveFormatExId;
        return S_OK;
    }

    // IStandInOutput
    bool IsRealTime() override { return true; }
    WAVEFORMATEX AudioFormat() override { return DeviceFormat(); }
    HRESULT WriteAudio(const void*, ULONG) override { return S_OK; }
    void Checkpoint() override {}
    uint64_t OffsetBase() override { return 0; }

private:
    ComRefCount refs_;
};

} // namespace

ISpStreamFormat* NewDeviceOutput()
{
    return new (std::nothrow) DeviceOutput;
}
