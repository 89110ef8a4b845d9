#include "app/options_host.h"
#include "app/history_keeping.h"
#include "app/popup_menu.h"
#include "app/pronounce_as.h"
#include "app/restart.h"
#include "app/speech_window.h"
#include "export/mp3_encoder.h"
#include "settings/app_settings.h"
#include "voice/voice_catalog.h"
#include "voice/voice_engine.h"
#include "res/resource.h"

OptionsHost SpeechWindowOptionsHost(SpeechWindowState& state)
{
    const HWND window = state.window;
    OptionsHost host;
    host.speechWindow = window;
    host.textView = state.reader.View().Handle();
    host.pronunciations = &state.pronunciations;
    host.setVoiceRate = [&state](int rate) {
        if (ISpVoice* voice = state.reader.Voice())
            voice->SetRate(rate);
    };
    host.setVoiceVolume = [&state](int volume) {
        if (ISpVoice* voice = state.reader.Voice())
            voice->SetVolume(static_cast<USHORT>(volume));
    };
    host.installedVoices = [&state] {
        state.reader.RefreshVoices();
        std::vector<VoiceEntry> entries;
        for (const InstalledVoice& voice : state.reader.Voices().Catalog().Voices())
            entries.push_back({voice.id, VoiceLabel(voice), voice.languages, voice.name});
        return entries;
    };
    host.defaultVoiceId = [&state] { return state.reader.Voices().Catalog().DefaultId(); };
    host.voiceName = [&state] { return state.reader.Voices().ChosenVoiceName(); };
    host.readsEachLanguage = [&state] { return state.reader.Voices().ReadsEachLanguage(); };
    host.voiceForLanguage = [&state](LanguageId language) {
        const InstalledVoice* voice = state.reader.Voices().VoiceForLanguage(language);
        return voice ? voice->id : std::wstring();
    };
    host.applyVoices = [&state] { state.reader.Apply(SettingsChange::Voices); };
    host.applySpeed = [&state] { state.reader.Apply(SettingsChange::Speed); };
    host.encoderVersion = QueryEncoderVersion;
    host.encoderPath = EncoderLibraryPath;
    host.applyBorder = [&state] { ApplyBorder(state); };
    host.applyTopMost = [window] { ApplyTopMost(window); };
    host.applyTransparency = [window] { ApplyTransparency(window); };
    // A new font or colour is shown at the window's transparency, as at start-up.
    host.applyFontAndColours = [&state, window] {
        state.reader.Apply(SettingsChange::FontAndColours);
        ApplyTransparency(window);
        ShowFocusModeInMenu(state.popupMenu);
    };
    host.applyWindowVisibility = [&state] { ShowSpeechWindow(state, SW_SHOWNORMAL); };
    host.applyClipboardMenu = [&state] { ShowClipboardSettingsInMenu(state.popupMenu); };
    host.applyListening = [&state] { state.reader.Apply(SettingsChange::Listening); };
    host.applyHistory = [&state] { ApplyHistorySetting(state); };
    host.speak = [&state](const std::wstring& text) { SpeakSample(state, text); };
    host.shownText = [&state] { return ShownText(state.reader); };
    host.saveSettings = [&state] { SaveSettingsNotingFailure(state); };
    host.requestReset = RequestReset;
    return host;
}
