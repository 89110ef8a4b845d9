#pragma once
// Handles that close themselves, whichever way a function is left.
#include <windows.h>
#include <winhttp.h>

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle()
    {
        if (handle_ != Traits::Invalid())
            Traits::Close(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

private:
    Handle handle_;
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct HttpHandleTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { WinHttpCloseHandle(handle); }
};

using FileHandle = ScopedHandle<FileHandleTraits>;
using HttpHandle = ScopedHandle<HttpHandleTraits>;
