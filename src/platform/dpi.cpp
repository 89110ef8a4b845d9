#include "platform/dpi.h"
#include "platform/scoped_handle.h"

namespace {

// The per-monitor functions came with later systems than the program runs on; they are
// looked up rather than imported, so the program still starts without them.
template <typename Function>
Function User32Function(const char* name)
{
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetDpiForSystemFunction = UINT(WINAPI*)();
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);

} // namespace

int SystemDpi()
{
    static const auto forSystem = User32Function<GetDpiForSystemFunction>("GetDpiForSystem");
    if (forSystem) {
        if (const UINT dpi = forSystem(); dpi > 0)
            return static_cast<int>(dpi);
    }
    const WindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : BaseDpi;
}

int WindowDpi(HWND window)
{
    static const auto forWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (forWindow && window) {
        if (const UINT dpi = forWindow(window); dpi > 0)
            return static_cast<int>(dpi);
    }
    return SystemDpi();
}

int SystemMetricForDpi(int index, int dpi)
{
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, static_cast<UINT>(dpi));
    // Without it every window has the system's DPI.
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}
