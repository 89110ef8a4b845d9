// Start-up, single instance and the message loop.
#include "app/app_state.h"
#include "app/speech_window.h"
#include "app/tray_icon.h"
#include "clipboard/clipboard_monitor.h"
#include "speech/colour_hook.h"
#include "speech/display.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <commctrl.h>
#include <objbase.h>

namespace {

constexpr DWORD SpeechWindowExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr DWORD SpeechWindowStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

bool IsRestart(const wchar_t* commandLine)
{
    return wcscmp(commandLine, L"/r") == 0;
}

// A restarted copy waits until the copy that started it has gone; it holds no
// single-instance mutex, so the old copy's does not refuse it.
void WaitForPreviousCopy()
{
    wchar_t name[CaptionBufferLength];
    LoadStringW(appInstance, IDS_RESET_MUTEX, name, CaptionBufferLength);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
    const DWORD error = GetLastError();
    if (mutex && (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED)) {
        WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

// False when another copy runs; the user is told so.
bool ClaimSingleInstance()
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, appName);
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
        return true;   // held until the process ends
    wchar_t caption[CaptionBufferLength];
    wchar_t text[MessageBufferLength];
    LoadStringW(appInstance, IDS_WARNING, caption, CaptionBufferLength);
    LoadStringW(appInstance, IDS_ALREADY_RUNNING, text, MessageBufferLength);
    MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONERROR);
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return false;
}

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

void PreparePopupMenu()
{
    HMENU menu = LoadMenuW(appInstance, MAKEINTRESOURCEW(IDM_POPUP));
    popupMenu = GetSubMenu(menu, 0);
    EnableMenuItem(popupMenu, CMD_PAUSE, MF_BYCOMMAND | MF_DISABLED);
    RefreshStatusLine();
    CheckMenuItem(popupMenu, CMD_CLIPBOARD_MONITOR, MF_BYCOMMAND | (AppSettings.clipboard ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(popupMenu, CMD_APPEND_TEXT, MF_BYCOMMAND | (AppSettings.clipboard ? MF_ENABLED : MF_DISABLED));
    CheckMenuItem(popupMenu, CMD_APPEND_TEXT, MF_BYCOMMAND | (AppSettings.append ? MF_CHECKED : MF_UNCHECKED));
    if (AppSettings.autoplay) {
        EnableMenuItem(popupMenu, CMD_PAUSE, MF_BYCOMMAND | MF_ENABLED);
        wchar_t stop[CaptionBufferLength];
        LoadStringW(appInstance, IDS_STOP, stop, CaptionBufferLength);
        ModifyMenuW(popupMenu, CMD_PLAY_STOP, MF_BYCOMMAND | MF_STRING, CMD_PLAY_STOP, stop);
    }
}

int RunMessageLoop(HACCEL accelerators)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    appInstance = instance;
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_ACCELERATORS));
    LoadStringW(instance, IDS_SPEECH_WINDOW, windowTitle, CaptionBufferLength);
    LoadStringW(instance, IDS_APP_NAME, appName, CaptionBufferLength);

    if (ProgramInfo.osVersion.dwMajorVersion < 5)
        return 0;

    if (IsRestart(commandLine))
        WaitForPreviousCopy();
    else if (!ClaimSingleInstance())
        return 0;

    InitCommonControls();
    if (FAILED(CoInitialize(nullptr)))
        return 0;
    RegisterSpeechWindowClass();
    LoadSettings();

    if (!CreateWindowExW(SpeechWindowExStyle, appName, windowTitle, SpeechWindowStyle, AppSettings.x, AppSettings.y,
                         AppSettings.width, AppSettings.height, nullptr, nullptr, instance, nullptr))
        return 0;
    if (!CreateVoiceEngine(speechWindow))
        return 0;

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

    const int exitCode = RunMessageLoop(accelerators);
    DeleteTrayIcon();
    CoUninitialize();
    return exitCode;
}
