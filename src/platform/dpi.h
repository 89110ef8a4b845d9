#pragma once
// Dots per inch of the screen and of a window, and moving pixel values between them.
// The program declares itself aware of each monitor's DPI, so the system no longer
// stretches its windows: it lays out in real pixels itself. Values it keeps (the
// settings file) stay as a program unaware of scaling was always given them, at 96 dpi.
#include <windows.h>

inline constexpr int BaseDpi = USER_DEFAULT_SCREEN_DPI;   // 96

// The DPI that the system's screen metrics and a screen device context use.
int SystemDpi();
// The DPI a window is laid out for: that of its monitor; the system's on systems
// older than the per-monitor functions.
int WindowDpi(HWND window);

// A value of pixels at 96 dpi at another DPI, and back; rounded to the nearest pixel.
inline int FromBaseDpi(int pixels, int dpi) { return MulDiv(pixels, dpi, BaseDpi); }
inline int ToBaseDpi(int pixels, int dpi) { return MulDiv(pixels, BaseDpi, dpi); }

// GetSystemMetrics for a DPI (the frame, the small icon...).
int SystemMetricForDpi(int index, int dpi);
