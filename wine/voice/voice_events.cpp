#include "voice_events.h"
#include "platform/sapi_event.h"
#include "sapi_errors.h"
#include <new>

namespace {

bool IsValidInterest(ULONGLONG interest)
{
    return interest == 0 || (interest & SPFEI_FLAGCHECK) == SPFEI_FLAGCHECK;
}

} // namespace

VoiceEvents::~VoiceEvents()
{
    for (SPEVENT& event : events_)
        ReleaseEventParameter(event);
}

void VoiceEvents::Raise(SPEVENTENUM id, ULONG stream, ULONGLONG audioOffset, WPARAM wParam, LPARAM lParam,
                        SPEVENTLPARAMTYPE type)
{
    const ULONGLONG bit = 1ull << id;
    std::lock_guard lock(mu_);
    if (!(eventInterest_ & bit))
        return;
    if (queuedInterest_ & bit) {
        SPEVENT event{};
        event.eEventId = id;
        event.elParamType = type;
        event.ulStreamNum = stream;
        event.ullAudioStreamOffset = audioOffset;
        event.wParam = wParam;
        event.lParam = lParam;
        try {
            events_.push_back(event);
        } catch (const std::bad_alloc&) {
            return;
        }
        if (type == SPET_LPARAM_IS_TOKEN || type == SPET_LPARAM_IS_OBJECT)
            reinterpret_cast<IUnknown*>(lParam)->AddRef();
    }
    NotifyLocked();
}

// One notification stands for every event queued until the next GetEvents, so a
// fast voice does not flood the window's message queue.
void VoiceEvents::NotifyLocked()
{
    if (notifyPending_)
        return;
    if (notifyWindow_) {
        notifyPending_ = true;
        PostMessageW(notifyWindow_, notifyMessage_, notifyWParam_, notifyLParam_);
    } else if (notifyByEvent_) {
        notifyPending_ = true;
        SetEvent(notifyEvent_.get());
    }
}

void VoiceEvents::StopNotifying()
{
    std::lock_guard lock(mu_);
    notifyWindow_ = nullptr;
    notifyByEvent_ = false;
}

void VoiceEvents::NotifyWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard lock(mu_);
    notifyWindow_ = window;
    notifyMessage_ = message;
    notifyWParam_ = wParam;
    notifyLParam_ = lParam;
    notifyByEvent_ = false;
    notifyPending_ = false;
    if (!events_.empty())
        NotifyLocked();
}

HRESULT VoiceEvents::NotifyByEvent()
{
    std::lock_guard lock(mu_);
    if (!notifyEvent_)
        notifyEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!notifyEvent_)
        return HRESULT_FROM_WIN32(GetLastError());
    notifyWindow_ = nullptr;
    notifyByEvent_ = true;
    notifyPending_ = false;
    if (!events_.empty())
        NotifyLocked();
    return S_OK;
}

HRESULT VoiceEvents::WaitForNotifyEvent(DWORD milliseconds)
{
    HANDLE event;
    {
        std::lock_guard lock(mu_);
        if (!notifyByEvent_)
            return SPERR_UNINITIALIZED;
        event = notifyEvent_.get();
    }
    // The handle lives as long as the voice, so waiting on it needs no lock.
    const DWORD result = WaitForSingleObject(event, milliseconds);
    return result == WAIT_OBJECT_0 ? S_OK : S_FALSE;
}

HANDLE VoiceEvents::NotifyEventHandle()
{
    std::lock_guard lock(mu_);
    return notifyByEvent_ ? notifyEvent_.get() : nullptr;
}

HRESULT VoiceEvents::SetInterest(ULONGLONG eventInterest, ULONGLONG queuedInterest)
{
    if (!IsValidInterest(eventInterest) || !IsValidInterest(queuedInterest))
        return E_INVALIDARG;
    eventInterest &= ~SPFEI_FLAGCHECK;
    queuedInterest &= ~SPFEI_FLAGCHECK;
    if (queuedInterest & ~eventInterest)
        return E_INVALIDARG;
    std::lock_guard lock(mu_);
    eventInterest_ = eventInterest;
    queuedInterest_ = queuedInterest;
    return S_OK;
}

// What is handed out belongs to the caller, parameter included.
HRESULT VoiceEvents::GetEvents(ULONG count, SPEVENT* events, ULONG* fetched)
{
    std::lock_guard lock(mu_);
    notifyPending_ = false;
    ULONG n = 0;
    while (n < count && !events_.empty()) {
        events[n++] = events_.front();
        events_.pop_front();
    }
    if (fetched)
        *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

void VoiceEvents::GetInfo(SPEVENTSOURCEINFO& info)
{
    std::lock_guard lock(mu_);
    info.ullEventInterest = eventInterest_ ? eventInterest_ | SPFEI_FLAGCHECK : 0;
    info.ullQueuedInterest = queuedInterest_ ? queuedInterest_ | SPFEI_FLAGCHECK : 0;
    info.ulCount = static_cast<ULONG>(events_.size());
}
