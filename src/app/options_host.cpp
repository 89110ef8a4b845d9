#include "app/options_host.h"
#include "app/popup_menu.h"
#include "app/restart.h"
#include "app/speech_window.h"
#include "export/mp3_encoder.h"
#include "platform/com_ptr.h"
#include "settings/app_settings.h"
#include "speech/display.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "res/resource.h"
#include <memory>

namespace {

void SetVoiceRate(int rate)
{
    if (voiceEngine)
        voiceEngine->SetRate(rate);
}

std::wstring CurrentVoiceName()
{
    if (!voiceEngine)
        return {};
    ComPtr<ISpObjectToken> token;
    if (FAILED(voiceEngine->GetVoice(token.Out())) || !token)
        return {};
    wchar_t* name = nullptr;
    if (FAILED(token->GetStringValue(nullptr, &name)) || !name)
        return {};
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(name, &CoTaskMemFree);
    return owned.get();
}

} // namespace

OptionsHost SpeechWindowOptionsHost(SpeechWindowState& state)
{
    const HWND window = state.window;
    OptionsHost host;
    host.speechWindow = window;
    host.textView = textView;
    host.setVoiceRate = SetVoiceRate;
    host.voiceName = CurrentVoiceName;
    host.encoderVersion = QueryEncoderVersion;
    host.applyBorder = [&state] { ApplyBorder(state); };
    host.applyTopMost = [window] { ApplyTopMost(window); };
    host.applyTransparency = [window] { ApplyTransparency(window); };
    // A new font or colour is shown at the window's transparency, as at start-up.
    host.applyFontAndColours = [window] {
        ApplyFontAndColours();
        ApplyTransparency(window);
    };
    host.applyWindowVisibility = [&state] { ShowSpeechWindow(state, SW_SHOWNORMAL); };
    host.applyClipboardMenu = [&state] { ShowClipboardSettingsInMenu(state.popupMenu); };
    host.saveSettings = [&state] { SaveSettingsNotingFailure(state); };
    host.requestReset = RequestReset;
    return host;
}
