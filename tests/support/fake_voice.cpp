#include "fake_voice.h"

std::vector<std::wstring> FakeVoice::Take()
{
    std::vector<std::wstring> taken;
    taken.swap(calls);
    return taken;
}

void FakeVoice::QueueEvent(SPEVENTENUM id, WPARAM wParam, LPARAM lParam)
{
    SPEVENT event{};
    event.eEventId = id;
    event.elParamType = SPET_LPARAM_IS_UNDEFINED;
    event.wParam = wParam;
    event.lParam = lParam;
    event.ulStreamNum = unfinished_.empty() ? 0 : unfinished_.front().stream;
    if (id == SPEI_END_INPUT_STREAM && !unfinished_.empty())
        unfinished_.pop_front();
    events.push_back(event);
}

void FakeVoice::SetWord(ULONG position, ULONG length)
{
    status.ulInputWordPos = position;
    status.ulInputWordLen = length;
}

HRESULT FakeVoice::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == IID_ISpVoice) {
        *out = this;
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeVoice::SetNotifyWindowMessage(HWND, UINT, WPARAM, LPARAM)
{
    calls.push_back(L"SetNotifyWindowMessage");
    return S_OK;
}

HRESULT FakeVoice::SetInterest(ULONGLONG, ULONGLONG)
{
    calls.push_back(L"SetInterest");
    return S_OK;
}

HRESULT FakeVoice::GetEvents(ULONG count, SPEVENT* out, ULONG* fetched)
{
    if (fetched)
        *fetched = 0;
    if (count == 0 || events.empty())
        return S_FALSE;
    *out = events.front();
    events.pop_front();
    if (fetched)
        *fetched = 1;
    return S_OK;
}

HRESULT FakeVoice::SetOutput(IUnknown*, WINBOOL)
{
    calls.push_back(L"SetOutput");
    return S_OK;
}

HRESULT FakeVoice::Pause()
{
    calls.push_back(L"Pause");
    return refuses == L"Pause" ? E_FAIL : S_OK;
}

HRESULT FakeVoice::Resume()
{
    calls.push_back(L"Resume");
    return refuses == L"Resume" ? E_FAIL : S_OK;
}

HRESULT FakeVoice::Speak(LPCWSTR text, DWORD flags, ULONG* streamNumber)
{
    if (!text && (flags & SPF_PURGEBEFORESPEAK)) {
        calls.push_back(L"Purge");
        if (refuses == L"Purge")
            return E_FAIL;
        for (Utterance& u : unfinished_)
            u.purged = true;
    } else {
        calls.push_back(L"Speak");
        lastSpoken = text ? text : L"";
        spoken.push_back(lastSpoken);
        unfinished_.push_back({++lastStream_, false});
        if (streamNumber)
            *streamNumber = lastStream_;
    }
    return S_OK;
}

HRESULT FakeVoice::GetStatus(SPVOICESTATUS* out, LPWSTR*)
{
    // Purged utterances are dropped at once; the word is of the first one still read.
    *out = status;
    for (const Utterance& u : unfinished_) {
        if (!u.purged) {
            out->ulCurrentStream = u.stream;
            break;
        }
    }
    return S_OK;
}

HRESULT FakeVoice::Skip(LPCWSTR type, LONG items, ULONG*)
{
    calls.push_back(std::wstring(L"Skip(") + type + L"," + std::to_wstring(items) + L")");
    return S_OK;
}

HRESULT FakeVoice::SetRate(LONG value)
{
    rate = value;
    calls.push_back(L"SetRate(" + std::to_wstring(value) + L")");
    return S_OK;
}

HRESULT FakeVoice::GetRate(LONG* value)
{
    *value = rate;
    return S_OK;
}

HRESULT FakeVoice::SetVolume(USHORT value)
{
    volume = value;
    calls.push_back(L"SetVolume(" + std::to_wstring(value) + L")");
    return S_OK;
}

HRESULT FakeVoice::GetVolume(USHORT* value)
{
    *value = volume;
    return S_OK;
}

// Named by the last part of the token's id, "default" for none.
HRESULT FakeVoice::SetVoice(ISpObjectToken* token)
{
    std::wstring name = L"default";
    wchar_t* id = nullptr;
    if (token && SUCCEEDED(token->GetId(&id)) && id) {
        name = id;
        name.erase(0, name.find_last_of(L'\\') + 1);
        CoTaskMemFree(id);
    }
    calls.push_back(L"SetVoice(" + name + L")");
    return S_OK;
}
