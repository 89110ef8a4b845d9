#include "view_pixels.h"
#include "platform/scoped_handle.h"
#include <algorithm>

int ViewCapture::Count(COLORREF colour) const
{
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), colour));
}

int ViewCapture::CountInRows(COLORREF colour, int top, int bottom) const
{
    top = std::clamp(top, 0, height);
    bottom = std::clamp(bottom, top, height);
    return static_cast<int>(std::count(pixels.begin() + static_cast<ptrdiff_t>(top) * width,
                                       pixels.begin() + static_cast<ptrdiff_t>(bottom) * width, colour));
}

int ViewCapture::LeftMost(COLORREF colour) const
{
    int left = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (At(x, y) == colour && (left < 0 || x < left))
                left = x;
    return left;
}

int ViewCapture::TopMost(COLORREF colour) const
{
    for (int y = 0; y < height; ++y)
        if (CountInRows(colour, y, y + 1) > 0)
            return y;
    return -1;
}

std::vector<int> ViewCapture::BandTops(COLORREF colour) const
{
    std::vector<int> tops;
    bool inBand = false;
    for (int y = 0; y < height; ++y) {
        const bool holds = CountInRows(colour, y, y + 1) > 0;
        if (holds && !inBand)
            tops.push_back(y);
        inBand = holds;
    }
    return tops;
}

namespace {

ViewCapture Capture(HWND view, HDC source, POINT origin)
{
    ViewCapture capture;
    RECT client{};
    GetClientRect(view, &client);
    capture.width = client.right;
    capture.height = client.bottom;
    if (capture.width <= 0 || capture.height <= 0)
        return capture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;   // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const GdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const MemoryDc memory(CreateCompatibleDC(nullptr));
    if (!bitmap || !memory)
        return capture;
    {
        const SelectedObject selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, capture.width, capture.height, source, origin.x, origin.y, SRCCOPY);
    }
    GdiFlush();
    const auto* raw = static_cast<const DWORD*>(bits);
    capture.pixels.reserve(static_cast<size_t>(capture.width) * capture.height);
    for (size_t i = 0; i < static_cast<size_t>(capture.width) * capture.height; ++i)   // DIBs store BGR
        capture.pixels.push_back(RGB((raw[i] >> 16) & 0xFF, (raw[i] >> 8) & 0xFF, raw[i] & 0xFF));
    return capture;
}

} // namespace

// A window of this process from what it has drawn (the screen may show it a moment
// later); another process's from the screen.
ViewCapture CaptureView(HWND view)
{
    DWORD process = 0;
    GetWindowThreadProcessId(view, &process);
    if (process == GetCurrentProcessId())
        return Capture(view, WindowDc(view).get(), POINT{0, 0});
    POINT origin{0, 0};
    ClientToScreen(view, &origin);
    return Capture(view, WindowDc(nullptr).get(), origin);
}

bool ViewShows(HWND view, COLORREF colour)
{
    return CaptureView(view).Count(colour) > 0;
}
