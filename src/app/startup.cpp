#include "app/startup.h"
#include "app/history_keeping.h"
#include "app/hot_keys.h"
#include "app/popup_menu.h"
#include "app/speech_window.h"
#include "app/tray_icon.h"
#include "app/window_placement.h"
#include "clipboard/clipboard_monitor.h"
#include "settings/app_settings.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "pronunciation/pronunciation_store.h"
#include "platform/dpi.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <string>

namespace {

constexpr DWORD SpeechWindowExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr DWORD SpeechWindowStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

// Said once, at start-up: the user would otherwise wonder where their settings went,
// and why changes made now are not kept.
void WarnIfSettingsUnread(HWND window)
{
    const SettingsStoreRecord& store = SettingsStore;
    if (store.readError == 0)
        return;
    LogFailure(L"Reading the settings from " + store.path, store.readError);
    ShowWarning(window, FillPattern(LoadText(IDS_SETTINGS_UNREADABLE), store.path, SystemErrorText(store.readError)));
}

// The dictionary is the user's work too: a file that could not be read is said at
// start-up, as nothing in it is used. Lines of it the program does not use (a file edited
// by hand, or written by a newer program) stay as they are and are told in the status
// line: a box at every start would hold up the program for something the user may
// keep on purpose.
void TellIfPronunciationsUnread(SpeechWindowState& state)
{
    const PronunciationStoreRecord& store = state.pronunciations;
    if (!store.unreadable.empty())
        ShowWarning(state.window, FillPattern(LoadText(IDS_DICTIONARY_UNREADABLE), store.path, store.unreadable));
    else if (const std::wstring note = UnusedLinesNote(store); !note.empty())
        ShowStatusNote(state, note);
}

} // namespace

bool RegisterSpeechWindowClass()
{
    const std::wstring className = LoadText(IDS_APP_NAME);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SpeechWindowProc;
    wc.hInstance = ProgramModule();
    wc.hIcon = LoadIconW(ProgramModule(), MAKEINTRESOURCEW(IDI_PROGRAM));
    // The caption's icon from its own small image, not the large one shrunk.
    wc.hIconSm = static_cast<HICON>(LoadImageW(ProgramModule(), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = className.c_str();
    return RegisterClassExW(&wc) != 0;
}

// The settings keep the saved position; only the window is moved, and the next save
// takes its new place from the window. They keep it as at 96 dpi, which the window's
// pixels are scaled from: the window has the same place and size on the screen at any
// scaling.
bool CreateSpeechWindow(SpeechWindowState& state)
{
    const int dpi = SystemDpi();
    const WindowPlace place =
        ReachablePlace({FromBaseDpi(AppSettings.x, dpi), FromBaseDpi(AppSettings.y, dpi),
                        FromBaseDpi(AppSettings.width, dpi), FromBaseDpi(AppSettings.height, dpi)});
    const HWND window = CreateWindowExW(SpeechWindowExStyle, LoadText(IDS_APP_NAME).c_str(),
                                        LoadText(IDS_SPEECH_WINDOW).c_str(), SpeechWindowStyle, place.x, place.y,
                                        place.width, place.height, nullptr, nullptr, ProgramModule(), &state);
    if (!window)
        return false;
    // On a monitor scaled otherwise than the main one, the size is that monitor's.
    if (const int windowDpi = WindowDpi(window); windowDpi != dpi)
        SetWindowPos(window, nullptr, 0, 0, MulDiv(place.width, windowDpi, dpi), MulDiv(place.height, windowDpi, dpi),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

bool SetUpSpeechWindow(SpeechWindowState& state, int showCommand)
{
    const HWND window = state.window;
    // Without its timer a reading could stay pending for good; nothing is shown before it.
    if (!SetTimer(window, IDT_SPEECH_TIMER, SPEECH_TIMER_PERIOD, nullptr))
        return false;
    ApplyBorder(state);
    ApplyTopMost(window);
    ApplyTransparency(window);
    UpdateAutostart();
    // The record is filled before joining the chain: the notification that the join
    // sends at once already refreshes the status line.
    InitTrayIcon(state.trayIcon, window);
    // The text taken back first, so that the same text still on the clipboard leaves it
    // where its reading stopped.
    StartHistory(state);
    JoinClipboardChain(state.clipboard, window);
    AddTrayIcon(state.trayIcon);
    state.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    PreparePopupMenu(state);
    RefreshStatusLine(state);
    ShowSpeechWindow(state, showCommand != 0 ? showCommand : SW_SHOWNORMAL);
    UpdateWindow(window);
    WarnIfSettingsUnread(window);
    TellIfPronunciationsUnread(state);
    ApplyHotKeysAtStart(window);
    TellIfHistorySetAside(state);
    return true;
}

void TearDownSpeechWindow(SpeechWindowState& state)
{
    DeleteTrayIcon(state.trayIcon);
}
