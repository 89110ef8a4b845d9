#include "speech/speech_controller.h"
#include "speech/voice_engine.h"
#include "speech/text_prep.h"
#include "speech/text_view.h"
#include "speech/display.h"
#include "app/app_state.h"
#include "app/tray_icon.h"
#include "settings/app_settings.h"
#include "res/resource.h"
#include <algorithm>

int speechState = Stopped;
int lastWordEnd = 0;

namespace {

void SetMenuText(UINT command, UINT stringId)
{
    wchar_t text[CaptionBufferLength];
    LoadStringW(appInstance, stringId, text, CaptionBufferLength);
    ModifyMenuW(popupMenu, command, MF_BYCOMMAND | MF_STRING, command, text);
}

void ShowPlayingMenu()
{
    SetMenuText(CMD_PAUSE, IDS_PAUSE);
    EnableMenuItem(popupMenu, CMD_PAUSE, MF_BYCOMMAND | MF_ENABLED);
    SetMenuText(CMD_PLAY_STOP, IDS_STOP);
}

void SpeakSpeechText()
{
    if (voiceEngine && speechText)
        voiceEngine->Speak(speechText, SpeakTextFlags, nullptr);
}

void Skip(int sentences)
{
    if (voiceEngine)
        voiceEngine->Skip(L"Sentence", sentences, nullptr);
}

void OnEndOfInput()
{
    if (speechState == PendingPlay) {
        // The end of the utterance that was purged for the new text.
        speechState = Playing;
    } else if (!AppSettings.repeat) {
        Stop();
        TextViewSelect(lastWordEnd, lastWordEnd);
    } else if (speechState != Stopped) {
        TextViewSelect(0, 0);
        const int was = speechState;
        Stop();
        if (was == Playing)
            Play();
    }
}

} // namespace

void PurgeVoice()
{
    if (voiceEngine)
        voiceEngine->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
}

void Play()
{
    if (voiceEngine) {
        voiceEngine->SetRate(AppSettings.rate);
        voiceEngine->SetVolume(100);
    }
    if (speechState == Stopped || speechState == PendingPlay) {
        SpeakSpeechText();
        if (speechState == Stopped)
            speechState = Playing;
        ShowPlayingMenu();
        RefreshStatusLine();
    } else if (speechState == Paused) {
        speechState = Playing;
        if (voiceEngine)
            voiceEngine->Resume();
        ShowPlayingMenu();
        RefreshStatusLine();
    }
}

void PauseResume()
{
    if (speechState == Paused) {
        SetMenuText(CMD_PAUSE, IDS_PAUSE);
        speechState = Playing;
        if (voiceEngine)
            voiceEngine->Resume();
        RefreshStatusLine();
    } else if (speechState == Playing || speechState == PendingPlay) {
        SetMenuText(CMD_PAUSE, IDS_RESUME);
        speechState = Paused;
        if (voiceEngine)
            voiceEngine->Pause();
        RefreshStatusLine();
    }
}

void Stop()
{
    // A paused voice would stay paused under the purge and swallow the next Speak.
    if (speechState == Paused && voiceEngine)
        voiceEngine->Resume();
    PurgeVoice();
    speechState = Stopped;
    SetMenuText(CMD_PAUSE, IDS_PAUSE);
    EnableMenuItem(popupMenu, CMD_PAUSE, MF_BYCOMMAND | MF_DISABLED);
    SetMenuText(CMD_PLAY_STOP, IDS_PLAY);
    RefreshStatusLine();
}

void PlayStop()
{
    if (speechState == Stopped)
        Play();
    else
        Stop();
}

void PlayPause()
{
    if (speechState == Stopped)
        Play();
    else if (speechState == Playing || speechState == Paused)
        PauseResume();
}

void StepSentence(int direction)
{
    if (speechState == Playing || speechState == PendingPlay)
        Skip(direction);
}

void ChangeRate(int delta)
{
    AppSettings.rate = std::clamp(AppSettings.rate + delta, -10, 10);
    if (voiceEngine)
        voiceEngine->SetRate(AppSettings.rate);
}

void HandleVoiceEvents()
{
    if (!voiceEngine)
        return;
    SPEVENT event{};
    while (voiceEngine && voiceEngine->GetEvents(1, &event, nullptr) == S_OK) {
        switch (event.eEventId) {
        case SPEI_WORD_BOUNDARY:
            lastWordEnd = HighlightSpokenWord();
            break;
        case SPEI_END_INPUT_STREAM:
            OnEndOfInput();
            break;
        default:
            break;
        }
        ReleaseEventParameter(event);
    }
}

void OnSpeechTimer()
{
    if (speechState == PendingPlay)
        speechState = Playing;
}

void StartAtFirstVisibleLine()
{
    if (speechState == Playing || !speechText)
        return;
    const int firstVisibleChar = TextViewLineIndex(TextViewFirstVisibleLine());
    const int target = CountTerminators(speechText, firstVisibleChar);
    const int current = speechState == Paused ? CountTerminators(speechText, TextViewSelectionEnd()) : 0;
    Play();
    Skip(target - current);
}
