#pragma once
// What a window shows, read from its pixels.
#include <windows.h>

// Whether any pixel of the window's client area has the colour.
bool ViewShows(HWND view, COLORREF colour);
