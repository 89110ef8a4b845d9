#include "app/speech_window.h"
#include "app/first_run.h"
#include "app/commands.h"
#include "app/history_keeping.h"
#include "app/hot_keys.h"
#include "app/image_copies.h"
#include "app/popup_menu.h"
#include "app/single_instance.h"
#include "clipboard/clipboard_monitor.h"
#include "options/options_dialog.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "platform/dpi.h"
#include "platform/menu_items.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <richedit.h>
#include <windowsx.h>

namespace {

SpeechWindowState* AttachedState(HWND hwnd)
{
    return reinterpret_cast<SpeechWindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// The state comes with the creation; messages sent before it have none and get the
// default handling.
void AttachState(HWND hwnd, const CREATESTRUCTW& create)
{
    auto* state = static_cast<SpeechWindowState*>(create.lpCreateParams);
    state->window = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
}

LRESULT OnCreate(SpeechWindowState& state)
{
    RECT client;
    GetClientRect(state.window, &client);
    state.dpi = WindowDpi(state.window);
    state.reader.SetListeners([&state](int line) {
                                  RefreshStatusLine(state, line);
                                  FollowReading(state);
                              },
                              [&state](const std::wstring& note) { ShowStatusNote(state, note); });
    return state.reader.CreateView(state.window, client) ? 0 : -1;
}

// Said once, as the program ends: later saves would only repeat it, and earlier the
// user could do nothing about it but keep the program running.
void TellIfSettingsWereNotSaved(const SpeechWindowState& state)
{
    if (state.settingsSaveError == 0)
        return;
    ShowWarning(nullptr, FillPattern(LoadText(IDS_SETTINGS_NOT_SAVED), SettingsStore.path,
                                     SystemErrorText(state.settingsSaveError)));
}

void OnDestroy(SpeechWindowState& state)
{
    RemoveHotKeys(state.window);
    CancelImageReading(state);
    EndHistory(state);
    state.reader.Close();
    state.sampleVoice.Reset();
    SaveSettingsNotingFailure(state);
    LeaveClipboardChain(state.clipboard, state.window);
    TellIfSettingsWereNotSaved(state);
    PostQuitMessage(0);
}

void OnClose(SpeechWindowState& state)
{
    if (!AppSettings.closeQuits)
        ShowSpeechWindow(state, 0);
    else if (ConfirmQuit(state.window))
        DestroyWindow(state.window);
}

// At logoff or shutdown the process ends without WM_DESTROY; what changed since start-up
// would be lost without this save. An open Options dialog was never confirmed: its live
// previews (a transparency dragged to 0) must not be what the next logon starts with.
void OnEndSession(SpeechWindowState& state, bool ending)
{
    if (!ending)
        return;
    CancelOptionsDialog();
    SaveSettingsNotingFailure(state);
}

// Keyboard and mouse input reach the TextView only where it does no harm: the text is
// never changed, selected or moved by the user.
LRESULT OnTextViewInput(SpeechWindowState& state, const MSGFILTER& filter)
{
    const UINT m = filter.msg;
    const WPARAM w = filter.wParam;
    if (m == WM_RBUTTONDOWN && w == MK_RBUTTON) {
        SendMessageW(state.window, WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN);
        return 0;
    }
    if (m == WM_LBUTTONDBLCLK && w == MK_LBUTTON) {
        state.reader.FinishLoad();
        state.reader.Do(ReadingCommand::PauseResume);
        return 1;
    }
    if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_LBUTTONUP)
        return 1;
    if (m == WM_LBUTTONDOWN) {
        if (w & (MK_CONTROL | MK_SHIFT))
            state.reader.FinishLoad();
        // Ctrl+Shift+click is taken as Ctrl+click.
        if (w & MK_CONTROL)
            state.reader.Do(ReadingCommand::StartAtFirstVisibleLine);
        else if (w & MK_SHIFT)
            state.reader.StartAtWordAt(POINT{GET_X_LPARAM(filter.lParam), GET_Y_LPARAM(filter.lParam)});
        return 1;
    }
    if (m == WM_MOUSEWHEEL) {
        // The control itself would scroll several lines per notch.
        state.reader.Do(GET_WHEEL_DELTA_WPARAM(w) > 0 ? ReadingCommand::ScrollLineUp : ReadingCommand::ScrollLineDown);
        return 1;
    }
    return 0;
}

LRESULT OnNotify(SpeechWindowState& state, const NMHDR* header)
{
    if (header->hwndFrom != state.reader.View().Handle())
        return 0;
    if (header->code == TextViewLinesCounted) {
        state.reader.ReportStatusChange();
        return 0;
    }
    if (header->code != EN_MSGFILTER)
        return 0;
    return OnTextViewInput(state, *reinterpret_cast<const MSGFILTER*>(header));
}

// Moved to a monitor scaled otherwise, or the scaling changed: the window takes the
// place and size the system suggests, and the text keeps its size in points.
void OnDpiChanged(SpeechWindowState& state, int dpi, const RECT& suggested)
{
    if (dpi <= 0 || dpi == state.dpi)
        return;
    if (state.frameHeightDelta != -1)
        state.frameHeightDelta = MulDiv(state.frameHeightDelta, dpi, state.dpi);
    state.dpi = dpi;
    state.reader.ChangeDpi(dpi);
    SetWindowPos(state.window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnCaptionDoubleClick(SpeechWindowState& state)
{
    AppSettings.speechWindowShown = false;
    ShowWindow(state.window, SW_HIDE);
    SetMenuItemChecked(state.popupMenu, CMD_SPEAKER_WINDOW, false);
}

void OnTimer(SpeechWindowState& state, UINT_PTR id)
{
    if (id == IDT_STATUS_NOTE)
        EndStatusNote(state);
    if (id == IDT_SELECTION_GRAB)
        OnSelectionGrabTimer(state.clipboard.selectionGrab);
    if (id != IDT_SPEECH_TIMER)
        return;
    if (GetFocus() == state.reader.View().Handle())
        SetFocus(state.window);
    state.reader.OnTimer();
}

void AnswerClipboardOutcome(SpeechWindowState& state, ClipboardOutcome outcome)
{
    switch (outcome) {
    case ClipboardOutcome::FirstRunCopy:     GreetOnFirstCopy(state); break;
    case ClipboardOutcome::TextTaken:
        CancelImageReading(state);
        TellHowToHearOnce(state);
        break;
    case ClipboardOutcome::TextNotDelivered: ShowStatusNote(state, LoadText(IDS_COPY_NOT_DELIVERED)); break;
    case ClipboardOutcome::ImageCopied:      ReadCopiedImage(state); break;
    default:                                 break;
    }
}

LRESULT Dispatch(SpeechWindowState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND hwnd = state.window;
    if (state.taskbarCreatedMessage && message == state.taskbarCreatedMessage) {
        AddTrayIcon(state.trayIcon);
        return 0;
    }
    if (const UINT bringForward = BringForwardMessage(); bringForward && message == bringForward) {
        BringSpeechWindowForward(state);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        return OnCreate(state);
    case WM_DESTROY:
        OnDestroy(state);
        return 0;
    case WM_SIZE:
        state.reader.FitView(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        OnClose(state);
        return 0;
    case WM_ENDSESSION:
        OnEndSession(state, wParam != 0);
        return 0;
    case WM_ERASEBKGND:
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(state, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    // The high-contrast mode comes and goes, and its colours change, without a restart.
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETHIGHCONTRAST)
            state.reader.Apply(SettingsChange::Colours);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SYSCOLORCHANGE:
        state.reader.Apply(SettingsChange::Colours);
        return 0;
    case WM_NOTIFY:
        return OnNotify(state, reinterpret_cast<const NMHDR*>(lParam));
    case WM_NCLBUTTONDBLCLK:
        OnCaptionDoubleClick(state);
        return 0;
    case WM_COMMAND:
        OnCommand(state, wParam, lParam);
        return 0;
    case WM_TIMER:
        OnTimer(state, wParam);
        return 0;
    case WM_MOUSEWHEEL:
        state.reader.Do(GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? ReadingCommand::ScrollLineUp : ReadingCommand::ScrollLineDown);
        return 0;
    case WM_DRAWCLIPBOARD:
        AnswerClipboardOutcome(state, OnDrawClipboard(state.clipboard, state.reader, hwnd, wParam, lParam));
        // A newer copy is on its way: an image copied before it is read no further.
        if (ClipboardReadPending(state.clipboard))
            CancelImageReading(state);
        return 0;
    case WM_IMAGE_READ:
        OnImageRead(state, wParam);
        return 0;
    case WM_CLIPBOARD_FETCHED:
        AnswerClipboardOutcome(state, OnClipboardFetched(state.clipboard, state.reader, wParam, lParam));
        return 0;
    case WM_GREETING_CLOSED:
        OnGreetingClosed(state);
        return 0;
    case WM_CHANGECBCHAIN:
        OnChangeClipboardChain(state.clipboard, reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_TRAYICON:
        OnTrayNotify(state, wParam, lParam);
        return 0;
    case WM_VOICE_EVENT:
        state.reader.OnVoiceEvents();
        return 0;
    case WM_VOICE_HEARD:
        state.reader.OnVoiceHeard();
        return 0;
    case WM_ACTIVATE:
        OnSpeechWindowActivate(state, wParam, lParam);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_TAKE_KEYBOARD_BACK:
        OnTakeKeyboardBack(state);
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

} // namespace

void SaveSettingsNotingFailure(SpeechWindowState& state)
{
    if (const DWORD error = SaveSettings(state.window, state.frameHeightDelta); error != 0 && state.settingsSaveError == 0)
        state.settingsSaveError = error;
}

SpeechWindowState& SpeechWindowStateOf(HWND window)
{
    return *AttachedState(window);
}

void PasteIntoSpeechWindow(SpeechWindowState& state)
{
    AnswerClipboardOutcome(state, PasteClipboardText(state.clipboard, state.reader, state.window));
}

LRESULT CALLBACK SpeechWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        AttachState(hwnd, *reinterpret_cast<const CREATESTRUCTW*>(lParam));
    SpeechWindowState* state = AttachedState(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return Dispatch(*state, message, wParam, lParam);
}
