#pragma once
// How long a window takes to get back to its messages, measured from a thread of its own
// while a test drives the program: a repaint is asked for from outside and timed until
// the window has painted, which it does only from its message loop (a window waiting
// inside a sent message still answers sent ones, but neither paints nor takes input).
// The same is done in turn with an idle window of another program, whose slowest
// repaint shows what the machine's load alone costs: one such exchange with another
// program, as the window itself has with the clipboard's owner or the notification area.
#include <windows.h>
#include <atomic>
#include <thread>

// The idle window must be one that no keys are typed into: under load, a stream of
// repaints can hold back the input it is about to handle.
class ResponsivenessProbe {
public:
    ResponsivenessProbe(HWND window, HWND idleControl);
    ~ResponsivenessProbe();
    ResponsivenessProbe(const ResponsivenessProbe&) = delete;
    ResponsivenessProbe& operator=(const ResponsivenessProbe&) = delete;

    void Stop();
    // The slowest repaint of each, in milliseconds, and how many were made.
    DWORD WindowLongestMs() const { return windowLongest_; }
    DWORD ControlLongestMs() const { return controlLongest_; }
    int Rounds() const { return rounds_; }
    // The window never took longer than budgetMs beyond what its repaint and one exchange
    // with another program cost the machine at its busiest: twice the control's slowest.
    bool AnsweredWithin(DWORD budgetMs) const
    {
        return rounds_ > 0 && windowLongest_ <= budgetMs + 2 * controlLongest_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<DWORD> windowLongest_{0};
    std::atomic<DWORD> controlLongest_{0};
    std::atomic<int> rounds_{0};
    std::thread thread_;
};
