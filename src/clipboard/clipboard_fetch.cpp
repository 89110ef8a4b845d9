#include "clipboard/clipboard_fetch.h"
#include "clipboard/secret_copy.h"
#include "res/resource.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr DWORD OpenRetryMs = 10;
// Asks the reader to go on with its fetches (sent, never posted: see RunFetches).
constexpr UINT WM_RUN_FETCHES = WM_APP + 1;

enum class JobState { Opening, Reading, Done, Busy };

// One fetch: the reader thread fills it, the thread that asked for it watches the time.
struct FetchJob {
    FetchJob(FetchScope s, Clock::time_point open) : scope(s), openDeadline(open) {}

    const FetchScope scope;
    const Clock::time_point openDeadline;
    JobState state = JobState::Opening;
    bool sessionOpen = false;        // the reader has the clipboard open for it
    std::vector<UINT> plan;          // the formats to fetch, in order
    size_t next = 0;                 // the one being fetched or to be fetched next
    bool fetching = false;           // the reader waits for plan[next]
    Clock::time_point fetchStarted;
    DWORD sequence = 0;
    ClipboardSnapshot content;
    std::condition_variable progress;
};

// One thread fetches everything. Whoever placed a format without data is asked for it
// by a message sent from that thread, which waits for the answer; while it waits, it
// still handles what is sent to its own window. A format that is late is given up by
// the watching thread, which then sends WM_RUN_FETCHES: the reader goes on with the
// rest from within the wait, still holding the clipboard open, and later fetches are
// done the same way. Another thread could not: the platform may let only one fetch at a
// time into a process (Wine's does), and one thread's open clipboard is not another's.
struct FetchThread {
    std::mutex mutex;
    HWND window = nullptr;
    bool started = false;
    bool failed = false;             // it could not make its window
    std::deque<std::shared_ptr<FetchJob>> queue;
    std::shared_ptr<FetchJob> active;
};

// Never destroyed: the reader may still wait for a program that does not answer when
// the process ends.
FetchThread& TheFetchThread()
{
    static FetchThread* reader = new FetchThread;
    return *reader;
}

bool Finished(const FetchJob& job)
{
    return job.state == JobState::Done || job.state == JobState::Busy;
}

void NoteRestNotKept(FetchJob& job)
{
    for (; job.next < job.plan.size(); ++job.next)
        job.content.NoteNotKept(job.plan[job.next]);
}

// The clipboard is open. Every format is noted; the plan is what is fetched of them.
void MakePlan(FetchJob& job)
{
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format))
        job.content.NotePresent(format);
    if (job.scope == FetchScope::Everything) {
        job.plan = job.content.FormatsWorthRemembering();
        return;
    }
    if (job.content.Holds(HistoryPermissionFormat()))
        job.plan.push_back(HistoryPermissionFormat());
    if (job.content.Holds(CF_UNICODETEXT)) {
        job.plan.push_back(CF_UNICODETEXT);
    } else if (job.scope == FetchScope::CopyUnlessSecret) {
        for (const UINT format : ImageFormats())
            if (job.content.Holds(format)) {
                job.plan.push_back(format);
                break;
            }
    }
}

// A marked secret's text or image is never fetched, let alone read.
bool StopsBefore(const FetchJob& job, UINT format)
{
    return job.scope != FetchScope::Everything && !IsPrivacyMark(format) && IsSecretCopy(job.content);
}

// Other programs hold the clipboard open for a moment; the job may be given up meanwhile.
bool Open(FetchThread& reader, FetchJob& job, std::unique_lock<std::mutex>& lock)
{
    for (;;) {
        if (Finished(job))
            return false;
        lock.unlock();
        const bool opened = OpenClipboard(reader.window) != FALSE;
        lock.lock();
        if (opened || Clock::now() >= job.openDeadline)
            return opened;
        lock.unlock();
        Sleep(OpenRetryMs);
        lock.lock();
    }
}

// Runs the queued fetches on the reader thread, at whatever depth it is called: from the
// thread's loop, or from within a wait for a format that the watching thread gave up.
void RunFetches()
{
    FetchThread& reader = TheFetchThread();
    std::unique_lock<std::mutex> lock(reader.mutex);
    for (;;) {
        if (!reader.active) {
            if (reader.queue.empty())
                return;
            reader.active = reader.queue.front();
            reader.queue.pop_front();
        }
        const std::shared_ptr<FetchJob> job = reader.active;
        // Fetched further down this thread's stack, and not late yet.
        if (job->fetching)
            return;
        if (!job->sessionOpen && !Finished(*job)) {
            job->sessionOpen = Open(reader, *job, lock);
            if (job->sessionOpen && job->state == JobState::Opening) {
                job->sequence = GetClipboardSequenceNumber();
                MakePlan(*job);
                job->state = JobState::Reading;
            } else if (!job->sessionOpen && !Finished(*job)) {
                job->state = JobState::Busy;
            }
        }
        if (job->state == JobState::Reading &&
            (job->next >= job->plan.size() || StopsBefore(*job, job->plan[job->next])))
            job->state = JobState::Done;
        if (Finished(*job)) {
            if (job->sessionOpen)
                CloseClipboard();
            job->sessionOpen = false;
            reader.active.reset();
            job->progress.notify_all();
            continue;
        }
        const size_t index = job->next;
        job->fetching = true;
        job->fetchStarted = Clock::now();
        job->progress.notify_all();
        lock.unlock();
        // Text alone is fetched as text: it is not put back, and a long one is taken at once.
        const bool textAlone = job->scope != FetchScope::Everything && job->plan[index] == CF_UNICODETEXT;
        std::optional<std::wstring> text;
        std::optional<ClipboardSnapshot::RememberedFormat> remembered;
        const bool copied = textAlone ? ClipboardSnapshot::FetchText(text)
                                      : (remembered = ClipboardSnapshot::Fetch(job->plan[index])).has_value();
        lock.lock();
        // Given up while it was awaited: what came is dropped, and the job goes on as
        // the watching thread left it.
        if (!job->fetching || job->next != index)
            continue;
        job->fetching = false;
        ++job->next;
        if (!copied)
            job->content.NoteNotKept(job->plan[index]);
        else if (remembered)
            job->content.Keep(std::move(*remembered));
        else if (text)
            job->content.KeepText(std::move(*text));
        job->progress.notify_all();
    }
}

LRESULT CALLBACK ReaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RUN_FETCHES) {
        RunFetches();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ReaderThread()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = ReaderProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ClipvoceClipboardReader";
    RegisterClassW(&wc);
    const HWND window = CreateWindowW(wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    FetchThread& reader = TheFetchThread();
    {
        const std::lock_guard<std::mutex> lock(reader.mutex);
        reader.window = window;
        if (!window) {
            reader.failed = true;
            // Nothing can be fetched: every job, now and later, finds the clipboard busy.
            for (const std::shared_ptr<FetchJob>& job : reader.queue) {
                job->state = JobState::Busy;
                job->progress.notify_all();
            }
            reader.queue.clear();
            return;
        }
    }
    RunFetches();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

// Queues a job and wakes the reader, starting it the first time.
void Enqueue(const std::shared_ptr<FetchJob>& job)
{
    FetchThread& reader = TheFetchThread();
    HWND window = nullptr;
    {
        const std::lock_guard<std::mutex> lock(reader.mutex);
        if (reader.failed) {
            job->state = JobState::Busy;
            return;
        }
        reader.queue.push_back(job);
        if (!reader.started) {
            try {
                std::thread(ReaderThread).detach();
                reader.started = true;
            } catch (const std::system_error&) {
                reader.queue.pop_back();
                job->state = JobState::Busy;
            }
            return;
        }
        window = reader.window;
    }
    // Sent, so that a reader waiting inside a fetch handles it at once. A reader still
    // making its window takes the job when it starts.
    if (window)
        SendNotifyMessageW(window, WM_RUN_FETCHES, 0, 0);
}

void WakeReader()
{
    FetchThread& reader = TheFetchThread();
    HWND window = nullptr;
    {
        const std::lock_guard<std::mutex> lock(reader.mutex);
        window = reader.window;
    }
    if (window)
        SendNotifyMessageW(window, WM_RUN_FETCHES, 0, 0);
}

std::atomic<WPARAM> lastTicket{0};

} // namespace

std::vector<UINT> ImageFormats()
{
    static const UINT png = RegisterClipboardFormatW(L"PNG");
    std::vector<UINT> formats;
    if (png != 0)
        formats.push_back(png);
    formats.push_back(CF_DIBV5);
    formats.push_back(CF_DIB);
    return formats;
}

ClipboardFetch FetchClipboard(FetchScope scope, const FetchLimits& limits)
{
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + Milliseconds(limits.totalMs);
    auto job = std::make_shared<FetchJob>(scope, std::min(start + Milliseconds(limits.openMs), end));
    Enqueue(job);
    FetchThread& reader = TheFetchThread();
    std::unique_lock<std::mutex> lock(reader.mutex);
    while (!Finished(*job)) {
        Clock::time_point deadline = end;
        if (job->fetching)
            deadline = std::min(deadline, job->fetchStarted + Milliseconds(limits.perFormatMs));
        job->progress.wait_until(lock, deadline);
        if (Finished(*job))
            break;
        const Clock::time_point now = Clock::now();
        const bool late = job->fetching && now >= job->fetchStarted + Milliseconds(limits.perFormatMs);
        if (!late && now < end)
            continue;
        if (job->fetching) {
            job->fetching = false;
            job->content.NoteNotKept(job->plan[job->next++]);
        }
        if (now >= end) {
            NoteRestNotKept(*job);
            job->state = job->state == JobState::Opening ? JobState::Busy : JobState::Done;
        }
        // The reader goes on with the rest, or closes the clipboard.
        lock.unlock();
        WakeReader();
        lock.lock();
    }
    // Whatever the reader still does for this job, it no longer changes it.
    ClipboardFetch fetch;
    fetch.outcome = job->state == JobState::Done ? FetchOutcome::Fetched : FetchOutcome::Busy;
    fetch.sequence = job->sequence;
    fetch.content = std::move(job->content);
    return fetch;
}

WPARAM StartClipboardFetch(HWND window, FetchScope scope, const FetchLimits& limits)
{
    const WPARAM ticket = ++lastTicket;
    auto post = [window, ticket, scope, limits] {
        auto fetch = std::make_unique<ClipboardFetch>(FetchClipboard(scope, limits));
        if (PostMessageW(window, WM_CLIPBOARD_FETCHED, ticket, reinterpret_cast<LPARAM>(fetch.get())))
            fetch.release();
    };
    try {
        std::thread(post).detach();
    } catch (const std::system_error&) {
        // Without a thread there is no fetch; the window hears of one that found the
        // clipboard busy.
        auto fetch = std::make_unique<ClipboardFetch>();
        if (PostMessageW(window, WM_CLIPBOARD_FETCHED, ticket, reinterpret_cast<LPARAM>(fetch.get())))
            fetch.release();
    }
    return ticket;
}

std::unique_ptr<ClipboardFetch> TakeFetchResult(LPARAM lParam)
{
    return std::unique_ptr<ClipboardFetch>(reinterpret_cast<ClipboardFetch*>(lParam));
}
