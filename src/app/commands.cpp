#include "app/commands.h"
#include "app/about_dialog.h"
#include "app/history_keeping.h"
#include "app/options_host.h"
#include "app/popup_menu.h"
#include "app/pronounce_as.h"
#include "app/speech_window.h"
#include "app/window_frame.h"
#include "clipboard/clipboard_monitor.h"
#include "export/export.h"
#include "options/options_dialog.h"
#include "settings/app_settings.h"
#include "platform/menu_items.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <richedit.h>
#include <algorithm>
#include <string>

namespace {

constexpr int SpeechTab = 0;
constexpr int HelpTab = 3;

void QuitProgram(HWND window)
{
    // The destroy handling ends the program; the window itself is left to the system.
    if (ConfirmQuit(window))
        SendMessageW(window, WM_DESTROY, 0, 0);
}

void ToggleClipboardMonitor(HMENU menu)
{
    AppSettings.monitorClipboard = !AppSettings.monitorClipboard;
    ShowClipboardSettingsInMenu(menu);
}

void ToggleAppendText(HMENU menu)
{
    AppSettings.appendCopies = !AppSettings.appendCopies;
    ShowClipboardSettingsInMenu(menu);
}

// Takes effect at once, and is kept with the other settings.
void ToggleFocusMode(SpeechWindowState& state)
{
    AppSettings.focusMode = !AppSettings.focusMode;
    state.reader.Apply(SettingsChange::SentenceLook);
    ShowFocusModeInMenu(state.popupMenu);
}

void OpenOptionsDialog(SpeechWindowState& state, int tab)
{
    if (HWND openDialog = OpenOptionsWindow()) {
        SetForegroundWindow(openDialog);
        return;
    }
    RunOptionsDialog(SpeechWindowOptionsHost(state), tab);
}

// The file holds what playback speaks, each part with the voice that reads it. Before
// anything was prepared there is no text at all, which the export refuses. The parts are
// copies: a copy taken while the save dialog is open changes nothing of the export.
void ExportCurrentText(SpeechWindowState& state)
{
    ExportSpeech(state.window, state.reader.SpokenParts());
}

void ShowContextMenu(HWND window)
{
    SendMessageW(window, WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN);
}

// The window keeps the rate the user chose; the reader only applies it.
void ChangeRate(Reader& reader, int delta)
{
    AppSettings.speechRate = std::clamp(AppSettings.speechRate + delta, MinSpeechRate, MaxSpeechRate);
    reader.Apply(SettingsChange::Rate);
}

// As the rate, the speed is kept with the other settings when the program ends.
void ChangeSpeed(Reader& reader, int steps)
{
    AppSettings.speedPercent = std::clamp(AppSettings.speedPercent + steps * SpeedStepPercent, MinSpeedPercent,
                                          MaxSpeedPercent);
    reader.Apply(SettingsChange::Speed);
}

// A command that reads, copies, exports, deletes or scrolls the text acts on the text
// as the user last copied it, even while a long copy is still being prepared: the rest
// of its preparation is done first. Every other command is answered at once.
bool ActsOnTheText(UINT command)
{
    switch (command) {
    case CMD_COPY:
    case CMD_PLAY_PAUSE:
    case CMD_PAUSE:
    case CMD_STOP:
    case CMD_DELETE_ALL:
    case CMD_PLAY_STOP:
    case CMD_NEXT_SENTENCE:
    case CMD_PREVIOUS_SENTENCE:
    case CMD_EXPORT:
    case CMD_SCROLL_END:
    case CMD_SCROLL_HOME:
    case CMD_PRONOUNCE_AS:
        return true;
    default:
        return false;
    }
}

} // namespace

bool ConfirmQuit(HWND window)
{
    return !AppSettings.confirmQuit || AskToConfirm(window, IDS_CONFIRM_QUIT);
}

void OnCommand(SpeechWindowState& state, WPARAM wParam, LPARAM lParam)
{
    const HWND window = state.window;
    Reader& reader = state.reader;
    if (ActsOnTheText(LOWORD(wParam)))
        reader.FinishLoad();
    if (OnHistoryCommand(state, LOWORD(wParam)))
        return;
    switch (LOWORD(wParam)) {
    case CMD_QUIT:              QuitProgram(window); break;
    case CMD_COPY:              CopySpeechText(state.clipboard, reader, window); break;
    case CMD_CLIPBOARD_MONITOR: ToggleClipboardMonitor(state.popupMenu); break;
    case CMD_APPEND_TEXT:       ToggleAppendText(state.popupMenu); break;
    case CMD_PLAY_PAUSE:        reader.Do(ReadingCommand::PlayPause); break;
    case CMD_PAUSE:             reader.Do(ReadingCommand::PauseResume); break;
    case CMD_STOP:              reader.Do(ReadingCommand::Stop); break;
    case CMD_BORDER:            ToggleBorder(state); break;
    case CMD_DELETE_ALL:        DeleteAllText(reader, window); break;
    case CMD_OPTIONS:           OpenOptionsDialog(state, SpeechTab); break;
    case CMD_ABOUT:             ShowAboutDialog(window); break;
    case CMD_PLAY_STOP:         reader.Do(ReadingCommand::PlayStop); break;
    case CMD_CONTEXT_MENU:      ShowContextMenu(window); break;
    case CMD_SPEAKER_WINDOW:    ShowSpeechWindow(state, 0); break;
    case CMD_NEXT_SENTENCE:     reader.Do(ReadingCommand::NextSentence); break;
    case CMD_PREVIOUS_SENTENCE: reader.Do(ReadingCommand::PreviousSentence); break;
    case CMD_EXPORT:            ExportCurrentText(state); break;
    case CMD_SCROLL_END:        reader.Do(ReadingCommand::ScrollToEnd); break;
    case CMD_SCROLL_HOME:       reader.Do(ReadingCommand::ScrollToTop); break;
    case CMD_PASTE:             PasteIntoSpeechWindow(state); break;
    case CMD_HELP:              OpenOptionsDialog(state, HelpTab); break;
    case CMD_RATE_UP:           ChangeRate(reader, +1); break;
    case CMD_RATE_DOWN:         ChangeRate(reader, -1); break;
    case CMD_FASTER:            ChangeSpeed(reader, +1); break;
    case CMD_SLOWER:            ChangeSpeed(reader, -1); break;
    case CMD_PRONOUNCE_AS:      PronounceWordAs(state); break;
    case CMD_FOCUS_MODE:        ToggleFocusMode(state); break;
    default:                    break;
    }
    if (HIWORD(wParam) == EN_UPDATE && reinterpret_cast<HWND>(lParam) == reader.View().Handle())
        SetFocus(window);
}
