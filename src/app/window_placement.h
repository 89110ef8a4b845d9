#pragma once
// Keeping the Speech window where the user can reach it when the saved position lies
// off every monitor (a monitor was unplugged, or the file was edited by hand).
#include <windows.h>
#include <vector>

struct WindowPlace {
    int x;
    int y;
    int width;
    int height;
};

// The place unchanged when the window shares a pixel with any of the work areas;
// otherwise moved into the primary work area, keeping its size where that fits and its
// position as far as the area allows. Any numbers from the settings file are safe here.
WindowPlace ReachablePlace(const WindowPlace& saved, const std::vector<RECT>& workAreas, const RECT& primaryWorkArea);

// The same with the monitors of this system.
WindowPlace ReachablePlace(const WindowPlace& saved);
