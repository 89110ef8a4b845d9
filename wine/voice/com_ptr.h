#pragma once
// The reference count of the objects this DLL serves, and the owning pointer it shares
// with the program.
#include <windows.h>
#include "platform/com_ptr.h"

// The reference count of a COM object that deletes itself when the last reference goes.
class ComRefCount {
public:
    ULONG Add() { return InterlockedIncrement(&count_); }
    template <class T>
    ULONG Release(T* object)
    {
        const ULONG n = InterlockedDecrement(&count_);
        if (n == 0)
            delete object;
        return n;
    }

private:
    LONG count_ = 1;
};
