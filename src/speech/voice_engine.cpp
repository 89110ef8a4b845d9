#include "speech/voice_engine.h"
#include "res/resource.h"

ISpVoice* voiceEngine = nullptr;

bool CreateVoiceEngine(HWND notifyWindow)
{
    ISpVoice* voice = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, reinterpret_cast<void**>(&voice))))
        return false;
    voiceEngine = voice;
    voiceEngine->SetInterest(SPFEI_ALL_TTS_EVENTS, SPFEI_ALL_TTS_EVENTS);
    voiceEngine->SetNotifyWindowMessage(notifyWindow, WM_VOICE_EVENT, 0, 0);
    return true;
}

void ReleaseVoiceEngine()
{
    if (voiceEngine) {
        voiceEngine->Release();
        voiceEngine = nullptr;
    }
}

void ReleaseEventParameter(SPEVENT& event)
{
    switch (event.elParamType) {
    case SPET_LPARAM_IS_TOKEN:
    case SPET_LPARAM_IS_OBJECT:
        if (event.lParam)
            reinterpret_cast<IUnknown*>(event.lParam)->Release();
        break;
    case SPET_LPARAM_IS_POINTER:
    case SPET_LPARAM_IS_STRING:
        CoTaskMemFree(reinterpret_cast<void*>(event.lParam));
        break;
    default:
        break;
    }
    event = SPEVENT{};
}
