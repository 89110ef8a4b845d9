#include "platform/sliced_work.h"
#include "platform/log.h"

namespace {

constexpr UINT WM_RUN_SLICE = WM_APP + 1;
constexpr UINT_PTR SliceTimer = 1;
// Long enough that the work gets on, short enough that no one notices the wait.
constexpr double SliceMs = 8.0;
constexpr wchar_t ClassName[] = L"ClipvoceSlicedWork";

double NowMs()
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool RegisterSliceClass(WNDPROC procedure)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = ClassName;
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        LogFailure(L"RegisterClassW of the sliced work", GetLastError());
        return false;
    }
    return true;
}

} // namespace

SlicedWork::~SlicedWork()
{
    if (window_)
        DestroyWindow(window_);
}

bool SlicedWork::EnsureWindow()
{
    static const bool registered = RegisterSliceClass(&SlicedWork::Procedure);
    if (window_ || !registered)
        return window_ != nullptr;
    window_ =
        CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window_) {
        LogFailure(L"CreateWindowExW of the sliced work", GetLastError());
        return false;
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

LRESULT CALLBACK SlicedWork::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* work = reinterpret_cast<SlicedWork*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (work && (message == WM_RUN_SLICE || (message == WM_TIMER && wParam == SliceTimer))) {
        if (message == WM_TIMER)
            KillTimer(window, SliceTimer);
        work->RunSlice();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void SlicedWork::Start(Step step)
{
    step_ = std::move(step);
    ++generation_;
    ScheduleSlice();
}

void SlicedWork::Cancel()
{
    step_ = nullptr;
    ++generation_;
}

// A posted message would come before keys and repaints, and a chain of them would keep
// those waiting until the work is done; while any wait, the next slice comes by a timer,
// which the thread takes only once nothing else is queued.
void SlicedWork::ScheduleSlice()
{
    if (!EnsureWindow()) {
        // Without its window the work cannot wait for a turn; it is done at once.
        Finish();
        return;
    }
    const bool othersWaiting = HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_HOTKEY)) != 0;
    if (othersWaiting ? SetTimer(window_, SliceTimer, USER_TIMER_MINIMUM, nullptr) != 0
                      : PostMessageW(window_, WM_RUN_SLICE, 0, 0) != FALSE)
        return;
    LogFailure(othersWaiting ? L"SetTimer of the sliced work" : L"PostMessageW of the sliced work", GetLastError());
    Finish();
}

// Runs the step once; false when it was replaced or cancelled meanwhile, or is done.
bool SlicedWork::RunStep()
{
    const unsigned generation = generation_;
    // A copy: the step may start other work, which replaces the one running.
    const Step step = step_;
    const bool done = step();
    if (generation != generation_)
        return false;
    if (done)
        step_ = nullptr;
    return !done;
}

void SlicedWork::RunSlice()
{
    if (running_ || !step_)
        return;
    running_ = true;
    const double deadline = NowMs() + SliceMs;
    while (step_ && RunStep() && NowMs() < deadline) {
    }
    running_ = false;
    if (step_)
        ScheduleSlice();
}

void SlicedWork::Finish()
{
    if (running_)
        return;
    running_ = true;
    while (step_)
        RunStep();
    running_ = false;
}
