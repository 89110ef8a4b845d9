#include "app/pronounce_as.h"
#include "app/speech_window.h"
#include "export/export.h"
#include "options/pronunciation_entry_dialog.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "pronunciation/pronouncer.h"
#include "pronunciation/pronunciation_store.h"
#include "voice/voice_engine.h"
#include "res/resource.h"
#include "settings/app_settings.h"
#include <algorithm>

std::wstring ShownText(const Reader& reader)
{
    return reader.Text().Prepared() ? reader.Text().Text() : reader.View().GetText();
}

void SpeakSample(SpeechWindowState& state, const std::wstring& text)
{
    if (!state.sampleVoice)
        state.sampleVoice = CreateVoiceLike(state.reader.Voice());
    if (!state.sampleVoice) {
        LogLine(L"No voice could be made to say a pronunciation sample");
        return;
    }
    state.sampleVoice->SetRate(AppSettings.speechRate);
    if (const HRESULT result = state.sampleVoice->Speak(text.c_str(), SpeakTextFlags | SPF_PURGEBEFORESPEAK, nullptr);
        FAILED(result))
        LogFailure(L"ISpVoice::Speak of a pronunciation sample", static_cast<DWORD>(result));
}

std::wstring WordToPronounce(const std::wstring& text, TextRange highlighted, int caret)
{
    const int length = static_cast<int>(text.size());
    int start = std::clamp(highlighted.start, 0, length);
    int end = std::clamp(highlighted.end, start, length);
    if (start == end) {
        start = end = std::clamp(caret, 0, length);
        while (start > 0 && IsWordUnit(text[start - 1]))
            --start;
        while (end < length && IsWordUnit(text[end]))
            ++end;
    }
    while (start < end && !IsWordUnit(text[start]))
        ++start;
    while (end > start && !IsWordUnit(text[end - 1]))
        --end;
    return text.substr(start, end - start);
}

void PronounceWordAs(SpeechWindowState& state)
{
    Reader& reader = state.reader;
    const std::wstring shown = ShownText(reader);
    PronunciationEntryRequest request;
    const TextRange spoken = reader.LastSpokenWord();
    const int caret = reader.View().SelectionEnd();
    request.entry.pattern = WordToPronounce(shown, spoken, caret);
    request.entry.type = MatchType::WholeWord;
    request.adding = true;
    // The voice that reads the word is the one whose entry it would most likely be.
    request.voiceName = reader.VoiceNameAt(spoken.end > spoken.start ? spoken.start : caret);
    for (const InstalledVoice& voice : reader.Voices().Catalog().Voices())
        request.installedVoices.push_back(voice.name);
    request.speak = [&state](const std::wstring& text) { SpeakSample(state, text); };
    request.shownText = shown;
    PronunciationStoreRecord& store = state.pronunciations;
    request.otherEntries = store.dictionary.entries;
    if (!store.unreadable.empty()) {
        ShowWarning(state.window, FillPattern(LoadText(IDS_DICTIONARY_KEPT_UNCHANGED), store.path, store.unreadable));
        return;
    }
    if (!EditPronunciationEntry(state.window, request))
        return;
    const PronunciationDictionary base = store.dictionary;
    PronunciationDictionary dictionary = base;
    dictionary.entries.push_back(std::move(request.entry));
    if (const DWORD error = SavePronunciations(store, base, std::move(dictionary)); error != 0)
        ShowWarning(state.window, FillPattern(LoadText(IDS_DICTIONARY_NOT_SAVED), store.path, SystemErrorText(error)));
    reader.Apply(SettingsChange::Listening);
}
