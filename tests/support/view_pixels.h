#pragma once
// What a window shows, read from its pixels.
#include <windows.h>
#include <vector>

// A window's client area as the screen shows it.
struct ViewCapture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;   // row by row from the top

    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    int Count(COLORREF colour) const;
    // Pixels of the colour in rows [top, bottom).
    int CountInRows(COLORREF colour, int top, int bottom) const;
    // Left edge and top row of the pixels of one colour, -1 when there are none.
    int LeftMost(COLORREF colour) const;
    int TopMost(COLORREF colour) const;
    // The rows that hold the colour, in bands of adjacent rows: each band's first row.
    std::vector<int> BandTops(COLORREF colour) const;
};

ViewCapture CaptureView(HWND view);

// Whether any pixel of the window's client area has the colour.
bool ViewShows(HWND view, COLORREF colour);
