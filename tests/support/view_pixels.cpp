#include "view_pixels.h"
#include "platform/scoped_handle.h"

bool ViewShows(HWND view, COLORREF colour)
{
    RECT client;
    GetClientRect(view, &client);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;   // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const GdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const MemoryDc memory(CreateCompatibleDC(nullptr));
    if (!bitmap || !memory)
        return false;
    const SelectedObject selected(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, client.right, client.bottom, WindowDc(view).get(), 0, 0, SRCCOPY);
    const auto* pixels = static_cast<const DWORD*>(bits);
    const DWORD wanted = RGB(GetBValue(colour), GetGValue(colour), GetRValue(colour));   // DIBs store BGR
    for (LONG i = 0; i < client.right * client.bottom; ++i)
        if ((pixels[i] & 0xFFFFFF) == wanted)
            return true;
    return false;
}
