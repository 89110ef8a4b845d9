#include "caller_output.h"
#include "module.h"
#include "sapi_errors.h"
#include "tone.h"
#include <new>

namespace {

// The caller's object is free-threaded: the speaking thread calls it directly, and
// its Write may hold the thread for as long as the caller wants to be ahead of the
// listener. The speaker never holds its lock across these calls.
class CallerOutput final : public IStandInOutput {
public:
    CallerOutput(ComPtr<ISpStreamFormat> stream, const WAVEFORMATEX& format)
        : stream_(std::move(stream)), format_(format)
    {
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IStandInOutput)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IStandInOutput*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
    STDMETHODIMP_(ULONG) Release() override { return refs_.Release(this); }

    bool IsRealTime() override { return false; }
    WAVEFORMATEX AudioFormat() override { return format_; }

    // A stream may take less than it is given; the rest is offered again. One that
    // takes nothing at all would be offered it for ever.
    HRESULT WriteAudio(const void* data, ULONG bytes) override
    {
        const auto* at = static_cast<const uint8_t*>(data);
        while (bytes > 0) {
            ULONG taken = 0;
            const HRESULT hr = stream_->Write(at, bytes, &taken);
            if (FAILED(hr))
                return hr;
            if (taken == 0 || taken > bytes)
                return STG_E_MEDIUMFULL;
            written_ += taken;
            at += taken;
            bytes -= taken;
        }
        return S_OK;
    }

    void Checkpoint() override {}
    // Called on the speaking thread, the only one that writes.
    uint64_t OffsetBase() override { return written_; }

private:
    ModuleHold module_;
    ComRefCount refs_;
    ComPtr<ISpStreamFormat> stream_;
    const WAVEFORMATEX format_;
    uint64_t written_ = 0;
};

} // namespace

HRESULT NewCallerOutput(ISpStreamFormat* stream, ComPtr<IStandInOutput>& output)
{
    GUID formatId{};
    WAVEFORMATEX* given = nullptr;
    HRESULT hr = stream->GetFormat(&formatId, &given);
    if (FAILED(hr))
        return hr;
    WAVEFORMATEX plain{};
    const bool renderable = given && IsEqualGUID(formatId, kWaveFormatExId) && PlainRenderFormat(*given, plain);
    CoTaskMemFree(given);
    if (!renderable)
        return SPERR_UNSUPPORTED_FORMAT;
    output = ComPtr<IStandInOutput>::Adopt(
        new (std::nothrow) CallerOutput(ComPtr<ISpStreamFormat>::Share(stream), plain));
    return output ? S_OK : E_OUTOFMEMORY;
}
