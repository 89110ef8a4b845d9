#include "app/tray_icon.h"
#include "app/popup_menu.h"
#include "app/speech_window.h"
#include "platform/ui_text.h"
#include "platform/log.h"
#include "res/resource.h"
#include <cstdio>
#include <cwchar>

namespace {

UINT StatusNoteMs()
{
    wchar_t text[16] = L"";
    const DWORD length = GetEnvironmentVariableW(L"CLIPVOCE_STATUS_NOTE_MS", text, 16);
    const long ms = length > 0 && length < 16 ? wcstol(text, nullptr, 10) : 0;
    return ms > 0 ? static_cast<UINT>(ms) : STATUS_NOTE_MS;
}

// The caption for the reading state, with the language being read after the state word
// when each language has its voice ("playing DE"), and the given line or, for -1, the
// selection's.
std::wstring StateCaption(const SpeechWindowState& state, const std::wstring& stateWord, int line)
{
    const TextView& view = state.reader.View();
    const int shownLine = line >= 0 ? line : view.SelectionLine();
    const LineTally lines = view.CountedLines();
    std::wstring shownState = stateWord;
    if (const LanguageId language = state.reader.SpeakingLanguage(); language != NoLanguage)
        shownState += L" " + LanguageCode(language);
    return FormatCaption(LoadText(IDS_SPEECH_WINDOW).c_str(), shownState.c_str(), shownLine + 1, lines.lines,
                         !lines.complete);
}

} // namespace

void InitTrayIcon(TrayIcon& icon, HWND window)
{
    NOTIFYICONDATAW& record = icon.record;
    record = NOTIFYICONDATAW{};
    record.cbSize = NOTIFYICONDATAW_V3_SIZE;
    record.hWnd = window;
    record.uID = TRAY_ICON_ID;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    record.uCallbackMessage = WM_TRAYICON;
    icon.image.reset(static_cast<HICON>(LoadImageW(ProgramModule(), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    if (!icon.image)
        LogFailure(L"LoadImageW of the tray icon", GetLastError());
    record.hIcon = icon.image ? icon.image.get() : LoadIconW(ProgramModule(), MAKEINTRESOURCEW(IDI_PROGRAM));
    record.uTimeout = 3;
    record.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
    icon.added = false;
}

void AddTrayIcon(TrayIcon& icon)
{
    // An add is refused when the shell holds the icon already; a modify then tells.
    icon.added = Shell_NotifyIconW(NIM_ADD, &icon.record) || Shell_NotifyIconW(NIM_MODIFY, &icon.record);
}

void DeleteTrayIcon(TrayIcon& icon)
{
    if (icon.added)
        Shell_NotifyIconW(NIM_DELETE, &icon.record);
    icon.added = false;
}

UINT StateWordId(SpeechState state)
{
    switch (state) {
    case Playing:
    case PendingPlay:
        return IDS_PLAYING;
    case Paused:
        return IDS_PAUSED;
    default:
        return IDS_STOPPED;
    }
}

std::wstring FormatCaption(const wchar_t* title, const wchar_t* stateWord, int line, int lineCount, bool counting)
{
    wchar_t caption[128];
    swprintf(caption, 128, L"%ls - %ls   [ %d / %d%ls ]", title, stateWord, line, lineCount,
             counting ? L"\x2026" : L"");
    return caption;
}

void RefreshStatusLine(SpeechWindowState& state, int line)
{
    const SpeechState speech = state.reader.State();
    if (state.popupMenu && state.menuShowsState != speech) {
        ShowStateInMenu(state.popupMenu, speech);
        state.menuShowsState = speech;
    }
    const std::wstring stateWord = LoadText(StateWordId(speech));
    const std::wstring caption = StateCaption(state, stateWord, line);
    TrayIcon& icon = state.trayIcon;
    // A note gives way to a change of what the line would say, not to a refresh that
    // says the same again (as the voice's late events bring).
    if (icon.noteShown) {
        if (caption == icon.captionUnderNote)
            return;
        KillTimer(state.window, IDT_STATUS_NOTE);
        icon.noteShown = false;
    }
    SetWindowTextW(state.window, caption.c_str());

    if (!icon.record.hWnd)
        return;   // not set up yet
    wchar_t tip[ARRAYSIZE(icon.record.szTip)];
    swprintf(tip, ARRAYSIZE(tip), L"%ls - %ls", LoadText(IDS_APP_NAME).c_str(), stateWord.c_str());
    // Every spoken word refreshes the line; the shell need only hear of a new tip.
    if (icon.added && wcscmp(tip, icon.record.szTip) == 0)
        return;
    lstrcpynW(icon.record.szTip, tip, ARRAYSIZE(icon.record.szTip));
    if (!icon.added || !Shell_NotifyIconW(NIM_MODIFY, &icon.record))
        AddTrayIcon(icon);
}

void ShowStatusNote(SpeechWindowState& state, const std::wstring& note, const std::wstring& balloon)
{
    SetWindowTextW(state.window, (LoadText(IDS_SPEECH_WINDOW) + L" - " + note).c_str());
    // A note left standing would tell of something long past as if it were the state now.
    TrayIcon& icon = state.trayIcon;
    icon.noteShown = SetTimer(state.window, IDT_STATUS_NOTE, StatusNoteMs(), nullptr) != 0;
    if (icon.noteShown)
        icon.captionUnderNote = StateCaption(state, LoadText(StateWordId(state.reader.State())), -1);
    else
        LogFailure(L"SetTimer for a status note", GetLastError());
    NOTIFYICONDATAW& record = state.trayIcon.record;
    if (!record.hWnd)
        return;
    const std::wstring appName = LoadText(IDS_APP_NAME);
    lstrcpynW(record.szTip, (appName + L" - " + note).c_str(), ARRAYSIZE(record.szTip));
    lstrcpynW(record.szInfo, (balloon.empty() ? note : balloon).c_str(), ARRAYSIZE(record.szInfo));
    lstrcpynW(record.szInfoTitle, appName.c_str(), ARRAYSIZE(record.szInfoTitle));
    // Without a notification area the caption alone carries the note.
    if (!state.trayIcon.added || !Shell_NotifyIconW(NIM_MODIFY, &record))
        AddTrayIcon(state.trayIcon);
    // The balloon is shown once; later tips must not bring it back.
    record.szInfo[0] = L'\0';
    record.szInfoTitle[0] = L'\0';
}

void EndStatusNote(SpeechWindowState& state)
{
    if (state.trayIcon.noteShown)
        state.trayIcon.captionUnderNote.clear();
    RefreshStatusLine(state);
}

void OnTrayNotify(SpeechWindowState& state, WPARAM id, LPARAM mouseMessage)
{
    if (id != TRAY_ICON_ID)
        return;
    switch (mouseMessage) {
    case WM_RBUTTONDOWN:
        ShowPopupMenu(state);
        break;
    case WM_LBUTTONDOWN:
        BringSpeechWindowForward(state);
        break;
    case WM_LBUTTONDBLCLK:
        SendMessageW(state.window, WM_COMMAND, CMD_OPTIONS, 0);
        break;
    default:
        break;
    }
}
