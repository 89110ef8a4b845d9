#pragma once
// COM on the calling thread, in the multithreaded apartment, for as long as the object
// lives. It must be destroyed on the thread that made it: COM is let go of per thread.
#include <windows.h>
#include <objbase.h>

class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // RPC_E_CHANGED_MODE: the thread was already in a single-threaded apartment, where
    // COM works all the same.
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};
