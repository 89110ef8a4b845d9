#include "app/tray_icon.h"
#include "app/app_state.h"
#include "options/options_dialog.h"
#include "speech/speech_controller.h"
#include "speech/text_view.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <cstdio>

NOTIFYICONDATAW trayIcon{};

void InitTrayIcon()
{
    trayIcon = NOTIFYICONDATAW{};
    trayIcon.cbSize = NOTIFYICONDATAW_V3_SIZE;
    trayIcon.hWnd = speechWindow;
    trayIcon.uID = TRAY_ICON_ID;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    trayIcon.uCallbackMessage = WM_TRAYICON;
    trayIcon.hIcon = LoadIconW(appInstance, MAKEINTRESOURCEW(IDI_PROGRAM));
    trayIcon.uTimeout = 3;
    trayIcon.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
}

void AddTrayIcon()
{
    Shell_NotifyIconW(NIM_ADD, &trayIcon);
}

void DeleteTrayIcon()
{
    Shell_NotifyIconW(NIM_DELETE, &trayIcon);
}

UINT StateWordId(int state)
{
    switch (state) {
    case Playing:
    case PendingPlay:
        return IDS_PLAYING;
    case Paused:
        return IDS_PAUSED;
    default:
        return IDS_STOPPED;
    }
}

std::wstring FormatCaption(const wchar_t* title, const wchar_t* stateWord, int line, int lineCount)
{
    wchar_t caption[128];
    swprintf(caption, 128, L"%ls - %ls   [ %d / %d ]", title, stateWord, line, lineCount);
    return caption;
}

void RefreshStatusLine()
{
    RefreshStatusLine(TextViewSelectionLine());
}

void RefreshStatusLine(int line)
{
    wchar_t stateWord[CaptionBufferLength];
    LoadStringW(appInstance, StateWordId(speechState), stateWord, CaptionBufferLength);

    const std::wstring caption =
        FormatCaption(windowTitle, stateWord, line + 1, TextViewLineCount());
    SetWindowTextW(speechWindow, caption.c_str());

    swprintf(trayIcon.szTip, sizeof trayIcon.szTip / sizeof trayIcon.szTip[0], L"%ls - %ls", appName, stateWord);
    Shell_NotifyIconW(NIM_MODIFY, &trayIcon);
}

void ShowPopupMenu()
{
    if (OpenOptionsWindow() || waitDialog || firstRun)
        return;
    POINT cursor;
    GetCursorPos(&cursor);
    // The owner must be in the foreground, or the menu will not close when the user
    // clicks elsewhere.
    SetForegroundWindow(speechWindow);
    const UINT command = TrackPopupMenuEx(popupMenu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                          cursor.x, cursor.y, speechWindow, nullptr);
    SendMessageW(speechWindow, WM_COMMAND, command, 0);
}

void OnTrayNotify(WPARAM id, LPARAM mouseMessage)
{
    if (id != TRAY_ICON_ID)
        return;
    switch (mouseMessage) {
    case WM_RBUTTONDOWN:
        ShowPopupMenu();
        break;
    case WM_LBUTTONDOWN:
        AppSettings.window = true;
        ShowWindow(speechWindow, SW_SHOWNORMAL);
        CheckMenuItem(popupMenu, CMD_SPEAKER_WINDOW, MF_BYCOMMAND | MF_CHECKED);
        SetForegroundWindow(speechWindow);
        break;
    case WM_LBUTTONDBLCLK:
        SendMessageW(speechWindow, WM_COMMAND, CMD_OPTIONS, 0);
        break;
    default:
        break;
    }
}
