#include "helper_link.h"
#include "module.h"
#include <new>

namespace {

constexpr DWORD kHelperPollMs = 5;
// The helper answers a Cancel within one piece of audio; one that takes longer has hung
// and is replaced.
constexpr DWORD kCancelAnswerMs = 2000;
// Starts of the helper that fail one after another before the voice keeps to tones.
constexpr unsigned kMaxFailedHelperStarts = 3;

// Tests set CLIPVOCE_VOICE_SOUND=tones: tones have an exact, machine-independent
// length, which their timing and rendering checks rely on.
bool TonesAskedFor()
{
    wchar_t text[16];
    const DWORD n = GetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", text, 16);
    return n > 0 && n < 16 && _wcsicmp(text, L"tones") == 0;
}

} // namespace

bool HelperLink::Start()
{
    if (TonesAskedFor())
        return false;
    std::wstring program = FindSpeechHelper(ModuleInstance());
    if (program.empty())
        return false;
    helper_.reset(new (std::nothrow) SpeechHelper);
    if (helper_ && helper_->Start(program))
        program_ = std::move(program);
    else
        helper_.reset();
    return Available();
}

HelperLink::Step HelperLink::Prepare()
{
    if (!helper_) {
        if (program_.empty())
            return Step::Unavailable;
        std::unique_ptr<SpeechHelper> helper(new (std::nothrow) SpeechHelper);
        if (!helper || !helper->Launch(program_))
            return FailedToStart();
        helper_ = std::move(helper);
    }
    const SpeechHelper::Connection connection = helper_->Connect(kHelperPollMs);
    if (connection == SpeechHelper::Connection::Failed) {
        Drop();
        return FailedToStart();
    }
    if (connection == SpeechHelper::Connection::Waiting)
        return Step::Pending;
    failedStarts_ = 0;
    if (!unansweredCancel_)
        return Step::Ready;
    TakeCancelAnswer();
    return Step::Pending;
}

HelperLink::Step HelperLink::FailedToStart()
{
    if (++failedStarts_ >= kMaxFailedHelperStarts)
        program_.clear();
    return Step::Unavailable;
}

// A helper that breaks off, says what a cancelled request never says or keeps silent
// past the deadline is dropped.
void HelperLink::TakeCancelAnswer()
{
    HelperMessage message;
    const SpeechHelper::Received got = helper_->Receive(message, kHelperPollMs);
    if (got == SpeechHelper::Received::Broken ||
        (got == SpeechHelper::Received::Message && !TakeCancelledRequestMessage(message)) ||
        (got == SpeechHelper::Received::Nothing && GetTickCount64() > cancelDeadline_))
        Drop();
}

// What a cancelled request may still send: speech until its Done, then the
// Cancelled that answers the Cancel. False for anything else.
bool HelperLink::TakeCancelledRequestMessage(const HelperMessage& message)
{
    if (message.request != unansweredCancel_)
        return false;
    if (message.kind == helper_protocol::kCancelled) {
        const bool inOrder = cancelledDone_;
        unansweredCancel_ = 0;
        return inOrder;
    }
    if (cancelledDone_)
        return false;
    cancelledDone_ = message.kind == helper_protocol::kDone;
    return true;
}

bool HelperLink::SendSpeak(uint32_t& request, uint32_t wordsPerMinute, std::wstring_view text, std::string_view voice,
                           int pitch)
{
    request = ++lastRequest_;
    return helper_->SendSpeak(request, wordsPerMinute, text, voice, pitch);
}

bool HelperLink::Cancel(uint32_t request)
{
    const bool reached = helper_->SendCancel(request);
    unansweredCancel_ = request;
    cancelledDone_ = false;
    cancelDeadline_ = GetTickCount64() + kCancelAnswerMs;
    return reached;
}

SpeechHelper::Received HelperLink::Receive(HelperMessage& message)
{
    return helper_->Receive(message, kHelperPollMs);
}

void HelperLink::Drop()
{
    helper_.reset();
    unansweredCancel_ = 0;
}
