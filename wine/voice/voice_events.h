#pragma once
// The events a voice raises and how it announces them: the queue GetEvents hands out,
// the interest that decides what goes into it, and the window message or Win32 event
// that says something has. The speaking thread adds events; any thread may take them.
#include "platform/scoped_handle.h"
#include <windows.h>
#include <sapi.h>
#include <deque>
#include <mutex>

class VoiceEvents {
public:
    VoiceEvents() = default;
    // Events nobody took still own their parameter.
    ~VoiceEvents();
    VoiceEvents(const VoiceEvents&) = delete;
    VoiceEvents& operator=(const VoiceEvents&) = delete;

    // Queues the event when it is of interest, taking a reference to a token or object
    // parameter, and announces it.
    void Raise(SPEVENTENUM id, ULONG stream, ULONGLONG audioOffset, WPARAM wParam, LPARAM lParam,
               SPEVENTLPARAMTYPE type);

    // ISpNotifySource: no announcement, a window message, or a Win32 event.
    void StopNotifying();
    void NotifyWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HRESULT NotifyByEvent();
    HRESULT WaitForNotifyEvent(DWORD milliseconds);
    HANDLE NotifyEventHandle();

    // ISpEventSource
    HRESULT SetInterest(ULONGLONG eventInterest, ULONGLONG queuedInterest);
    HRESULT GetEvents(ULONG count, SPEVENT* events, ULONG* fetched);
    void GetInfo(SPEVENTSOURCEINFO& info);

private:
    void NotifyLocked();

    std::mutex mu_;
    std::deque<SPEVENT> events_;
    ULONGLONG eventInterest_ = 0;
    ULONGLONG queuedInterest_ = 0;
    HWND notifyWindow_ = nullptr;
    UINT notifyMessage_ = 0;
    WPARAM notifyWParam_ = 0;
    LPARAM notifyLParam_ = 0;
    bool notifyByEvent_ = false;
    // Made at the first SetNotifyWin32Event and kept as long as the voice.
    KernelHandle notifyEvent_;
    bool notifyPending_ = false;
};
