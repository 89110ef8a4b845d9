#include "app/window_frame.h"
#include "app/speech_window.h"
#include "settings/app_settings.h"
#include "platform/dpi.h"
#include "platform/menu_items.h"
#include "res/resource.h"

namespace {

constexpr LONG BorderedStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
constexpr ULONGLONG KeyboardGuardMs = 3000;

RECT WindowRect(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

void MeasureFrameHeightDelta(SpeechWindowState& state)
{
    if (state.frameHeightDelta == -1) {
        const RECT w = WindowRect(state.window);
        const RECT c = state.reader.View().ClientRect();
        state.frameHeightDelta = (w.bottom - w.top) - (c.bottom - c.top);
    }
}

LONG BorderlessStyle(HWND window)
{
    return GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_VISIBLE);
}

// The platform gives the keyboard to a shown window only on a change of activation, so
// the window passes through the desktop on its way back.
void TakeKeyboardBack(SpeechWindowState& state)
{
    state.keyboardGuard.takingBack = true;
    SetForegroundWindow(GetDesktopWindow());
    SetForegroundWindow(state.window);
    SetFocus(state.window);
    state.keyboardGuard.takingBack = false;
}

void MoveHiddenAndShow(SpeechWindowState& state, int x, int y, int width, int height)
{
    // Hidden without handing activation to another window: that window would keep the
    // keyboard, and the user who just pressed B would find every later key going
    // elsewhere until a click.
    const HWND window = state.window;
    const bool wasActive = GetActiveWindow() == window;
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(window, x, y, width, height, FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    if (wasActive) {
        state.keyboardGuard.until = GetTickCount64() + KeyboardGuardMs;
        TakeKeyboardBack(state);
    }
}

} // namespace

void ApplyBorder(SpeechWindowState& state)
{
    const HWND window = state.window;
    MeasureFrameHeightDelta(state);
    const RECT w = WindowRect(window);
    if (AppSettings.showBorder) {
        SetWindowLongW(window, GWL_STYLE, BorderedStyle);
        return;
    }
    SetWindowLongW(window, GWL_STYLE, BorderlessStyle(window));
    MoveHiddenAndShow(state, w.left, w.top, w.right - w.left, w.bottom - w.top - state.frameHeightDelta);
}

void ToggleBorder(SpeechWindowState& state)
{
    const HWND window = state.window;
    MeasureFrameHeightDelta(state);
    const int frame = SystemMetricForDpi(SM_CYFRAME, state.dpi);
    const int frameHeightDelta = state.frameHeightDelta;
    const RECT w = WindowRect(window);
    const RECT c = state.reader.View().ClientRect();
    const int width = w.right - w.left;
    const int clientHeight = c.bottom - c.top;
    if (AppSettings.showBorder) {
        SetWindowLongW(window, GWL_STYLE, BorderlessStyle(window));
        AppSettings.showBorder = false;
        MoveHiddenAndShow(state, w.left + frame, w.top + frameHeightDelta - frame, width - 2 * frame, clientHeight);
    } else {
        SetWindowLongW(window, GWL_STYLE, BorderedStyle);
        AppSettings.showBorder = true;
        MoveHiddenAndShow(state, w.left - frame, w.top - frameHeightDelta + frame, width + 2 * frame,
                          clientHeight + frameHeightDelta);
    }
}

void OnSpeechWindowActivate(SpeechWindowState& state, WPARAM wParam, LPARAM lParam)
{
    state.reader.WindowActivated(LOWORD(wParam) != WA_INACTIVE);
    const KeyboardGuard& guard = state.keyboardGuard;
    if (LOWORD(wParam) != WA_INACTIVE || guard.takingBack || GetTickCount64() >= guard.until)
        return;
    // A window the user chose keeps the activation; only a loss to nothing is undone.
    const auto other = reinterpret_cast<HWND>(lParam);
    if (!other || other == GetDesktopWindow())
        PostMessageW(state.window, WM_TAKE_KEYBOARD_BACK, 0, 0);
}

void OnTakeKeyboardBack(SpeechWindowState& state)
{
    const HWND foreground = GetForegroundWindow();
    if (IsWindowVisible(state.window) && (!foreground || foreground == GetDesktopWindow()))
        TakeKeyboardBack(state);
}

void ShowSpeechWindow(SpeechWindowState& state, int showCommand)
{
    if (showCommand == 0) {
        AppSettings.speechWindowShown = !AppSettings.speechWindowShown;
        ShowWindow(state.window, AppSettings.speechWindowShown ? SW_SHOW : SW_HIDE);
    } else {
        ShowWindow(state.window, AppSettings.speechWindowShown ? showCommand : SW_HIDE);
    }
    SetMenuItemChecked(state.popupMenu, CMD_SPEAKER_WINDOW, AppSettings.speechWindowShown);
}

void BringSpeechWindowForward(SpeechWindowState& state)
{
    AppSettings.speechWindowShown = true;
    ShowWindow(state.window, SW_SHOWNORMAL);
    SetMenuItemChecked(state.popupMenu, CMD_SPEAKER_WINDOW, true);
    // While a dialog of the program is open, the window itself takes no input.
    SetForegroundWindow(GetLastActivePopup(state.window));
}

void ApplyTopMost(HWND window)
{
    SetWindowPos(window, AppSettings.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void ApplyTransparency(HWND window)
{
    SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(AppSettings.opacity & 0xFF), LWA_ALPHA);
}
