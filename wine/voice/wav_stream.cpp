// SpStream: the speech platform's stream object, as far as the voice's output needs
// it. Bound to a file it writes a RIFF/WAVE file in the format it was given, the
// RIFF header hidden from the stream positions.
#include "audio_output.h"
#include "com_ptr.h"
#include "module.h"
#include "platform/scoped_handle.h"
#include "sapi_errors.h"
#include "tone.h"
#include <sapi.h>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

void PutU32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& b, const char (&tag)[5])
{
    b.insert(b.end(), tag, tag + 4);
}

class WavStream final : public ISpStream, public IStandInOutput {
public:
    WavStream() = default;
    ~WavStream() { CloseLocked(); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
            IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISpStreamFormat) ||
            IsEqualIID(riid, IID_ISpStream))
            *ppv = static_cast<ISpStream*>(this);
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

    // ISpStream
    // Another stream underneath could be an object of another apartment, which the
    // speaking thread must never wait for; the stand-in writes files only.
    STDMETHODIMP SetBaseStream(IStream*, REFGUID, const WAVEFORMATEX*) override { return E_NOTIMPL; }

    STDMETHODIMP GetBaseStream(IStream** base) override
    {
        if (!base)
            return E_POINTER;
        *base = nullptr;
        std::lock_guard lock(mu_);
        return mode_ == Mode::File ? S_FALSE : NotReady();
    }

    STDMETHODIMP BindToFile(LPCWSTR fileName, SPFILEMODE mode, const GUID* formatId,
                            const WAVEFORMATEX* format, ULONGLONG) override
    {
        if (!fileName || !formatId)
            return E_INVALIDARG;
        // The stand-in writes audio; reading a file back is not something it offers.
        if (mode != SPFM_CREATE && mode != SPFM_CREATE_ALWAYS)
            return E_NOTIMPL;
        std::lock_guard lock(mu_);
        if (mode_ != Mode::Unbound)
            return SPERR_ALREADY_INITIALIZED;
        HRESULT hr = TakeFormat(*formatId, format);
        if (FAILED(hr))
            return hr;
        file_.reset(CreateFileW(fileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_)
            return HRESULT_FROM_WIN32(GetLastError());
        fileName_ = fileName;
        mode_ = Mode::File;
        hr = WriteHeader();
        if (FAILED(hr)) {
            file_.reset();
            DeleteFileW(fileName);
            mode_ = Mode::Unbound;
        }
        return hr;
    }

    STDMETHODIMP Close() override
    {
        std::lock_guard lock(mu_);
        if (mode_ == Mode::Unbound || mode_ == Mode::Closed)
            return NotReady();
        return CloseLocked();
    }

    // ISpStreamFormat
    STDMETHODIMP GetFormat(GUID* formatId, WAVEFORMATEX** format) override
    {
        if (!formatId || !format)
            return E_POINTER;
        std::lock_guard lock(mu_);
        *format = nullptr;
        if (mode_ == Mode::Unbound || mode_ == Mode::Closed)
            return NotReady();
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(format_.size()));
        if (!*format)
            return E_OUTOFMEMORY;
        memcpy(*format, format_.data(), format_.size());
        *formatId = formatId_;
        return S_OK;
    }

    // ISequentialStream / IStream, positioned within the audio data.
    STDMETHODIMP Read(void* data, ULONG cb, ULONG* read) override
    {
        if (!data)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(mu_);
        if (read)
            *read = 0;
        if (mode_ != Mode::File)
            return NotReady();
        const ULONG n = static_cast<ULONG>(std::min<uint64_t>(cb, dataBytes_ - std::min(pos_, dataBytes_)));
        DWORD got = 0;
        if (n && (!SeekFile(headerBytes_ + pos_) || !ReadFile(file_.get(), data, n, &got, nullptr)))
            return HRESULT_FROM_WIN32(GetLastError());
        pos_ += got;
        if (read)
            *read = got;
        return got == cb ? S_OK : S_FALSE;
    }

    STDMETHODIMP Write(const void* data, ULONG cb, ULONG* written) override
    {
        if (!data)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(mu_);
        return WriteLocked(data, cb, written);
    }

    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override
    {
        std::lock_guard lock(mu_);
        if (mode_ != Mode::File)
            return NotReady();
        int64_t from = 0;
        switch (origin) {
        case STREAM_SEEK_SET: from = 0; break;
        case STREAM_SEEK_CUR: from = static_cast<int64_t>(pos_); break;
        case STREAM_SEEK_END: from = static_cast<int64_t>(dataBytes_); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        if (from + move.QuadPart < 0)
            return STG_E_INVALIDFUNCTION;
        pos_ = static_cast<uint64_t>(from + move.QuadPart);
        if (newPos)
            newPos->QuadPart = pos_;
        return S_OK;
    }

    STDMETHODIMP SetSize(ULARGE_INTEGER size) override
    {
        std::lock_guard lock(mu_);
        if (mode_ != Mode::File)
            return NotReady();
        if (!SeekFile(headerBytes_ + size.QuadPart) || !SetEndOfFile(file_.get()))
            return HRESULT_FROM_WIN32(GetLastError());
        dataBytes_ = size.QuadPart;
        return WriteHeader();
    }

    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }

    STDMETHODIMP Commit(DWORD) override
    {
        std::lock_guard lock(mu_);
        if (mode_ != Mode::File)
            return NotReady();
        return WriteHeader();
    }

    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override
    {
        if (!stat)
            return E_POINTER;
        std::lock_guard lock(mu_);
        if (mode_ != Mode::File)
            return NotReady();
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = dataBytes_;
        stat->grfMode = STGM_READWRITE;
        if (!(flags & STATFLAG_NONAME)) {
            const size_t bytes = (fileName_.size() + 1) * sizeof(wchar_t);
            stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            if (!stat->pwcsName)
                return E_OUTOFMEMORY;
            memcpy(stat->pwcsName, fileName_.c_str(), bytes);
        }
        return S_OK;
    }

    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    // IStandInOutput
    bool IsRealTime() override { return false; }
    WAVEFORMATEX AudioFormat() override
    {
        std::lock_guard lock(mu_);
        return plainFormat_;
    }
    HRESULT WriteAudio(const void* data, ULONG bytes) override
    {
        std::lock_guard lock(mu_);
        return WriteLocked(data, bytes, nullptr);
    }
    void Checkpoint() override
    {
        std::lock_guard lock(mu_);
        if (mode_ == Mode::File)
            WriteHeader();
    }
    uint64_t OffsetBase() override { return 0; }

private:
    enum class Mode { Unbound, File, Closed };

    HRESULT NotReady() const { return mode_ == Mode::Closed ? SPERR_STREAM_CLOSED : SPERR_UNINITIALIZED; }

    HRESULT TakeFormat(REFGUID formatId, const WAVEFORMATEX* format)
    {
        if (!IsEqualGUID(formatId, kWaveFormatExId) || !format)
            return E_INVALIDARG;
        if (!PlainRenderFormat(*format, plainFormat_))
            return E_INVALIDARG;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(format);
        format_.assign(bytes, bytes + sizeof(WAVEFORMATEX) + format->cbSize);
        formatId_ = formatId;
        return S_OK;
    }

    HRESULT WriteLocked(const void* data, ULONG cb, ULONG* written)
    {
        if (written)
            *written = 0;
        if (mode_ != Mode::File)
            return NotReady();
        DWORD put = 0;
        if (!SeekFile(headerBytes_ + pos_) || !WriteFile(file_.get(), data, cb, &put, nullptr))
            return STG_E_WRITEFAULT;
        pos_ += put;
        dataBytes_ = std::max(dataBytes_, pos_);
        if (written)
            *written = put;
        return put == cb ? S_OK : STG_E_MEDIUMFULL;
    }

    bool SeekFile(uint64_t offset)
    {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN);
    }

    // The header with the sizes of what has been written so far, so that the file is a
    // valid RIFF/WAVE whenever the voice has finished an utterance.
    HRESULT WriteHeader()
    {
        const bool plainPcm = plainFormat_.wFormatTag == WAVE_FORMAT_PCM && format_.size() == sizeof(WAVEFORMATEX);
        // A PCM format without extension is written as the classic 16-byte record.
        const uint32_t fmtBytes = plainPcm ? 16 : static_cast<uint32_t>(format_.size());
        const uint32_t fmtPad = fmtBytes & 1;
        const uint32_t dataBytes = static_cast<uint32_t>(std::min<uint64_t>(dataBytes_, 0xFFFFFFF0u));
        std::vector<uint8_t> h;
        PutTag(h, "RIFF");
        PutU32(h, 4 + 8 + fmtBytes + fmtPad + 8 + dataBytes + (dataBytes & 1));
        PutTag(h, "WAVE");
        PutTag(h, "fmt ");
        PutU32(h, fmtBytes);
        h.insert(h.end(), format_.begin(), format_.begin() + fmtBytes);
        if (fmtPad)
            h.push_back(0);
        PutTag(h, "data");
        PutU32(h, dataBytes);
        headerBytes_ = h.size();
        DWORD put = 0;
        if (!SeekFile(0) || !WriteFile(file_.get(), h.data(), static_cast<DWORD>(h.size()), &put, nullptr) ||
            put != h.size())
            return STG_E_WRITEFAULT;
        return S_OK;
    }

    HRESULT CloseLocked()
    {
        HRESULT hr = S_OK;
        if (mode_ == Mode::File) {
            // RIFF chunks are word-aligned: an odd data size gets a pad byte.
            if (dataBytes_ & 1) {
                const uint8_t pad = 0;
                DWORD put = 0;
                if (!SeekFile(headerBytes_ + dataBytes_) || !WriteFile(file_.get(), &pad, 1, &put, nullptr))
                    hr = STG_E_WRITEFAULT;
            }
            if (FAILED(WriteHeader()))
                hr = STG_E_WRITEFAULT;
            file_.reset();
        }
        if (mode_ != Mode::Unbound)
            mode_ = Mode::Closed;
        return hr;
    }

    ModuleHold module_;
    ComRefCount refs_;
    std::mutex mu_;
    Mode mode_ = Mode::Unbound;
    FileHandle file_;
    std::wstring fileName_;
    GUID formatId_{};
    std::vector<uint8_t> format_;
    WAVEFORMATEX plainFormat_{};
    uint64_t headerBytes_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t pos_ = 0;
};

} // namespace

HRESULT CreateWavStream(REFIID riid, void** ppv)
{
    return CreateObject<WavStream>(riid, ppv);
}
