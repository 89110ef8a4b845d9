#pragma once
// An owning COM interface pointer, and the reference count of the objects this DLL serves.
#include <windows.h>
#include <unknwn.h>
#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* p)
    {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p)
    {
        if (p)
            p->AddRef();
        return Adopt(p);
    }
    ComPtr(const ComPtr& o) : p_(o.p_)
    {
        if (p_)
            p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset()
    {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Out()
    {
        Reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};

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
