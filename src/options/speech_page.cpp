#include "options/options_pages.h"
#include "app/app_state.h"
#include "speech/display.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include "res/resource.h"
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

namespace {

constexpr int MinRate = -10;
constexpr int MaxRate = 10;

struct CheckBox {
    int control;
    bool AppSettingsRecord::*field;
    bool checkedWhenOn;   // "Minimize to tray on close" shows the opposite of `close`
};

const CheckBox CheckBoxes[] = {
    {IDC_CLIPBOARD, &AppSettingsRecord::clipboard, true}, {IDC_APPEND, &AppSettingsRecord::append, true},
    {IDC_REPEAT, &AppSettingsRecord::repeat, true},       {IDC_START, &AppSettingsRecord::start, true},
    {IDC_WINDOW, &AppSettingsRecord::window, true},       {IDC_BORDER, &AppSettingsRecord::border, true},
    {IDC_CLOSE, &AppSettingsRecord::close, false},        {IDC_CONFIRM, &AppSettingsRecord::confirm, true},
    {IDC_TOP, &AppSettingsRecord::top, true},             {IDC_AUTOPLAY, &AppSettingsRecord::autoplay, true},
    {IDC_AUTOSCROLL, &AppSettingsRecord::autoscroll, true}, {IDC_FULLTEXT, &AppSettingsRecord::fulltext, true},
    {IDC_DELETE, &AppSettingsRecord::delete_, true},
};

void ShowVoiceName(HWND page)
{
    if (!voiceEngine)
        return;
    ISpObjectToken* token = nullptr;
    if (FAILED(voiceEngine->GetVoice(&token)) || !token)
        return;
    wchar_t* name = nullptr;
    if (SUCCEEDED(token->GetStringValue(nullptr, &name)) && name) {
        SetDlgItemTextW(page, IDC_VOICE_NAME, name);
        CoTaskMemFree(name);
    }
    token->Release();
}

void OnInitDialog(HWND page)
{
    ShowVoiceName(page);
    HWND slider = GetDlgItem(page, IDC_RATE);
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(static_cast<WORD>(MinRate), MaxRate));
    SendMessageW(slider, TBM_SETPOS, TRUE, AppSettings.rate);
    for (const CheckBox& box : CheckBoxes) {
        if ((AppSettings.*box.field) == box.checkedWhenOn)
            CheckDlgButton(page, box.control, BST_CHECKED);
    }
    if (!AppSettings.clipboard)
        EnableWindow(GetDlgItem(page, IDC_APPEND), FALSE);
    if (!AppSettings.fulltext)
        EnableWindow(GetDlgItem(page, IDC_AUTOSCROLL), FALSE);
}

// A box that depends on another: greyed and cleared while the other is off.
void FollowMaster(HWND page, bool masterOn, int dependent, bool& dependentField)
{
    EnableWindow(GetDlgItem(page, dependent), masterOn);
    if (!masterOn) {
        dependentField = false;
        CheckDlgButton(page, dependent, BST_UNCHECKED);
    }
}

void ToggleClipboard(HWND page)
{
    AppSettings.clipboard = !AppSettings.clipboard;
    FollowMaster(page, AppSettings.clipboard, IDC_APPEND, AppSettings.append);
}

// Played-text mode changes what the Speech window shows at once, not only on OK.
void ToggleFullText(HWND page)
{
    AppSettings.fulltext = !AppSettings.fulltext;
    FollowMaster(page, AppSettings.fulltext, IDC_AUTOSCROLL, AppSettings.autoscroll);
    SendMessageW(textView, EM_SETSEL, 0, 0);
    ApplyFontAndColours();
}

void ToggleField(int control)
{
    for (const CheckBox& box : CheckBoxes) {
        if (box.control == control) {
            AppSettings.*box.field = !(AppSettings.*box.field);
            return;
        }
    }
}

void OnCommand(HWND page, int control)
{
    switch (control) {
    case IDC_SPEECH_SETTINGS: OpenSpeechSettings(); break;
    case IDC_CLIPBOARD:       ToggleClipboard(page); break;
    case IDC_FULLTEXT:        ToggleFullText(page); break;
    case IDC_APPEND: case IDC_REPEAT: case IDC_START: case IDC_WINDOW: case IDC_BORDER: case IDC_CLOSE:
    case IDC_CONFIRM: case IDC_TOP: case IDC_AUTOPLAY: case IDC_AUTOSCROLL: case IDC_DELETE:
        ToggleField(control);
        break;
    default:
        break;
    }
}

// The slider notifies on every redraw and on capture release, so any notification
// from it is a moment to pick up its position: the voice follows while it is dragged.
void OnSliderNotify(HWND page)
{
    AppSettings.rate = static_cast<int>(SendDlgItemMessageW(page, IDC_RATE, TBM_GETPOS, 0, 0));
    if (voiceEngine)
        voiceEngine->SetRate(AppSettings.rate);
}

} // namespace

ProgramLaunch SpeechSettingsLaunch(DWORD majorVersion)
{
    wchar_t folder[MAX_PATH] = L"";
    if (majorVersion >= 6) {
        ExpandEnvironmentStringsW(L"%SystemRoot%", folder, MAX_PATH);
        return {L"rundll32.exe",
                std::wstring(L"shell32.dll,Control_RunDLL ") + folder + L"\\System32\\Speech\\SpeechUX\\sapi.cpl"};
    }
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, folder);
    return {L"control.exe", std::wstring(L"\"") + folder + L"\\Microsoft Shared\\Speech\\sapi.cpl\""};
}

void OpenSpeechSettings()
{
    const ProgramLaunch launch = SpeechSettingsLaunch(ProgramInfo.osVersion.dwMajorVersion);
    ShellExecuteW(nullptr, L"open", launch.program.c_str(), launch.parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK SpeechPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_RATE)
            OnSliderNotify(page);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
