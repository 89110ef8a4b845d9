#include "app/commands.h"
#include "app/app_state.h"
#include "app/options_host.h"
#include "app/tray_icon.h"
#include "clipboard/clipboard_monitor.h"
#include "export/export.h"
#include "options/options_dialog.h"
#include "speech/display.h"
#include "speech/speech_controller.h"
#include "speech/text_view.h"
#include "settings/app_settings.h"
#include "update/about_dialog.h"
#include "res/resource.h"
#include <richedit.h>
#include <string>

namespace {

constexpr int SpeechTab = 0;
constexpr int HelpTab = 3;

void QuitProgram()
{
    // The destroy handling ends the program; the window itself is left to the system.
    if (ConfirmQuit())
        SendMessageW(speechWindow, WM_DESTROY, 0, 0);
}

void ToggleClipboardMonitor()
{
    AppSettings.clipboard = !AppSettings.clipboard;
    CheckMenuItem(popupMenu, CMD_CLIPBOARD_MONITOR, MF_BYCOMMAND | (AppSettings.clipboard ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(popupMenu, CMD_APPEND_TEXT, MF_BYCOMMAND | (AppSettings.clipboard ? MF_ENABLED : MF_GRAYED));
}

void ToggleAppendText()
{
    AppSettings.append = !AppSettings.append;
    CheckMenuItem(popupMenu, CMD_APPEND_TEXT, MF_BYCOMMAND | (AppSettings.append ? MF_CHECKED : MF_UNCHECKED));
}

void OpenOptionsDialog(int tab)
{
    if (HWND openDialog = OpenOptionsWindow()) {
        SetForegroundWindow(openDialog);
        return;
    }
    RunOptionsDialog(SpeechWindowOptionsHost(), tab);
}

void ShowContextMenu()
{
    SendMessageW(speechWindow, WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN);
}

// The control clamps a line scroll, so scrolling by the number of lines reaches either
// end; a larger count overflows inside some rich-edit versions and scrolls nowhere.
void ScrollToEnd()
{
    TextViewScrollLines(TextViewLineCount());
}

void ScrollToTop()
{
    TextViewScrollLines(-TextViewLineCount());
}

} // namespace

bool ConfirmQuit()
{
    if (!AppSettings.confirm)
        return true;
    wchar_t caption[CaptionBufferLength];
    wchar_t question[MessageBufferLength];
    LoadStringW(appInstance, IDS_CONFIRMATION, caption, CaptionBufferLength);
    LoadStringW(appInstance, IDS_CONFIRM_QUIT, question, MessageBufferLength);
    return MessageBoxW(speechWindow, question, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case CMD_QUIT:              QuitProgram(); break;
    case CMD_COPY:              CopySpeechText(); break;
    case CMD_CLIPBOARD_MONITOR: ToggleClipboardMonitor(); break;
    case CMD_APPEND_TEXT:       ToggleAppendText(); break;
    case CMD_PLAY_PAUSE:        PlayPause(); break;
    case CMD_PAUSE:             PauseResume(); break;
    case CMD_STOP:              Stop(); break;
    case CMD_BORDER:            ToggleBorder(); break;
    case CMD_DELETE_ALL:        DeleteAllText(); break;
    case CMD_OPTIONS:           OpenOptionsDialog(SpeechTab); break;
    case CMD_ABOUT:             ShowAboutDialog(speechWindow); break;
    case CMD_PLAY_STOP:         PlayStop(); break;
    case CMD_CONTEXT_MENU:      ShowContextMenu(); break;
    case CMD_SPEAKER_WINDOW:    ShowSpeechWindow(0); break;
    case CMD_NEXT_SENTENCE:     StepSentence(+1); break;
    case CMD_PREVIOUS_SENTENCE: StepSentence(-1); break;
    case CMD_EXPORT:            ExportSpeech(); break;
    case CMD_SCROLL_END:        ScrollToEnd(); break;
    case CMD_SCROLL_HOME:       ScrollToTop(); break;
    case CMD_PASTE:             PasteClipboardText(); break;
    case CMD_HELP:              OpenOptionsDialog(HelpTab); break;
    case CMD_RATE_UP:           ChangeRate(+1); break;
    case CMD_RATE_DOWN:         ChangeRate(-1); break;
    default:                    break;
    }
    if (HIWORD(wParam) == EN_UPDATE && reinterpret_cast<HWND>(lParam) == textView)
        SetFocus(speechWindow);
}
