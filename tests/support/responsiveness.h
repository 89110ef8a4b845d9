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
#include <string>
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
    // with another program cost the machine at its busiest (twice the control's slowest),
    // but once: a virtual machine whose processor is taken away now and then holds up a
    // single repaint of either window by a few hundred milliseconds. Work of the window's
    // own that waits for another program either takes longer than that (the clipboard
    // held open, a copy awaited) or comes back with every retry.
    bool AnsweredWithin(DWORD budgetMs) const
    {
        const DWORD load = 2 * controlLongest_;
        return rounds_ > 0 && windowSecondLongest_ <= budgetMs + load && windowLongest_ <= HiccupMs + load;
    }

    static constexpr DWORD HiccupMs = 600;
    // The measures, for a failure's message.
    std::string Summary() const;

private:
    std::atomic<bool> stop_{false};
    std::atomic<DWORD> windowLongest_{0};
    std::atomic<DWORD> controlLongest_{0};
    std::atomic<DWORD> windowSecondLongest_{0};
    // When the window's slowest repaint was asked for, in milliseconds after the start.
    std::atomic<DWORD> windowLongestAt_{0};
    std::atomic<int> rounds_{0};
    std::thread thread_;
};
