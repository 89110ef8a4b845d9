#pragma once
// The reference counting of the program's own COM objects, written once: an object starts
// with the one reference its creator holds and is deleted with the last, whichever thread
// lets go of it.
#include <windows.h>
#include <unknwn.h>
#include <atomic>

template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    ComObject() = default;
    // Virtual, so that the last Release ends the whole object and what it holds.
    virtual ~ComObject() = default;

    // The end of every QueryInterface: answer is the object as the asked interface, or null
    // when it has none; the asker gets a reference of its own.
    HRESULT HandOut(void* answer, void** out)
    {
        if (!out)
            return E_POINTER;
        *out = answer;
        if (!answer)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
};
