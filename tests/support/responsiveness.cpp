#include "responsiveness.h"

namespace {

constexpr ULONGLONG GiveUpMs = 20000;

ULONGLONG Now()
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return static_cast<ULONGLONG>(count.QuadPart * 1000 / frequency.QuadPart);
}

// A window that does not paint within the limit counts as having taken all of it. One
// pixel is painted: the measure must not be a load of its own.
DWORD RepaintMs(HWND window)
{
    const RECT pixel{0, 0, 1, 1};
    const ULONGLONG start = Now();
    InvalidateRect(window, &pixel, FALSE);
    while (GetUpdateRect(window, nullptr, FALSE) && Now() - start < GiveUpMs)
        Sleep(1);
    return static_cast<DWORD>(Now() - start);
}

void Raise(std::atomic<DWORD>& longest, DWORD value)
{
    DWORD seen = longest;
    while (value > seen && !longest.compare_exchange_weak(seen, value)) {
    }
}

} // namespace

ResponsivenessProbe::ResponsivenessProbe(HWND window, HWND idleControl)
    : thread_([this, window, idleControl] {
          while (!stop_) {
              Raise(windowLongest_, RepaintMs(window));
              Raise(controlLongest_, RepaintMs(idleControl));
              ++rounds_;
              Sleep(10);
          }
      })
{
}

ResponsivenessProbe::~ResponsivenessProbe()
{
    Stop();
}

void ResponsivenessProbe::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}
