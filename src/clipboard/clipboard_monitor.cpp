#include "clipboard/clipboard_monitor.h"
#include "app/app_state.h"
#include "app/tray_icon.h"
#include "speech/speech_controller.h"
#include "speech/text_prep.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "res/resource.h"
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
    return 0;
}

void TakeFirstRunPath()
{
    TextViewSetText(L" ");
    PrepareText();
    if (HANDLE thread = CreateThread(nullptr, 0, FirstRunAboutThread, nullptr, 0, nullptr))
        CloseHandle(thread);
}

void PassNotificationOn(WPARAM wParam, LPARAM lParam)
{
    if (nextViewer)
        SendMessageW(nextViewer, WM_DRAWCLIPBOARD, wParam, lParam);
}

// Reads the clipboard's text into the TextView; false when nothing was taken.
bool TakeClipboardText()
{
    if (!OpenClipboardPatiently(speechWindow))
        return false;
    bool taken = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            // The clipboard's memory may hold no terminator within its size.
            const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
            const std::wstring taken_text = TrimTrailingLineBreaks(text, wcsnlen(text, capacity));
            if (AppSettings.append)
                AppendText(taken_text.c_str());
            else
                TextViewSetText(taken_text.c_str());
            AppendText(L" ");
            GlobalUnlock(data);
            taken = true;
        }
    }
    CloseClipboard();
    return taken;
}

void StartNewTextState()
{
    if (speechState == Paused) {
        // Nothing is queued after the purge; its end-of-input event will stop us.
        if (voiceEngine)
            voiceEngine->Resume();
    } else if (AppSettings.autoplay || speechState == Playing) {
        speechState = PendingPlay;
    }
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

void AppendText(const wchar_t* text)
{
    const int n = TextViewWindowTextLength();
    if ((n == 1 || n == 2) && IsPlaceholder(TextViewGetText()))
        TextViewSetText(L"");
    TextViewSelect(n, n);
    TextViewReplaceSelection(text);
}

void OnDrawClipboard(WPARAM wParam, LPARAM lParam)
{
    UINT formatPriority[] = {CF_UNICODETEXT};
    const bool unicodeText = GetPriorityClipboardFormat(formatPriority, 1) == static_cast<int>(CF_UNICODETEXT);
    if (unicodeText && AppSettings.clipboard) {
        if (firstRun) {
            TakeFirstRunPath();
        } else if (TakeClipboardText()) {
            StartNewTextState();
            PurgeVoice();
            PrepareText();
            TextViewSelect(0, 0);
            if (speechState == Playing || speechState == PendingPlay)
                Play();
            if (AppSettings.append && voiceEngine)
                voiceEngine->Skip(L"Sentence", sentenceCount, nullptr);
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
        PutClipboardText(speechWindow, speechText);
    AppSettings.clipboard = monitoring;
}

void PasteClipboardText()
{
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
