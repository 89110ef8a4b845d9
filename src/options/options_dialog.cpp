#include "options/options_dialog.h"
#include "options/options_pages.h"
#include "options/export_page.h"
#include "platform/dialog_record.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "pronunciation/pronunciation_store.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "settings/voice_settings.h"
#include "res/resource.h"
#include <commctrl.h>
#include <algorithm>
#include <iterator>

namespace {

struct PageInfo {
    int tabText;
    int templateId;
    DLGPROC procedure;
};

const PageInfo Pages[] = {
    {IDS_SPEECH, IDD_SPEECH_PAGE, SpeechPageProc},
    {IDS_APPEARANCE, IDD_APPEARANCE_PAGE, AppearancePageProc},
    {IDS_VOICE_EXPORT, IDD_EXPORT_PAGE, ExportPageProc},
    {IDS_HELP, IDD_HELP_PAGE, HelpPageProc},
    {IDS_HOT_KEYS, IDD_HOTKEYS_PAGE, HotKeysPageProc},
    {IDS_LISTENING, IDD_LISTENING_PAGE, ListeningPageProc},
    {IDS_PRONUNCIATION, IDD_PRONUNCIATION_PAGE, PronunciationPageProc},
};

// The dialog exists at most once; this is how the rest of the program asks for it.
OptionsDialogState* openDialog = nullptr;

template <size_t N>
void CopyPath(wchar_t (&target)[N], const wchar_t (&source)[N])
{
    std::copy(std::begin(source), std::end(source), std::begin(target));
}

void PutBackSpeechPage(const OptionsHost& host, const AppSettingsRecord& opening)
{
    for (const SpeechCheckBox& box : SpeechCheckBoxes)
        AppSettings.*box.field = opening.*box.field;
    AppSettings.speechRate = opening.speechRate;
    host.setVoiceRate(AppSettings.speechRate);
    if (AppSettings.volume != opening.volume) {
        AppSettings.volume = opening.volume;
        host.setVoiceVolume(AppSettings.volume);
    }
    if (AppSettings.speedPercent != opening.speedPercent) {
        AppSettings.speedPercent = opening.speedPercent;
        host.applySpeed();
    }
    // A reading is restarted for the voices only when they were changed.
    if (!SameVoices(AppSettings, opening)) {
        AppSettings.voiceId = opening.voiceId;
        AppSettings.pitch = opening.pitch;
        AppSettings.readEachLanguage = opening.readEachLanguage;
        AppSettings.languageVoices = opening.languageVoices;
        host.applyVoices();
    }
}

void PutBackAppearancePage(const OptionsDialogState& state)
{
    AppSettings.opacity = state.openingSettings.opacity;
    AppSettings.textColour = state.openingSettings.textColour;
    AppSettings.backgroundColour = state.openingSettings.backgroundColour;
    SetTextFont(AppSettings, TextLogFont(state.openingSettings));
    AppSettings.markSentence = state.openingSettings.markSentence;
    AppSettings.focusMode = state.openingSettings.focusMode;
    AppSettings.lineSpacingPercent = state.openingSettings.lineSpacingPercent;
}

void PutBackExportPage(const AppSettingsRecord& opening)
{
    AppSettings.exportAsWav = opening.exportAsWav;
    AppSettings.mp3BitRate = opening.mp3BitRate;
    CopyPath(AppSettings.wavFolder, opening.wavFolder);
    CopyPath(AppSettings.mp3Folder, opening.mp3Folder);
    CopyPath(AppSettings.encoderFolder, opening.encoderFolder);
}

// The Hot keys page registers each change at once; these are registered again.
void PutBackHotKeys(const OptionsHost& host, const AppSettingsRecord& opening)
{
    AppSettings.readSelectionHotKey = opening.readSelectionHotKey;
    AppSettings.playPauseHotKey = opening.playPauseHotKey;
    AppSettings.stopHotKey = opening.stopHotKey;
    SendMessageW(host.speechWindow, WM_APPLY_HOT_KEYS, 0, 0);
}

void MoveSpeechWindow(const OptionsHost& host, const RECT& r)
{
    MoveWindow(host.speechWindow, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

// The Help and Hot keys pages show their texts in the platform's rich edit, whose
// window class comes with its library; it stays loaded for the rest of the run.
void LoadRichEditLibrary()
{
    static const HMODULE library = [] {
        const HMODULE loaded = LoadLibraryW(L"Msftedit.dll");
        if (!loaded)
            LogFailure(L"LoadLibraryW of Msftedit.dll", GetLastError());
        return loaded;
    }();
    (void)library;
}

void ShowPage(OptionsDialogState& state, int index)
{
    LoadRichEditLibrary();
    if (state.currentPage)
        DestroyWindow(state.currentPage);
    state.currentPage = nullptr;
    if (index < 0 || index >= static_cast<int>(std::size(Pages)))
        return;
    // A page whose template is missing leaves the page area empty.
    state.currentPage = CreateDialogParamW(ProgramModule(), MAKEINTRESOURCEW(Pages[index].templateId), state.dialog,
                                           Pages[index].procedure, reinterpret_cast<LPARAM>(&state));
}

void InsertTabs(HWND tabs)
{
    for (int i = 0; i < static_cast<int>(std::size(Pages)); ++i) {
        std::wstring text = LoadText(Pages[i].tabText);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

void OnInitDialog(OptionsDialogState& state, HWND dialog)
{
    state.dialog = dialog;
    openDialog = &state;
    SetWindowPos(dialog, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    SetWindowTextW(dialog, LoadText(IDS_OPTIONS).c_str());

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_HOTKEY_CLASS | ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);

    HWND tabs = GetDlgItem(dialog, IDC_OPTIONS_TABS);
    InsertTabs(tabs);
    SendMessageW(tabs, TCM_SETCURSEL, state.startTab, 0);
    state.currentPage = nullptr;
    ShowPage(state, state.startTab);
    state.startTab = 0;

    state.openingSettings = AppSettings;
    GetWindowRect(state.host.speechWindow, &state.openRect);
    state.targetRect = state.openRect;
}

// A dictionary that cannot be saved is still used until the program ends; the user is
// told, as the changes would otherwise be lost without a word.
void KeepPronunciations(OptionsDialogState& state)
{
    if (!state.pronunciations || *state.pronunciations == state.pronunciationsBase)
        return;
    PronunciationStoreRecord& store = *state.host.pronunciations;
    if (const DWORD error = SavePronunciations(store, state.pronunciationsBase, std::move(*state.pronunciations)); error != 0)
        ShowWarning(state.dialog, FillPattern(LoadText(IDS_DICTIONARY_NOT_SAVED), store.path, SystemErrorText(error)));
    state.pronunciations.reset();
}

void CloseDialog(OptionsDialogState& state, INT_PTR result)
{
    if (openDialog == &state)
        openDialog = nullptr;
    EndDialog(state.dialog, result);
}

void OnOk(OptionsDialogState& state)
{
    const OptionsHost& host = state.host;
    host.setVoiceRate(AppSettings.speechRate);
    host.applyClipboardMenu();
    UpdateAutostart();
    // The border apply may show the window; the visibility comes after it, so an
    // unticked "Speech Window" stays hidden.
    host.applyBorder();
    host.applyWindowVisibility();
    host.applyTopMost();
    host.applyFontAndColours();
    KeepPronunciations(state);
    if (host.applyListening)
        host.applyListening();
    if (host.applyHistory)
        host.applyHistory();
    MoveSpeechWindow(host, state.targetRect);
    host.saveSettings();
    CloseDialog(state, IDOK);
}

// Only what the pages change live is undone here; the menu, the border, the visibility
// and the Run key change only on OK, and the next save writes the restored values.
void OnCancel(OptionsDialogState& state)
{
    const OptionsHost& host = state.host;
    PutBackSpeechPage(host, state.openingSettings);
    PutBackAppearancePage(state);
    host.applyTransparency();
    host.applyTopMost();
    SendMessageW(host.textView, EM_SETSEL, 0, 0);
    host.applyFontAndColours();
    MoveSpeechWindow(host, state.openRect);
    PutBackExportPage(state.openingSettings);
    AppSettings.listening = state.openingSettings.listening;
    PutBackHotKeys(host, state.openingSettings);
    CloseDialog(state, IDCANCEL);
}

bool OnNotify(OptionsDialogState& state, const NMHDR* header)
{
    if (header->idFrom != IDC_OPTIONS_TABS || header->code != TCN_SELCHANGE)
        return false;
    ShowPage(state, static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
    return true;
}

void OnCommand(OptionsDialogState& state, int id)
{
    switch (id) {
    case IDOK:               OnOk(state); break;
    case IDCANCEL:           OnCancel(state); break;
    case IDC_RESET_SETTINGS: state.host.requestReset(state.dialog); break;
    default:                 break;
    }
}

void OnDestroy(OptionsDialogState& state)
{
    // A reset ends the dialog from outside the frame's own handlers.
    if (openDialog == &state)
        openDialog = nullptr;
    state.currentPage = nullptr;
}

INT_PTR OnMessage(HWND dialog, OptionsDialogState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(state, dialog);
        // The pages set the focus where they want it.
        return FALSE;
    case WM_NOTIFY:
        return OnNotify(state, reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        OnCommand(state, LOWORD(wParam));
        return TRUE;
    // Only top-level windows hear of a change to the system's settings; the page is a child.
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        if (state.currentPage)
            SendMessageW(state.currentPage, message, wParam, lParam);
        return FALSE;
    case WM_CLOSE:
        OnCancel(state);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(state);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return WithDialogRecord<OptionsDialogState, OnMessage>(dialog, message, wParam, lParam);
}

void RunOptionsDialog(const OptionsHost& host, int startTab)
{
    OptionsDialogState state(host, startTab);
    RunModalDialog(IDD_OPTIONS, host.speechWindow, OptionsDialogProc, &state);
}

HWND OpenOptionsWindow()
{
    return openDialog ? openDialog->dialog : nullptr;
}

void CancelOptionsDialog()
{
    if (openDialog)
        OnCancel(*openDialog);
}
