#include "options/export_page.h"
#include "options/options_dialog.h"
#include "platform/dialog_record.h"
#include "platform/ui_text.h"
#include "settings/app_settings.h"
#include "settings/export_settings.h"
#include "res/resource.h"
#include <commdlg.h>
#include <shlobj.h>
#include <iterator>
#include <memory>

namespace {

// A library that does not load leaves the version shown before.
void ShowEncoderVersion(HWND page, const OptionsHost& host)
{
    const std::wstring version = host.encoderVersion();
    if (!version.empty())
        SetDlgItemTextW(page, IDC_EXPORT_LAME_VERSION, version.c_str());
}

// Which file a typed or chosen path comes to: the saved path may name a file that has
// gone, and one beside the program is used then.
void ShowEncoderInUse(HWND page, const OptionsHost& host)
{
    const std::wstring path = host.encoderPath ? host.encoderPath() : std::wstring();
    const std::wstring text = path.empty() ? LoadText(IDS_LAME_NOT_FOUND) : FillPattern(LoadText(IDS_LAME_IN_USE), path);
    SetDlgItemTextW(page, IDC_EXPORT_LAME_IN_USE, text.c_str());
}

void ShowPath(HWND page, int control, const wchar_t* path)
{
    SetDlgItemTextW(page, control, path);
    SendDlgItemMessageW(page, control, EM_LIMITTEXT, SettingsPathLength, 0);
}

void FillBitRates(HWND page)
{
    HWND list = GetDlgItem(page, IDC_EXPORT_BITRATE);
    int selection = 0;
    int index = 0;
    for (const Mp3BitRate& rate : Mp3BitRates) {
        SendMessageW(list, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(rate.label));
        if (rate.kbitPerSecond == AppSettings.mp3BitRate)
            selection = index;
        ++index;
    }
    // A rate from a hand-edited file shows as the first entry but stays in effect until
    // the user picks one.
    SendMessageW(list, CB_SETCURSEL, selection, 0);
}

// In the order of TimedTextFormats.
const wchar_t* const TimedTextChoices[] = {L"none", L"SubRip (.srt)", L"WebVTT (.vtt)", L"LRC (.lrc)"};
static_assert(std::size(TimedTextChoices) == std::size(TimedTextFormats));

void FillTimedTexts(HWND page)
{
    HWND list = GetDlgItem(page, IDC_EXPORT_TIMED_TEXT);
    for (size_t i = 0; i < std::size(TimedTextChoices); ++i) {
        SendMessageW(list, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(TimedTextChoices[i]));
        if (TimedTextFormats[i] == AppSettings.timedText)
            SendMessageW(list, CB_SETCURSEL, i, 0);
    }
}

void TakeTimedText(HWND page)
{
    const LRESULT index = SendDlgItemMessageW(page, IDC_EXPORT_TIMED_TEXT, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < static_cast<LRESULT>(std::size(TimedTextFormats)))
        AppSettings.timedText = TimedTextFormats[index];
}

void OnInitDialog(HWND page, const OptionsHost& host)
{
    CheckDlgButton(page, AppSettings.exportAsWav ? IDC_EXPORT_WAV : IDC_EXPORT_MP3, BST_CHECKED);
    ShowPath(page, IDC_EXPORT_WAVDIR, AppSettings.wavFolder);
    ShowPath(page, IDC_EXPORT_LAMEDIR, AppSettings.encoderFolder);
    ShowPath(page, IDC_EXPORT_MP3DIR, AppSettings.mp3Folder);
    ShowEncoderVersion(page, host);
    ShowEncoderInUse(page, host);
    FillBitRates(page);
    FillTimedTexts(page);
}

void TakeBitRate(HWND page)
{
    const LRESULT index = SendDlgItemMessageW(page, IDC_EXPORT_BITRATE, CB_GETCURSEL, 0, 0);
    if (index < 0 || index >= static_cast<LRESULT>(std::size(Mp3BitRates)))
        return;
    AppSettings.mp3BitRate = Mp3BitRates[index].kbitPerSecond;
}

void BrowseForFolder(HWND page, const wchar_t* title, wchar_t (&target)[SettingsPathLength], int field)
{
    BROWSEINFOW info{};
    info.hwndOwner = page;
    info.lpszTitle = title;
    info.ulFlags = BIF_NEWDIALOGSTYLE;
    info.lpfn = FolderBrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(target);
    const std::unique_ptr<ITEMIDLIST_ABSOLUTE, decltype(&CoTaskMemFree)> item(SHBrowseForFolderW(&info),
                                                                              &CoTaskMemFree);
    if (!item)
        return;
    // An item outside the file system (a printer, the control panel) has no path; the
    // folder set before is kept then.
    wchar_t path[MAX_PATH] = L"";
    if (SHGetPathFromIDListW(item.get(), path)) {
        lstrcpynW(target, path, SettingsPathLength);
        SetDlgItemTextW(page, field, target);
    }
}

void LocateLibrary(HWND page, const OptionsHost& host)
{
    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.lpstrFilter = L"lame_enc.dll\0lame_enc.dll\0";
    choice.nFilterIndex = 1;
    // The dialog starts from the current path and writes the chosen one in its place.
    choice.lpstrFile = AppSettings.encoderFolder;
    choice.nMaxFile = SettingsPathLength;
    choice.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameW(&choice))
        return;
    SetDlgItemTextW(page, IDC_EXPORT_LAMEDIR, AppSettings.encoderFolder);
    ShowEncoderVersion(page, host);
    ShowEncoderInUse(page, host);
}

void OnCommand(HWND page, const OptionsHost& host, int control, int notification)
{
    switch (control) {
    case IDC_EXPORT_WAV: AppSettings.exportAsWav = true; break;
    case IDC_EXPORT_MP3: AppSettings.exportAsWav = false; break;
    case IDC_EXPORT_WAVDIR:
        if (notification == EN_CHANGE)
            GetDlgItemTextW(page, control, AppSettings.wavFolder, SettingsPathLength);
        break;
    case IDC_EXPORT_LAMEDIR:
        // Typing a path does not load the library; only "..." shows its version anew.
        if (notification == EN_CHANGE) {
            GetDlgItemTextW(page, control, AppSettings.encoderFolder, SettingsPathLength);
            ShowEncoderInUse(page, host);
        }
        break;
    case IDC_EXPORT_MP3DIR:
        if (notification == EN_CHANGE)
            GetDlgItemTextW(page, control, AppSettings.mp3Folder, SettingsPathLength);
        break;
    case IDC_EXPORT_BROWSE_WAVDIR:
        BrowseForFolder(page, L"Please choose a folder for wav files.", AppSettings.wavFolder, IDC_EXPORT_WAVDIR);
        break;
    case IDC_EXPORT_BROWSE_MP3DIR:
        BrowseForFolder(page, L"Please choose a folder for mp3 files.", AppSettings.mp3Folder, IDC_EXPORT_MP3DIR);
        break;
    case IDC_EXPORT_BROWSE_LAMEDIR: LocateLibrary(page, host); break;
    case IDC_EXPORT_BITRATE:
        if (notification == CBN_SELCHANGE)
            TakeBitRate(page);
        break;
    case IDC_EXPORT_TIMED_TEXT:
        if (notification == CBN_SELCHANGE)
            TakeTimedText(page);
        break;
    default: break;
    }
}

} // namespace

int CALLBACK FolderBrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED && data)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

INT_PTR CALLBACK ExportPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    const OptionsDialogState* options = DialogRecord<OptionsDialogState>(page, message, lParam);
    if (!options)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page, options->host);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, options->host, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
