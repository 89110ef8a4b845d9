#include "clipboard/clipboard_monitor.h"
#include "clipboard/secret_copy.h"
#include "clipboard/selection_grab.h"
#include "app/app_state.h"
#include "app/tray_icon.h"
#include "speech/speech_controller.h"
#include "speech/text_prep.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <algorithm>
#include <atomic>
#include <cwchar>

HWND nextViewer = nullptr;

namespace {

bool IsPlaceholder(const std::wstring& text)
{
    for (wchar_t c : text)
        if (c != L' ' && c != L'\r' && c != L'\n')
            return false;
    return true;
}

// Set while the first-run About dialog is being shown, so that further copies in
// that time do not open another one over it.
std::atomic<bool> firstRunAboutShown{false};

// Whoever changed the clipboard (or the platform's bridge to other desktops' clipboards)
// may still hold it open for a moment; one refused open would lose the user's copy.
bool OpenClipboardPatiently(HWND owner)
{
    constexpr int Attempts = 50;
    constexpr DWORD PauseMs = 10;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        if (OpenClipboard(owner))
            return true;
        Sleep(PauseMs);
    }
    return false;
}

DWORD WINAPI FirstRunAboutThread(LPVOID)
{
    // The send returns once the modal About dialog has been closed.
    SendMessageW(speechWindow, WM_COMMAND, CMD_ABOUT, 0);
    firstRun = false;
    firstRunAboutShown = false;
    return 0;
}

void TakeFirstRunPath()
{
    TextViewSetText(L" ");
    PrepareText();
    if (firstRunAboutShown.exchange(true))
        return;
    if (HANDLE thread = CreateThread(nullptr, 0, FirstRunAboutThread, nullptr, 0, nullptr))
        CloseHandle(thread);
    else
        firstRunAboutShown = false;
}

void PassNotificationOn(WPARAM wParam, LPARAM lParam)
{
    if (nextViewer)
        SendMessageW(nextViewer, WM_DRAWCLIPBOARD, wParam, lParam);
}

constexpr int NothingTaken = -1;

// Puts a taken text into the TextView, replacing its text or, in append mode, after
// it, with one blank at the end. Returns where the taken text begins in the view.
int PlaceTakenText(const std::wstring& text)
{
    int taken = 0;
    if (AppSettings.append)
        taken = AppendText(text.c_str());
    else
        TextViewSetText(text.c_str());
    // A short text can be replaced by its trailing blank; it then starts at 0.
    return std::min(taken, AppendText(L" "));
}

// Reads the clipboard's text into the TextView. Returns where the taken text begins
// in it (0 when it replaced the text), or NothingTaken.
int TakeClipboardText()
{
    if (!OpenClipboardPatiently(speechWindow))
        return NothingTaken;
    // A marked secret is neither shown nor read aloud; what was there stays as it was.
    if (ClipboardContentIsSecret()) {
        CloseClipboard();
        return NothingTaken;
    }
    int taken = NothingTaken;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            // The clipboard's memory may hold no terminator within its size.
            const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
            taken = PlaceTakenText(TrimTrailingLineBreaks(text, wcsnlen(text, capacity)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return taken;
}

void ReadTakenText(int newTextStart)
{
    const bool readIt = BeginNewText();
    PrepareAppendedText(newTextStart);
    TextViewSelect(0, 0);
    // Appended text is read from its own first word on, wherever the old
    // text's last sentence ended.
    if (readIt)
        ReadNewText(newTextStart);
}

// Clipboard text uses CR LF line breaks; the view breaks paragraphs with a lone CR.
std::wstring WithCrLfLineBreaks(const wchar_t* text)
{
    std::wstring out;
    out.reserve(wcslen(text));
    for (const wchar_t* p = text; *p; ++p) {
        out += *p;
        if (*p == L'\r' && p[1] != L'\n')
            out += L'\n';
    }
    return out;
}

} // namespace

std::wstring TrimTrailingLineBreaks(const wchar_t* text, size_t length)
{
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n'))
        --length;
    return std::wstring(text, length);
}

void JoinClipboardChain()
{
    nextViewer = SetClipboardViewer(speechWindow);
}

void LeaveClipboardChain()
{
    ChangeClipboardChain(speechWindow, nextViewer);
}

int AppendText(const wchar_t* text)
{
    const int n = TextViewWindowTextLength();
    if ((n == 1 || n == 2) && IsPlaceholder(TextViewGetText()))
        TextViewSetText(L"");
    // The window text length counts a paragraph break twice; the control clamps the
    // caret to the real end, which is where the text goes.
    TextViewSelect(n, n);
    const int at = TextViewSelectionEnd();
    TextViewReplaceSelection(text);
    return at;
}

void OnDrawClipboard(WPARAM wParam, LPARAM lParam)
{
    // The copy that reads a selection and the contents put back after it are not the
    // user's copies; the chain still hears of each change once, as the platform sent it.
    if (IsSelectionGrabChange()) {
        PassNotificationOn(wParam, lParam);
        return;
    }
    UINT formatPriority[] = {CF_UNICODETEXT};
    const bool unicodeText = GetPriorityClipboardFormat(formatPriority, 1) == static_cast<int>(CF_UNICODETEXT);
    if (unicodeText && AppSettings.clipboard) {
        if (firstRun) {
            TakeFirstRunPath();
        } else if (const int newTextStart = TakeClipboardText(); newTextStart != NothingTaken) {
            ReadTakenText(newTextStart);
        }
    } else {
        if (firstRun)
            TakeFirstRunPath();
        if (!AppSettings.clipboard) {
            PrepareText();
            speechText[TrimTrailingLineBreaks(speechText, wcslen(speechText)).size()] = L'\0';
            TextViewSetText(speechText);
        }
    }
    PassNotificationOn(wParam, lParam);
}

void OnChangeClipboardChain(HWND leaving, HWND after)
{
    if (leaving == nextViewer)
        nextViewer = after;
    else if (nextViewer)
        SendMessageW(nextViewer, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(leaving), reinterpret_cast<LPARAM>(after));
}

bool PutClipboardText(HWND owner, const wchar_t* text)
{
    if (!OpenClipboardPatiently(owner))
        return false;
    // Emptying first: formats left from the previous copy (plain text, HTML) would
    // otherwise still hold the old content for programs that prefer them.
    EmptyClipboard();
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    bool placed = false;
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            memcpy(target, text, bytes);
            GlobalUnlock(memory);
            placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!placed)
            GlobalFree(memory);
    }
    CloseClipboard();
    return placed;
}

void CopySpeechText()
{
    const bool monitoring = AppSettings.clipboard;
    AppSettings.clipboard = false;
    if (speechText)
        PutClipboardText(speechWindow, WithCrLfLineBreaks(speechText).c_str());
    AppSettings.clipboard = monitoring;
}

void PasteClipboardText()
{
    ForgetSelectionGrabPutBack();
    const bool monitoring = AppSettings.clipboard;
    AppSettings.clipboard = true;
    SendMessageW(speechWindow, WM_DRAWCLIPBOARD, 0, 0);
    AppSettings.clipboard = monitoring;
}

void DeleteAllText()
{
    if (AppSettings.delete_) {
        wchar_t caption[CaptionBufferLength];
        wchar_t question[MessageBufferLength];
        LoadStringW(appInstance, IDS_CONFIRMATION, caption, CaptionBufferLength);
        LoadStringW(appInstance, IDS_CONFIRM_DELETE, question, MessageBufferLength);
        if (MessageBoxW(speechWindow, question, caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    }
    if (speechState != Stopped)
        Stop();
    TextViewSetText(L" ");
    PrepareText();
    RefreshStatusLine();
}

void TakeTextToReadNow(const std::wstring& text)
{
    // Asked for by the user, the text is read even where a copy would only be shown:
    // with auto play off, or while a reading is paused.
    if (speechState == Paused)
        Stop();
    const int newTextStart = PlaceTakenText(TrimTrailingLineBreaks(text.c_str(), text.size()));
    const bool autoplay = AppSettings.autoplay;
    AppSettings.autoplay = true;
    ReadTakenText(newTextStart);
    AppSettings.autoplay = autoplay;
}
