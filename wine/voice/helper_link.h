#pragma once
// The speaking thread's hold on the native speech helper across sentences: which
// program it is, the one now running (started again whenever it has gone), the
// numbering of requests and the Cancel still waiting for its answer. It never takes
// the voice's lock: the speaking thread calls it with the lock released.
#include "speech_helper.h"
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class HelperLink {
public:
    // Started with the voice, so that the first Speak finds eSpeak NG ready. False when
    // the voice speaks tones: asked for, or no helper that answers.
    bool Start();
    // A voice whose helper answered once speaks with eSpeak NG from then on, starting the
    // helper again whenever it has gone, until starting it fails too often.
    bool Available() const { return !program_.empty(); }

    enum class Step { Ready, Pending, Unavailable };
    // One short step towards a helper ready for a new request: a new one started when it
    // has gone, its connection awaited, the answer to the last Cancel taken. Pending:
    // call again (after looking whether the utterance still wants it).
    Step Prepare();

    uint32_t SampleRate() const { return helper_->SampleRate(); }
    // Sends a new request, numbered in `request`; false when the helper cannot be reached.
    bool SendSpeak(uint32_t& request, uint32_t wordsPerMinute, std::wstring_view text, std::string_view voice,
                   int pitch);
    // Cancels a request under way; its answer is awaited by the next Prepare.
    bool Cancel(uint32_t request);
    // The helper's next message, waiting a moment for it.
    SpeechHelper::Received Receive(HelperMessage& message);
    // Closing the connection ends the helper; the next Prepare starts a new one.
    void Drop();

private:
    Step FailedToStart();
    bool TakeCancelledRequestMessage(const HelperMessage& message);
    void TakeCancelAnswer();

    // The helper program, empty when the voice speaks tones.
    std::wstring program_;
    // Still starting until its Connect says it is ready.
    std::unique_ptr<SpeechHelper> helper_;
    unsigned failedStarts_ = 0;
    uint32_t lastRequest_ = 0;
    // A Cancel whose Cancelled has not yet come (0: none), whether that request's Done
    // has, and when the helper counts as hung.
    uint32_t unansweredCancel_ = 0;
    bool cancelledDone_ = false;
    ULONGLONG cancelDeadline_ = 0;
};
