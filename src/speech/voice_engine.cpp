#include "speech/voice_engine.h"
#include "res/resource.h"

ComPtr<ISpVoice> voiceEngine;

HRESULT CreateVoiceEngine(HWND notifyWindow)
{
    ComPtr<ISpVoice> voice;
    HRESULT result = CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, voice.OutVoid());
    if (SUCCEEDED(result))
        result = voice->SetInterest(SPFEI_ALL_TTS_EVENTS, SPFEI_ALL_TTS_EVENTS);
    if (SUCCEEDED(result))
        result = voice->SetNotifyWindowMessage(notifyWindow, WM_VOICE_EVENT, 0, 0);
    if (FAILED(result))
        return result;
    voiceEngine = voice;
    return S_OK;
}

void ReleaseVoiceEngine()
{
    voiceEngine.Reset();
}
