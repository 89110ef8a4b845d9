#include "app/speech_window.h"
#include "app/app_state.h"
#include "app/commands.h"
#include "app/hot_keys.h"
#include "app/tray_icon.h"
#include "clipboard/clipboard_monitor.h"
#include "options/options_dialog.h"
#include "speech/display.h"
#include "speech/speech_controller.h"
#include "speech/text_prep.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <richedit.h>
#include <windowsx.h>

UINT taskbarCreatedMessage = 0;

namespace {

LRESULT OnCreate(HWND hwnd)
{
    speechWindow = hwnd;
    RECT client;
    GetClientRect(hwnd, &client);
    textView = CreateTextView(hwnd, client);
    SendMessageW(textView, EM_SETBKGNDCOLOR, 0, AppSettings.background);
    InitTextFormat();
    ApplyFontAndColours();
    return 0;
}

void OnDestroy()
{
    ReleaseVoiceEngine();
    FreeSpeechText();
    SaveSettings(true);
    LeaveClipboardChain();
    PostQuitMessage(0);
}

void OnSize(int width, int height)
{
    MoveWindow(textView, 0, 0, width, height, FALSE);
    UpdateVisibleLines();
}

void OnClose(HWND hwnd)
{
    if (!AppSettings.close)
        ShowSpeechWindow(0);
    else if (ConfirmQuit())
        DestroyWindow(hwnd);
}

// Keyboard and mouse input reach the TextView only where it does no harm: the text is
// never changed, selected or moved by the user.
LRESULT OnTextViewInput(const MSGFILTER& filter)
{
    const UINT m = filter.msg;
    const WPARAM w = filter.wParam;
    if (m == WM_RBUTTONDOWN && w == MK_RBUTTON) {
        SendMessageW(speechWindow, WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN);
        return 0;
    }
    if (m == WM_LBUTTONDBLCLK && w == MK_LBUTTON) {
        PauseResume();
        return 1;
    }
    if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_LBUTTONUP)
        return 1;
    if (m == WM_LBUTTONDOWN) {
        if ((w & MK_CONTROL) && speechState != Playing && speechState != PendingPlay)
            StartAtFirstVisibleLine();
        return 1;
    }
    if (m == WM_MOUSEWHEEL) {
        // The control itself would scroll several lines per notch.
        TextViewScrollOneLine(GET_WHEEL_DELTA_WPARAM(w) > 0);
        return 1;
    }
    return 0;
}

LRESULT OnNotify(const NMHDR* header)
{
    if (header->hwndFrom != textView || header->code != EN_MSGFILTER)
        return 0;
    return OnTextViewInput(*reinterpret_cast<const MSGFILTER*>(header));
}

void OnCaptionDoubleClick()
{
    AppSettings.window = false;
    ShowWindow(speechWindow, SW_HIDE);
    CheckMenuItem(popupMenu, CMD_SPEAKER_WINDOW, MF_BYCOMMAND | MF_UNCHECKED);
}

void OnTimer(UINT_PTR id)
{
    if (id != IDT_SPEECH_TIMER)
        return;
    if (GetFocus() == textView)
        SetFocus(speechWindow);
    OnSpeechTimer();
}

void OnMouseWheel(WPARAM wParam)
{
    TextViewScrollOneLine(GET_WHEEL_DELTA_WPARAM(wParam) > 0);
}

} // namespace

LRESULT CALLBACK SpeechWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (taskbarCreatedMessage && message == taskbarCreatedMessage) {
        AddTrayIcon();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        return OnCreate(hwnd);
    case WM_DESTROY:
        RemoveHotKeys(hwnd);
        OnDestroy();
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        OnClose(hwnd);
        return 0;
    case WM_ENDSESSION:
        // At logoff or shutdown the process ends without WM_DESTROY; what changed since
        // start-up would be lost without this save. An open Options dialog was never
        // confirmed: its live previews (a transparency dragged to 0) must not be what the
        // next logon starts with.
        if (wParam) {
            CancelOptionsDialog();
            SaveSettings(true);
        }
        return 0;
    case WM_ERASEBKGND:
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_NCLBUTTONDBLCLK:
        OnCaptionDoubleClick();
        return 0;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_MOUSEWHEEL:
        OnMouseWheel(wParam);
        return 0;
    case WM_DRAWCLIPBOARD:
        OnDrawClipboard(wParam, lParam);
        return 0;
    case WM_CHANGECBCHAIN:
        OnChangeClipboardChain(reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_TRAYICON:
        OnTrayNotify(wParam, lParam);
        return 0;
    case WM_VOICE_EVENT:
        HandleVoiceEvents();
        return 0;
    case WM_ACTIVATE:
        OnSpeechWindowActivate(wParam, lParam);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_TAKE_KEYBOARD_BACK:
        OnTakeKeyboardBack();
        return 0;
    case WM_HOTKEY:
        OnHotKey(hwnd, wParam);
        return 0;
    case WM_APPLY_HOT_KEYS:
        return ApplyHotKeys(hwnd);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
