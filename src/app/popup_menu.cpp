#include "app/popup_menu.h"
#include "app/history_keeping.h"
#include "app/speech_window.h"
#include "export/export.h"
#include "options/options_dialog.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "platform/menu_items.h"
#include "platform/ui_text.h"
#include "res/resource.h"

bool PreparePopupMenu(SpeechWindowState& state)
{
    state.menuResource.reset(LoadMenuW(ProgramModule(), MAKEINTRESOURCEW(IDM_POPUP)));
    state.popupMenu = state.menuResource ? GetSubMenu(state.menuResource.get(), 0) : nullptr;
    if (!state.popupMenu)
        return false;
    ShowClipboardSettingsInMenu(state.popupMenu);
    ShowFocusModeInMenu(state.popupMenu);
    // The menu follows what is being done: auto play with nothing on the clipboard
    // reads nothing, and the menu must say so.
    const SpeechState speech = state.reader.State();
    ShowStateInMenu(state.popupMenu, speech);
    state.menuShowsState = speech;
    return true;
}

void ShowStateInMenu(HMENU menu, SpeechState speech)
{
    SetMenuItemText(menu, CMD_PAUSE, speech == Paused ? IDS_RESUME : IDS_PAUSE);
    SetMenuItemEnabled(menu, CMD_PAUSE, speech != Stopped);
    SetMenuItemText(menu, CMD_PLAY_STOP, speech == Stopped ? IDS_PLAY : IDS_STOP);
}

void ShowClipboardSettingsInMenu(HMENU menu)
{
    SetMenuItemChecked(menu, CMD_CLIPBOARD_MONITOR, AppSettings.monitorClipboard);
    SetMenuItemEnabled(menu, CMD_APPEND_TEXT, AppSettings.monitorClipboard);
    SetMenuItemChecked(menu, CMD_APPEND_TEXT, AppSettings.appendCopies);
}

void ShowFocusModeInMenu(HMENU menu)
{
    SetMenuItemChecked(menu, CMD_FOCUS_MODE, AppSettings.focusMode);
}

void ShowPopupMenu(SpeechWindowState& state)
{
    if (OpenOptionsWindow() || ExportInProgress() || SettingsStore.firstRun)
        return;
    POINT cursor;
    GetCursorPos(&cursor);
    // The owner must be in the foreground, or the menu will not close when the user
    // clicks elsewhere.
    SetForegroundWindow(state.window);
    FillHistoryMenu(state);
    const UINT command = TrackPopupMenuEx(state.popupMenu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                          cursor.x, cursor.y, state.window, nullptr);
    SendMessageW(state.window, WM_COMMAND, command, 0);
}
