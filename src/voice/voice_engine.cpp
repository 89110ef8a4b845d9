#include "voice/voice_engine.h"
#include "res/resource.h"
#include "platform/log.h"
#include "voice/audio_output.h"
#include "voice/audio_player.h"
#include "voice/audio_sink.h"
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

namespace {

// The voice's own output format, when it tells it and it is plain PCM; else what most
// voices render natively.
void PreferredFormat(ISpVoice* voice, uint32_t& sampleRate, uint16_t& channels)
{
    sampleRate = 22050;
    channels = 1;
    ComPtr<ISpStreamFormat> output;
    if (FAILED(voice->GetOutputStream(output.Out())) || !output)
        return;
    GUID formatId{};
    WAVEFORMATEX* format = nullptr;
    if (FAILED(output->GetFormat(&formatId, &format)) || !format)
        return;
    if (format->wFormatTag == WAVE_FORMAT_PCM && format->nSamplesPerSec >= 8000 && format->nSamplesPerSec <= 48000 &&
        (format->nChannels == 1 || format->nChannels == 2)) {
        sampleRate = format->nSamplesPerSec;
        channels = format->nChannels;
    }
    CoTaskMemFree(format);
}

} // namespace

HRESULT PlayThroughProgram(ISpVoice* voice, HWND window, UINT message, std::shared_ptr<AudioPlayer>& player)
{
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    PreferredFormat(voice, sampleRate, channels);
    auto made = std::make_shared<AudioPlayer>(sampleRate, channels, window, message);
    // Where the tests listen: there is no audio device under Wine.
    wchar_t recordPath[MAX_PATH];
    const DWORD recordLength = GetEnvironmentVariableW(L"CLIPVOCE_PLAYED_AUDIO", recordPath, MAX_PATH);
    if (recordLength > 0 && recordLength < MAX_PATH)
        made->RecordTo(recordPath);
    if (!made->Start([=] { return OpenAudioOutput(sampleRate, channels); }))
        return E_OUTOFMEMORY;
    const ComPtr<ISpStreamFormat> sink = CreateAudioSink(made);
    if (!sink)
        return E_OUTOFMEMORY;
    if (const HRESULT result = voice->SetOutput(sink.Get(), FALSE); FAILED(result)) {
        LogFailure(L"ISpVoice::SetOutput", static_cast<DWORD>(result));
        return result;
    }
    player = std::move(made);
    return S_OK;
}
