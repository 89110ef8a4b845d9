#include "app/options_host.h"
#include "app/app_state.h"
#include "app/restart.h"
#include "export/mp3_encoder.h"
#include "platform/com_ptr.h"
#include "platform/menu_items.h"
#include "settings/app_settings.h"
#include "speech/display.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "res/resource.h"

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
    std::wstring result(name);
    CoTaskMemFree(name);
    return result;
}

std::wstring EncoderVersion()
{
    return QueryEncoderVersion() ? std::wstring(encoderVersionText) : std::wstring();
}

void ApplyClipboardMenu()
{
    SetMenuItemChecked(popupMenu, CMD_CLIPBOARD_MONITOR, AppSettings.clipboard);
    SetMenuItemEnabled(popupMenu, CMD_APPEND_TEXT, AppSettings.clipboard);
    SetMenuItemChecked(popupMenu, CMD_APPEND_TEXT, AppSettings.append);
}

} // namespace

OptionsHost SpeechWindowOptionsHost()
{
    OptionsHost host;
    host.speechWindow = speechWindow;
    host.textView = textView;
    host.setVoiceRate = SetVoiceRate;
    host.voiceName = CurrentVoiceName;
    host.encoderVersion = EncoderVersion;
    host.applyBorder = ApplyBorder;
    host.applyTopMost = ApplyTopMost;
    host.applyTransparency = ApplyTransparency;
    host.applyFontAndColours = ApplyFontAndColours;
    host.applyWindowVisibility = [] { ShowSpeechWindow(SW_SHOWNORMAL); };
    host.applyClipboardMenu = ApplyClipboardMenu;
    host.requestReset = RequestReset;
    return host;
}
