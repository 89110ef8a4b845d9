#include "options/options_dialog.h"
#include "options/options_pages.h"
#include "options/export_page.h"
#include "app/app_state.h"
#include "speech/display.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include "app/restart.h"
#include "app/speech_window.h"
#include "app/popup_menu.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <commctrl.h>
#include <cstdint>
#include <iterator>
#include <map>
#include <type_traits>
#include <variant>

int startTab = 0;
HWND currentPage = nullptr;
RECT openRect{};
RECT targetRect{};

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
};

using FieldPointer = std::variant<bool AppSettingsRecord::*, int AppSettingsRecord::*, COLORREF AppSettingsRecord::*>;

struct SnapshotField {
    int control;
    FieldPointer field;
};

const SnapshotField SpeechFields[] = {
    {IDC_CLIPBOARD, &AppSettingsRecord::clipboard},   {IDC_APPEND, &AppSettingsRecord::append},
    {IDC_REPEAT, &AppSettingsRecord::repeat},         {IDC_START, &AppSettingsRecord::start},
    {IDC_WINDOW, &AppSettingsRecord::window},         {IDC_BORDER, &AppSettingsRecord::border},
    {IDC_CLOSE, &AppSettingsRecord::close},           {IDC_CONFIRM, &AppSettingsRecord::confirm},
    {IDC_TOP, &AppSettingsRecord::top},               {IDC_RATE, &AppSettingsRecord::rate},
    {IDC_AUTOPLAY, &AppSettingsRecord::autoplay},     {IDC_AUTOSCROLL, &AppSettingsRecord::autoscroll},
    {IDC_FULLTEXT, &AppSettingsRecord::fulltext},     {IDC_DELETE, &AppSettingsRecord::delete_},
};

const SnapshotField AppearanceFields[] = {
    {IDC_TRANSPARENCY, &AppSettingsRecord::transparency},
    {IDC_TEXT_COLOUR, &AppSettingsRecord::text},
    {IDC_BACKGROUND_COLOUR, &AppSettingsRecord::background},
};

const SnapshotField ExportFields[] = {
    {IDC_EXPORT_WAV, &AppSettingsRecord::wav},
    {IDC_EXPORT_BITRATE, &AppSettingsRecord::mp3rate},
};

using Snapshot = std::map<int, int32_t>;
Snapshot speechSnapshot;
Snapshot appearanceSnapshot;
Snapshot exportSnapshot;
wchar_t wavdirSnapshot[SettingsPathLength];
wchar_t mp3dirSnapshot[SettingsPathLength];
wchar_t lamedirSnapshot[SettingsPathLength];
LOGFONTW fontSnapshot{};

int32_t ReadField(const FieldPointer& field)
{
    return std::visit([](auto member) { return static_cast<int32_t>(AppSettings.*member); }, field);
}

void WriteField(const FieldPointer& field, int32_t value)
{
    std::visit(
        [value](auto member) {
            using Field = std::remove_reference_t<decltype(AppSettings.*member)>;
            AppSettings.*member = static_cast<Field>(value);
        },
        field);
}

template <size_t N>
void TakeGroup(const SnapshotField (&fields)[N], Snapshot& snapshot)
{
    snapshot.clear();
    for (const SnapshotField& f : fields)
        snapshot[f.control] = ReadField(f.field);
}

template <size_t N>
void RestoreGroup(const SnapshotField (&fields)[N], const Snapshot& snapshot)
{
    for (const SnapshotField& f : fields)
        WriteField(f.field, snapshot.at(f.control));
}

void TakeSnapshot()
{
    TakeGroup(SpeechFields, speechSnapshot);
    TakeGroup(AppearanceFields, appearanceSnapshot);
    TakeGroup(ExportFields, exportSnapshot);
    lstrcpynW(wavdirSnapshot, AppSettings.wavdir, SettingsPathLength);
    lstrcpynW(mp3dirSnapshot, AppSettings.mp3dir, SettingsPathLength);
    lstrcpynW(lamedirSnapshot, AppSettings.lamedir, SettingsPathLength);
    fontSnapshot = logFont;
}

void SetVoiceRate()
{
    if (voiceEngine)
        voiceEngine->SetRate(AppSettings.rate);
}

void MoveSpeechWindow(const RECT& r)
{
    MoveWindow(speechWindow, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void ShowPage(HWND dialog, int index)
{
    if (currentPage)
        DestroyWindow(currentPage);
    currentPage = nullptr;
    if (index < 0 || index >= static_cast<int>(std::size(Pages)))
        return;
    // A page whose template is missing leaves the page area empty.
    currentPage = CreateDialogParamW(appInstance, MAKEINTRESOURCEW(Pages[index].templateId), dialog,
                                     Pages[index].procedure, 0);
}

void InsertTabs(HWND tabs)
{
    for (int i = 0; i < static_cast<int>(std::size(Pages)); ++i) {
        wchar_t text[CaptionBufferLength] = L"";
        LoadStringW(appInstance, Pages[i].tabText, text, CaptionBufferLength);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

void OnInitDialog(HWND dialog)
{
    optionsWindow = dialog;
    SetWindowPos(dialog, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);

    wchar_t caption[CaptionBufferLength] = L"";
    LoadStringW(appInstance, IDS_OPTIONS, caption, CaptionBufferLength);
    SetWindowTextW(dialog, caption);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);

    HWND tabs = GetDlgItem(dialog, IDC_OPTIONS_TABS);
    InsertTabs(tabs);
    SendMessageW(tabs, TCM_SETCURSEL, startTab, 0);
    currentPage = nullptr;
    ShowPage(dialog, startTab);
    startTab = 0;

    TakeSnapshot();
    GetWindowRect(speechWindow, &openRect);
    targetRect = openRect;
}

void SyncMenuWithClipboardSettings()
{
    ShowClipboardSettingsInMenu(SpeechWindowStateOf(speechWindow).popupMenu);
}

void CloseDialog(HWND dialog, INT_PTR result)
{
    optionsWindow = nullptr;
    EndDialog(dialog, result);
}

void OnOk(HWND dialog)
{
    SetVoiceRate();
    SyncMenuWithClipboardSettings();
    UpdateAutostart();
    // The border apply may show the window; the visibility comes after it, so an
    // unticked "Speech Window" stays hidden.
    SpeechWindowState& window = SpeechWindowStateOf(speechWindow);
    ApplyBorder(window);
    ShowSpeechWindow(window, SW_SHOWNORMAL);
    ApplyTopMost(speechWindow);
    ApplyTransparency(speechWindow);
    ApplyFontAndColours();
    MoveSpeechWindow(targetRect);
    SaveSettings(speechWindow);
    CloseDialog(dialog, IDOK);
}

// Only what the pages change live is undone here; the menu, the border, the visibility
// and the Run key change only on OK, and the next save writes the restored values.
void OnCancel(HWND dialog)
{
    RestoreGroup(SpeechFields, speechSnapshot);
    SetVoiceRate();
    RestoreGroup(AppearanceFields, appearanceSnapshot);
    logFont = fontSnapshot;
    ApplyTransparency(speechWindow);
    ApplyTopMost(speechWindow);
    SendMessageW(textView, EM_SETSEL, 0, 0);
    ApplyFontAndColours();
    MoveSpeechWindow(openRect);
    RestoreGroup(ExportFields, exportSnapshot);
    lstrcpynW(AppSettings.wavdir, wavdirSnapshot, SettingsPathLength);
    lstrcpynW(AppSettings.mp3dir, mp3dirSnapshot, SettingsPathLength);
    lstrcpynW(AppSettings.lamedir, lamedirSnapshot, SettingsPathLength);
    CloseDialog(dialog, IDCANCEL);
}

bool OnNotify(HWND dialog, const NMHDR* header)
{
    if (header->idFrom != IDC_OPTIONS_TABS || header->code != TCN_SELCHANGE)
        return false;
    ShowPage(dialog, static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
    return true;
}

void OnCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:               OnOk(dialog); break;
    case IDCANCEL:           OnCancel(dialog); break;
    case IDC_RESET_SETTINGS: RequestReset(dialog); break;
    default:                 break;
    }
}

} // namespace

void CancelOptionsDialog()
{
    if (optionsWindow)
        OnCancel(optionsWindow);
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        // The pages set the focus where they want it.
        return FALSE;
    case WM_NOTIFY:
        return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        OnCancel(dialog);
        return TRUE;
    case WM_DESTROY:
        // A reset ends the dialog from outside the frame's own handlers.
        if (optionsWindow == dialog)
            optionsWindow = nullptr;
        currentPage = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
