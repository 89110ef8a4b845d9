#include "hearing/hearing_job.h"
#include "platform/log.h"
#include <windows.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Threads of jobs still at work.
std::atomic<int> working{0};

} // namespace

// Held by the job and by its thread, so that either may go first.
struct HearingJob::Shared {
    std::atomic<bool> cancelled{false};
    std::mutex lock;
    std::condition_variable changed;
    std::shared_ptr<const SpokenText> filtered;
    bool done = false;
    HeardText heard;
};

void HearingJob::Work(const std::shared_ptr<Shared>& shared, const Filter& filter, const DictionaryByVoice& pronouncers,
                      size_t shown)
{
    std::shared_ptr<const SpokenText> filtered = filter();
    {
        const std::lock_guard<std::mutex> hold(shared->lock);
        shared->filtered = filtered;
    }
    shared->changed.notify_all();
    HeardText heard = HeardAsFiltered(filtered);
    if (HasEntries(pronouncers)) {
        PronunciationWatch watch(shown, &shared->cancelled);
        heard = ApplyDictionary(filtered, pronouncers, watch);
    }
    {
        const std::lock_guard<std::mutex> hold(shared->lock);
        shared->heard = std::move(heard);
        shared->done = true;
    }
    shared->changed.notify_all();
}

HearingJob::HearingJob(Filter filter, DictionaryByVoice pronouncers, size_t shown)
    : shared_(std::make_shared<Shared>())
{
    try {
        ++working;
        std::thread(
            [shared = shared_, filter = std::move(filter), pronouncers = std::move(pronouncers), shown] {
                Work(shared, filter, pronouncers, shown);
                --working;
            })
            .detach();
    } catch (const std::system_error&) {
        --working;
        // Without a thread of its own the voice hears the text without the dictionary,
        // rather than the window waiting for it.
        LogLine(L"No thread could be started for the pronunciation dictionary");
        Work(shared_, filter, DictionaryByVoice{}, shown);
    }
}

HearingJob::~HearingJob()
{
    shared_->cancelled = true;
}

std::shared_ptr<const SpokenText> HearingJob::Filtered(unsigned waitMs)
{
    std::unique_lock<std::mutex> hold(shared_->lock);
    shared_->changed.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return shared_->filtered != nullptr; });
    return shared_->filtered;
}

bool HearingJob::Ready(unsigned waitMs)
{
    std::unique_lock<std::mutex> hold(shared_->lock);
    return shared_->changed.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return shared_->done; });
}

HeardText HearingJob::Take()
{
    const std::lock_guard<std::mutex> hold(shared_->lock);
    return std::move(shared_->heard);
}

void HearingJob::LetEnd(unsigned waitMs)
{
    for (unsigned waited = 0; working > 0 && waited < waitMs; waited += 10)
        Sleep(10);
}
