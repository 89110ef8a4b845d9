#include "voice/voice_engine.h"
#include "res/resource.h"
#include <memory>

HRESULT CreateVoiceEngine(HWND notifyWindow, ComPtr<ISpVoice>& voice)
{
    ComPtr<ISpVoice> created;
    HRESULT result = CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, created.OutVoid());
    if (SUCCEEDED(result))
        result = created->SetInterest(SPFEI_ALL_TTS_EVENTS, SPFEI_ALL_TTS_EVENTS);
    if (SUCCEEDED(result))
        result = created->SetNotifyWindowMessage(notifyWindow, WM_VOICE_EVENT, 0, 0);
    if (FAILED(result))
        return result;
    voice = created;
    return S_OK;
}

std::wstring VoiceName(ISpVoice* voice)
{
    if (!voice)
        return {};
    ComPtr<ISpObjectToken> token;
    if (FAILED(voice->GetVoice(token.Out())) || !token)
        return {};
    wchar_t* name = nullptr;
    if (FAILED(token->GetStringValue(nullptr, &name)) || !name)
        return {};
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(name, &CoTaskMemFree);
    return owned.get();
}
