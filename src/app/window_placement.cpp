#include "app/window_placement.h"
#include <algorithm>

namespace {

struct WorkAreas {
    std::vector<RECT> all;
    RECT primary{};
    bool primaryFound = false;
};

BOOL CALLBACK CollectWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM param)
{
    auto* areas = reinterpret_cast<WorkAreas*>(param);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info))
        return TRUE;
    areas->all.push_back(info.rcWork);
    if (info.dwFlags & MONITORINFOF_PRIMARY) {
        areas->primary = info.rcWork;
        areas->primaryFound = true;
    }
    return TRUE;
}

// Wide arithmetic: a hand-edited x near the 32-bit limit plus a width must not wrap.
bool Overlaps(long long start, long long length, long long areaStart, long long areaEnd)
{
    // A window saved with no size still has a corner that can be on a screen.
    const long long end = start + std::max(length, 1LL);
    return start < areaEnd && areaStart < end;
}

} // namespace

WindowPlace ReachablePlace(const WindowPlace& saved, const std::vector<RECT>& workAreas, const RECT& primaryWorkArea)
{
    for (const RECT& area : workAreas) {
        if (Overlaps(saved.x, saved.width, area.left, area.right) &&
            Overlaps(saved.y, saved.height, area.top, area.bottom))
            return saved;
    }
    const RECT& area = primaryWorkArea;
    if (area.right <= area.left || area.bottom <= area.top)
        return saved;
    const int width = std::min<long long>(saved.width, static_cast<long long>(area.right) - area.left);
    const int height = std::min<long long>(saved.height, static_cast<long long>(area.bottom) - area.top);
    const int x = std::clamp<int>(saved.x, area.left, area.right - std::max(width, 0));
    const int y = std::clamp<int>(saved.y, area.top, area.bottom - std::max(height, 0));
    return WindowPlace{x, y, width, height};
}

WindowPlace ReachablePlace(const WindowPlace& saved)
{
    WorkAreas areas;
    EnumDisplayMonitors(nullptr, nullptr, CollectWorkArea, reinterpret_cast<LPARAM>(&areas));
    if (!areas.primaryFound) {
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &areas.primary, 0))
            return saved;   // nothing known about the screens: leave the window as saved
        areas.all.push_back(areas.primary);
    }
    return ReachablePlace(saved, areas.all, areas.primary);
}
