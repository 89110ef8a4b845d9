#pragma once
// What the voice is to hear of a text, worked out on a thread of its own: what the
// listening filters make of it, then what the pronunciation dictionary makes of that. The
// window's thread only looks whether it is done, waiting a few milliseconds at most; a job
// no longer wanted is called off and left to end by itself, never waited for.
#include <functional>
#include <memory>
#include "hearing/pronounced_text.h"

class HearingJob {
public:
    // filter gives what the listening filters make of the text; both it and pronouncers
    // are used on the job's thread only, and must hold all they need.
    using Filter = std::function<std::shared_ptr<const SpokenText>()>;
    // shown: the view length of the text, which sets the dictionary's time and growth.
    HearingJob(Filter filter, DictionaryByVoice pronouncers, size_t shown);
    // Calls the work off.
    ~HearingJob();
    HearingJob(const HearingJob&) = delete;
    HearingJob& operator=(const HearingJob&) = delete;

    // The filters' text once it is there, waiting at most waitMs for it; null before.
    std::shared_ptr<const SpokenText> Filtered(unsigned waitMs);
    // Whether the whole result is there, waiting at most waitMs for it.
    bool Ready(unsigned waitMs);
    // Once Ready: the result, which the job gives up.
    HeardText Take();

    // As the program ends: lets the jobs called off end first, for up to waitMs, so that
    // none is still at work while the program takes itself down.
    static void LetEnd(unsigned waitMs);

private:
    struct Shared;
    static void Work(const std::shared_ptr<Shared>& shared, const Filter& filter, const DictionaryByVoice& pronouncers,
                     size_t shown);

    std::shared_ptr<Shared> shared_;
};
