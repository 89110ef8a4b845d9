#pragma once
// The Options dialog frame: a tab strip over one page at a time, and OK, Cancel and
// "Reset settings". The pages edit AppSettings in place, so the frame keeps what it
// needs to put everything back on Cancel.
#include "pronunciation/pronunciation_store.h"
#include "settings/app_settings.h"
#include "platform/language_id.h"
#include <windows.h>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A voice as the Speech tab lists it.
struct VoiceEntry {
    std::wstring id;
    std::wstring label;   // its name and language
    std::vector<LanguageId> languages;
    std::wstring name;    // as the platform names it, and the pronunciation dictionary
};

// What the dialog needs from the program around it. The Speech window is moved and
// measured through its handle; everything else that shows a setting goes through the
// program's own apply operations.
struct OptionsHost {
    HWND speechWindow = nullptr;   // owner of the dialog; moved by the position buttons
    HWND textView = nullptr;       // its caret is put at the start before the font is applied
    // The session's pronunciation dictionary, which the Pronunciation page edits; kept by
    // the Speech window, which outlives the dialog.
    PronunciationStoreRecord* pronunciations = nullptr;
    std::function<void(int rate)> setVoiceRate;
    std::function<void(int volume)> setVoiceVolume;
    // The display name of the voice chosen to read (the system's default when none is);
    // empty when the voice cannot tell.
    std::function<std::wstring()> voiceName;
    // The voices installed now, and the id of the system's default one.
    std::function<std::vector<VoiceEntry>()> installedVoices;
    std::function<std::wstring()> defaultVoiceId;
    // What the settings make of the voices at the moment: whether each language has its
    // voice, and the id of the voice that reads a language.
    std::function<bool()> readsEachLanguage;
    std::function<std::wstring(LanguageId)> voiceForLanguage;
    // The voice settings changed: the reading goes on with them at once.
    std::function<void()> applyVoices;
    // The speed changed: what is still to be heard takes it at once.
    std::function<void()> applySpeed;
    // "major.minor" of the encoder library in use; empty when it does not load.
    std::function<std::wstring()> encoderVersion;
    // The encoder library's file: the one `encoderFolder` names or, when that file is
    // missing, one beside the program; empty when there is none.
    std::function<std::wstring()> encoderPath;
    std::function<void()> applyBorder;
    std::function<void()> applyTopMost;
    std::function<void()> applyTransparency;
    std::function<void()> applyFontAndColours;
    // Shows or hides the Speech window after `speechWindowShown`.
    std::function<void()> applyWindowVisibility;
    // The menu's clipboard monitor and append items after `monitorClipboard` and `appendCopies`.
    std::function<void()> applyClipboardMenu;
    // The voice hears the text through the listening filters and the pronunciation
    // dictionary as they are now.
    std::function<void()> applyListening;
    // The history kept, or given up (its file deleted), as the setting now says.
    std::function<void()> applyHistory;
    // Says a text with the voice in use, beside the reading (the Pronunciation page's Listen).
    std::function<void(const std::wstring& text)> speak;
    // The text the Speech window shows.
    std::function<std::wstring()> shownText;
    // Writes the settings the dialog confirmed.
    std::function<void()> saveSettings;
    // Asks, and when the user agrees ends the dialog and starts afresh with first-run values.
    std::function<void(HWND dialog)> requestReset;
};

// One opening of the dialog, handed to it as its creation parameter; the pages reach it
// through their own creation parameter.
struct OptionsDialogState {
    OptionsDialogState(OptionsHost host, int startTab) : host(std::move(host)), startTab(startTab) {}

    OptionsHost host;
    // Tab shown first (0 Speech, 3 Help); back to 0 once the dialog has opened.
    int startTab = 0;
    HWND dialog = nullptr;
    HWND currentPage = nullptr;
    // The Speech window's screen rectangle when the dialog opened.
    RECT openRect{};
    // Where OK leaves the Speech window; the Appearance page's position buttons set it.
    RECT targetRect{};
    // The values Cancel gives back, as they were when the dialog opened.
    AppSettingsRecord openingSettings;
    // The pronunciation dictionary as the Pronunciation page has changed it, once the page
    // was shown; OK makes it the session's and saves it.
    std::optional<PronunciationDictionary> pronunciations;
    // The session's dictionary that copy was made from: what the user changed is told
    // from it when the file changed outside the program meanwhile.
    PronunciationDictionary pronunciationsBase;
    // The voices the Speech page lists, as they were when it was last shown.
    std::vector<VoiceEntry> voices;
};

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the modal dialog, owned by the Speech window, on the given tab.
void RunOptionsDialog(const OptionsHost& host, int startTab);

// The open Options dialog, or null.
HWND OpenOptionsWindow();

// Ends an open Options dialog as its Cancel button does, putting back what its pages
// changed; nothing happens when it is not open.
void CancelOptionsDialog();
