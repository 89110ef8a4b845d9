#include "app/startup.h"
#include "app/app_state.h"
#include "app/hot_keys.h"
#include "app/speech_window.h"
#include "app/tray_icon.h"
#include "app/window_placement.h"
#include "clipboard/clipboard_monitor.h"
#include "speech/colour_hook.h"
#include "speech/display.h"
#include "speech/speech_controller.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <string>

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

std::wstring SystemErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length > 0 && text ? std::wstring(text, length) : std::to_wstring(error);
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return result;
}

// One pass, so that a "%2" inside the path is not taken for the second placeholder.
std::wstring FillPattern(const std::wstring& pattern, const std::wstring& first, const std::wstring& second)
{
    std::wstring text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        if (pattern[i] == L'%' && (next == L'1' || next == L'2')) {
            text += next == L'1' ? first : second;
            ++i;
        } else {
            text.push_back(pattern[i]);
        }
    }
    return text;
}

// Said once, at start-up: the user would otherwise wonder where their settings went,
// and why changes made now are not kept.
void WarnIfSettingsUnread()
{
    if (settingsReadError == 0)
        return;
    wchar_t caption[CaptionBufferLength] = L"";
    wchar_t pattern[MessageBufferLength] = L"";
    LoadStringW(appInstance, IDS_WARNING, caption, CaptionBufferLength);
    LoadStringW(appInstance, IDS_SETTINGS_UNREADABLE, pattern, MessageBufferLength);
    const std::wstring text = FillPattern(pattern, settingsPath, SystemErrorText(settingsReadError));
    MessageBoxW(speechWindow, text.c_str(), caption, MB_OK | MB_ICONWARNING);
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

// The settings keep the saved position; only the window is moved, and the next save
// takes its new place from the window.
bool CreateSpeechWindow()
{
    const WindowPlace place =
        ReachablePlace({AppSettings.x, AppSettings.y, AppSettings.width, AppSettings.height});
    return CreateWindowExW(SpeechWindowExStyle, appName, windowTitle, SpeechWindowStyle, place.x, place.y,
                           place.width, place.height, nullptr, nullptr, appInstance, nullptr) != nullptr;
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
    WarnIfSettingsUnread();
    ApplyHotKeysAtStart(speechWindow);
}
