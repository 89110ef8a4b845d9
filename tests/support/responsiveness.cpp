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
          const ULONGLONG start = Now();
          while (!stop_) {
              const ULONGLONG asked = Now();
              const DWORD windowMs = RepaintMs(window);
              if (windowMs > windowLongest_) {
                  windowSecondLongest_ = windowLongest_.load();
                  windowLongest_ = windowMs;
                  windowLongestAt_ = static_cast<DWORD>(asked - start);
              } else {
                  Raise(windowSecondLongest_, windowMs);
              }
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

std::string ResponsivenessProbe::Summary() const
{
    return "slowest repaint " + std::to_string(windowLongest_) + " ms (" + std::to_string(windowLongestAt_) +
           " ms after the start), the next " + std::to_string(windowSecondLongest_) + " ms; an idle window's " +
           std::to_string(controlLongest_) + " ms, over " + std::to_string(rounds_) + " rounds";
}
