#include "app/startup.h"
#include "app/app_state.h"
#include "app/speech_window.h"
#include "app/tray_icon.h"
#include "clipboard/clipboard_monitor.h"
#include "speech/colour_hook.h"
#include "speech/display.h"
#include "speech/speech_controller.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include "res/resource.h"

namespace {

constexpr DWORD SpeechWindowExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr DWORD SpeechWindowStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

void PreparePopupMenu()
{
    HMENU menu = LoadMenuW(appInstance, MAKEINTRESOURCEW(IDM_POPUP));
    popupMenu = GetSubMenu(menu, 0);
    EnableMenuItem(popupMenu, CMD_PAUSE, MF_BYCOMMAND | MF_GRAYED);
    RefreshStatusLine();
    CheckMenuItem(popupMenu, CMD_CLIPBOARD_MONITOR, MF_BYCOMMAND | (AppSettings.clipboard ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(popupMenu, CMD_APPEND_TEXT, MF_BYCOMMAND | (AppSettings.clipboard ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(popupMenu, CMD_APPEND_TEXT, MF_BYCOMMAND | (AppSettings.append ? MF_CHECKED : MF_UNCHECKED));
    // The menu follows what is being done: auto play with nothing on the clipboard
    // reads nothing, and the menu must say so.
    if (speechState != Stopped) {
        EnableMenuItem(popupMenu, CMD_PAUSE, MF_BYCOMMAND | MF_ENABLED);
        wchar_t stop[CaptionBufferLength];
        LoadStringW(appInstance, IDS_STOP, stop, CaptionBufferLength);
        ModifyMenuW(popupMenu, CMD_PLAY_STOP, MF_BYCOMMAND | MF_STRING, CMD_PLAY_STOP, stop);
    }
}

} // namespace

bool RegisterSpeechWindowClass()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SpeechWindowProc;
    wc.hInstance = appInstance;
    wc.hIcon = LoadIconW(appInstance, MAKEINTRESOURCEW(IDI_PROGRAM));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = appName;
    return RegisterClassExW(&wc) != 0;
}

bool CreateSpeechWindow()
{
    return CreateWindowExW(SpeechWindowExStyle, appName, windowTitle, SpeechWindowStyle, AppSettings.x, AppSettings.y,
                           AppSettings.width, AppSettings.height, nullptr, nullptr, appInstance, nullptr) != nullptr;
}

void SetUpSpeechWindow(int showCommand)
{
    ApplyBorder();
    ApplyTopMost();
    ApplyTransparency();
    UpdateAutostart();
    // The record is filled before joining the chain: the notification that the join
    // sends at once already refreshes the status line.
    InitTrayIcon();
    JoinClipboardChain();
    InstallColourHook();
    AddTrayIcon();
    taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    PreparePopupMenu();
    ShowSpeechWindow(showCommand != 0 ? showCommand : SW_SHOWNORMAL);
    UpdateWindow(speechWindow);
    SetTimer(speechWindow, IDT_SPEECH_TIMER, SPEECH_TIMER_PERIOD, nullptr);
}
