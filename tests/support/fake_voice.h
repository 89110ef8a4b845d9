#pragma once
// An ISpVoice that records what the program asks of it, and hands out the events and
// status a test queues.
#include <windows.h>
#include <sapi.h>
#include <deque>
#include <string>
#include <vector>

class FakeVoice : public ISpVoice {
public:
    // "SetRate(-1)", "Speak", "Purge", "Pause", "Skip(2)", "SetVoice(ClipvoceStandIn-DE)"...
    std::vector<std::wstring> calls;
    std::deque<SPEVENT> events;
    SPVOICESTATUS status{};
    std::wstring lastSpoken;
    std::vector<std::wstring> spoken;   // every text, in order
    // A call ("Pause", "Resume", "Purge") that the voice records and then refuses with E_FAIL.
    std::wstring refuses;

    // The calls made since the last Take, then forgets them.
    std::vector<std::wstring> Take();
    // An event of the oldest utterance not yet ended, as a voice reports them in
    // order; an end-of-input event ends that utterance.
    void QueueEvent(SPEVENTENUM id, WPARAM wParam = 0, LPARAM lParam = 0);
    void SetWord(ULONG position, ULONG length);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    // ISpNotifySource
    HRESULT STDMETHODCALLTYPE SetNotifySink(ISpNotifySink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNotifyWindowMessage(HWND, UINT, WPARAM, LPARAM) override;
    HRESULT STDMETHODCALLTYPE SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM, LPARAM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM, LPARAM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNotifyWin32Event() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WaitForNotifyEvent(DWORD) override { return E_NOTIMPL; }
    HANDLE STDMETHODCALLTYPE GetNotifyEventHandle() override { return nullptr; }
    // ISpEventSource
    HRESULT STDMETHODCALLTYPE SetInterest(ULONGLONG, ULONGLONG) override;
    HRESULT STDMETHODCALLTYPE GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE GetInfo(SPEVENTSOURCEINFO*) override { return E_NOTIMPL; }
    // ISpVoice
    HRESULT STDMETHODCALLTYPE SetOutput(IUnknown*, WINBOOL) override;
    HRESULT STDMETHODCALLTYPE GetOutputObjectToken(ISpObjectToken**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputStream(ISpStreamFormat**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Resume() override;
    HRESULT STDMETHODCALLTYPE SetVoice(ISpObjectToken* token) override;
    HRESULT STDMETHODCALLTYPE GetVoice(ISpObjectToken**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Speak(LPCWSTR text, DWORD flags, ULONG* streamNumber) override;
    HRESULT STDMETHODCALLTYPE SpeakStream(IStream*, DWORD, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(SPVOICESTATUS* status, LPWSTR* bookmark) override;
    HRESULT STDMETHODCALLTYPE Skip(LPCWSTR type, LONG items, ULONG* skipped) override;
    HRESULT STDMETHODCALLTYPE SetPriority(SPVPRIORITY) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(SPVPRIORITY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAlertBoundary(SPEVENTENUM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAlertBoundary(SPEVENTENUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRate(LONG rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override;
    HRESULT STDMETHODCALLTYPE SetVolume(USHORT volume) override;
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override;
    HRESULT STDMETHODCALLTYPE WaitUntilDone(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSyncSpeakTimeout(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSyncSpeakTimeout(ULONG*) override { return E_NOTIMPL; }
    HANDLE STDMETHODCALLTYPE SpeakCompleteEvent() override { return nullptr; }
    HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR, void*, ULONG, WINBOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG) override { return E_NOTIMPL; }

    LONG rate = 0;
    USHORT volume = 0;

private:
    ULONG references_ = 1;
    ULONG lastStream_ = 0;
    struct Utterance {
        ULONG stream;
        bool purged;
    };
    std::deque<Utterance> unfinished_;   // spoken and not yet ended, purged or not
};
