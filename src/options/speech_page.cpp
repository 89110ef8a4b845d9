#include "options/options_pages.h"
#include "options/options_dialog.h"
#include "platform/dialog_record.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include "res/resource.h"
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

const std::array<SpeechCheckBox, 13> SpeechCheckBoxes = {{
    {IDC_CLIPBOARD, &AppSettingsRecord::monitorClipboard, true}, {IDC_APPEND, &AppSettingsRecord::appendCopies, true},
    {IDC_REPEAT, &AppSettingsRecord::repeatReading, true},       {IDC_START, &AppSettingsRecord::startWithWindows, true},
    {IDC_WINDOW, &AppSettingsRecord::speechWindowShown, true},       {IDC_BORDER, &AppSettingsRecord::showBorder, true},
    {IDC_CLOSE, &AppSettingsRecord::closeQuits, false},        {IDC_CONFIRM, &AppSettingsRecord::confirmQuit, true},
    {IDC_TOP, &AppSettingsRecord::alwaysOnTop, true},             {IDC_AUTOPLAY, &AppSettingsRecord::autoPlay, true},
    {IDC_AUTOSCROLL, &AppSettingsRecord::autoScroll, true}, {IDC_FULLTEXT, &AppSettingsRecord::showFullText, true},
    {IDC_DELETE, &AppSettingsRecord::confirmDeleteAll, true},
}};

namespace {

constexpr int MinRate = -10;
constexpr int MaxRate = 10;

void ShowVoiceName(HWND page, const OptionsHost& host)
{
    const std::wstring name = host.voiceName();
    if (!name.empty())
        SetDlgItemTextW(page, IDC_VOICE_NAME, name.c_str());
}

void OnInitDialog(HWND page, const OptionsHost& host)
{
    ShowVoiceName(page, host);
    HWND slider = GetDlgItem(page, IDC_RATE);
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(static_cast<WORD>(MinRate), MaxRate));
    SendMessageW(slider, TBM_SETPOS, TRUE, AppSettings.speechRate);
    for (const SpeechCheckBox& box : SpeechCheckBoxes) {
        if ((AppSettings.*box.field) == box.checkedWhenOn)
            CheckDlgButton(page, box.control, BST_CHECKED);
    }
    if (!AppSettings.monitorClipboard)
        EnableWindow(GetDlgItem(page, IDC_APPEND), FALSE);
    if (!AppSettings.showFullText)
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
    AppSettings.monitorClipboard = !AppSettings.monitorClipboard;
    FollowMaster(page, AppSettings.monitorClipboard, IDC_APPEND, AppSettings.appendCopies);
}

// Played-text mode changes what the Speech window shows at once, not only on OK.
void ToggleFullText(HWND page, const OptionsHost& host)
{
    AppSettings.showFullText = !AppSettings.showFullText;
    FollowMaster(page, AppSettings.showFullText, IDC_AUTOSCROLL, AppSettings.autoScroll);
    SendMessageW(host.textView, EM_SETSEL, 0, 0);
    host.applyFontAndColours();
}

// The other boxes only switch their field; OK applies it.
void ToggleField(int control)
{
    for (const SpeechCheckBox& box : SpeechCheckBoxes) {
        if (box.control == control) {
            AppSettings.*box.field = !(AppSettings.*box.field);
            return;
        }
    }
}

void OnCommand(HWND page, const OptionsHost& host, int control)
{
    switch (control) {
    case IDC_SPEECH_SETTINGS: OpenSpeechSettings(); break;
    case IDC_CLIPBOARD:       ToggleClipboard(page); break;
    case IDC_FULLTEXT:        ToggleFullText(page, host); break;
    default:                  ToggleField(control); break;
    }
}

// The slider notifies on every redraw and on capture release, so any notification
// from it is a moment to pick up its position: the voice follows while it is dragged.
void OnSliderNotify(HWND page, const OptionsHost& host)
{
    AppSettings.speechRate = static_cast<int>(SendDlgItemMessageW(page, IDC_RATE, TBM_GETPOS, 0, 0));
    host.setVoiceRate(AppSettings.speechRate);
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
    const OptionsDialogState* options = DialogRecord<OptionsDialogState>(page, message, lParam);
    switch (message) {
    case WM_INITDIALOG:
        if (options)
            OnInitDialog(page, options->host);
        return TRUE;
    case WM_NOTIFY:
        if (options && reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_RATE)
            OnSliderNotify(page, options->host);
        return TRUE;
    case WM_COMMAND:
        if (options)
            OnCommand(page, options->host, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
