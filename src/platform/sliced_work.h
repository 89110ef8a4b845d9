#pragma once
// Work too long to do in one go on the window thread, done a few milliseconds at a time
// between its messages: after each slice the thread first takes the keys, clicks,
// repaints and messages waiting for it, so that the program answers all the while.
#include <windows.h>
#include <functional>

class SlicedWork {
public:
    // Does a small piece of the work; true when all of it is done.
    using Step = std::function<bool()>;

    SlicedWork() = default;
    ~SlicedWork();
    SlicedWork(const SlicedWork&) = delete;
    SlicedWork& operator=(const SlicedWork&) = delete;

    // From now on step is called between messages until it says it is done; any work
    // not done yet is dropped. Runs on the thread that calls it.
    void Start(Step step);
    void Cancel();
    bool Pending() const { return static_cast<bool>(step_); }
    // Does all that is left at once.
    void Finish();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool EnsureWindow();
    bool RunStep();
    void RunSlice();
    void ScheduleSlice();

    HWND window_ = nullptr;
    Step step_;
    // Tells a step that was replaced or cancelled while it ran from the one now due.
    unsigned generation_ = 0;
    bool running_ = false;
};
