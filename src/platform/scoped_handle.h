#pragma once
// One small owner per kind of platform handle: each releases its handle in the way its
// kind needs, whichever way a function is left.
#include <windows.h>
#include <utility>

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;
    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }
    void reset(Handle handle = Traits::Invalid())
    {
        if (handle_ != Traits::Invalid())
            Traits::Close(handle_);
        handle_ = handle;
    }
    Handle release() { return std::exchange(handle_, Traits::Invalid()); }

private:
    Handle handle_ = Traits::Invalid();
};

// Most kinds: null when there is none, and given back by one call.
template <typename HandleType, auto Release>
struct NullHandleTraits {
    using Handle = HandleType;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { Release(handle); }
};
template <typename HandleType, auto Release>
using NullableHandle = ScopedHandle<NullHandleTraits<HandleType, Release>>;

// Files: CreateFile reports failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

// Threads, mutexes, events.
using KernelHandle = NullableHandle<HANDLE, CloseHandle>;
using FileHandle = ScopedHandle<FileHandleTraits>;
using RegistryKey = NullableHandle<HKEY, RegCloseKey>;
using LibraryHandle = NullableHandle<HMODULE, FreeLibrary>;
using GdiObject = NullableHandle<HGDIOBJ, DeleteObject>;
using MemoryDc = NullableHandle<HDC, DeleteDC>;
using MenuHandle = NullableHandle<HMENU, DestroyMenu>;

// A window's (or the screen's) device context, given back to the window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc()
    {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a DC for a while; the DC's own object goes back in after.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject()
    {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The memory behind a global handle, locked while the guard lives.
template <typename T>
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL memory) : memory_(memory), data_(static_cast<T*>(GlobalLock(memory))) {}
    ~GlobalLockGuard()
    {
        if (data_)
            GlobalUnlock(memory_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    T* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }
    // Whole elements of T the memory holds.
    size_t capacity() const { return GlobalSize(memory_) / sizeof(T); }

private:
    HGLOBAL memory_;
    T* data_;
};
