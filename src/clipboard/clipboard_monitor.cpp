#include "clipboard/clipboard_monitor.h"
#include "clipboard/secret_copy.h"
#include "clipboard/selection_grab.h"
#include "speech/reader.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <utility>
#include <cwchar>

namespace {

// The next window in the clipboard-viewer chain, to which every notification is passed on.
HWND nextViewer = nullptr;

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

// Before the first-run greeting has been seen, a copy only puts a blank in the view.
void TakeFirstRunCopy(Reader& reader)
{
    reader.View().SetText(L" ");
    reader.PrepareText();
}

void PassNotificationOn(WPARAM wParam, LPARAM lParam)
{
    if (nextViewer)
        SendMessageW(nextViewer, WM_DRAWCLIPBOARD, wParam, lParam);
}

// Reads the clipboard's text and hands it to the reader; false when none was taken.
bool TakeClipboardText(Reader& reader, HWND window)
{
    if (!OpenClipboardPatiently(window))
        return false;
    // A marked secret is neither shown nor read aloud; what was there stays as it was.
    if (ClipboardContentIsSecret()) {
        CloseClipboard();
        return false;
    }
    std::wstring text;
    bool taken = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const GlobalLockGuard<const wchar_t> locked(data); locked) {
            // The clipboard's memory may hold no terminator within its size.
            const size_t length = wcsnlen(locked.get(), locked.capacity());
            taken = reader.TakesCopyOf(length);
            if (taken)
                text = TrimTrailingLineBreaks(locked.get(), length);
        }
    }
    CloseClipboard();
    if (taken)
        reader.TakeCopy(std::move(text), AppSettings.appendCopies);
    return taken;
}

// Clipboard text uses CR LF line breaks; the view breaks paragraphs with a lone CR.
std::wstring WithCrLfLineBreaks(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == L'\r' && (i + 1 == text.size() || text[i + 1] != L'\n'))
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

void JoinClipboardChain(HWND window)
{
    nextViewer = SetClipboardViewer(window);
}

void LeaveClipboardChain(HWND window)
{
    ChangeClipboardChain(window, nextViewer);
    nextViewer = nullptr;
}

HWND NextClipboardViewer()
{
    return nextViewer;
}

ClipboardOutcome OnDrawClipboard(Reader& reader, HWND window, WPARAM wParam, LPARAM lParam)
{
    ClipboardOutcome outcome = ClipboardOutcome::Nothing;
    // The copy that reads a selection and the contents put back after it are not the
    // user's copies; the chain still hears of each change once, as the platform sent it.
    if (IsSelectionGrabChange()) {
        PassNotificationOn(wParam, lParam);
        return outcome;
    }
    UINT formatPriority[] = {CF_UNICODETEXT};
    const bool unicodeText = GetPriorityClipboardFormat(formatPriority, 1) == static_cast<int>(CF_UNICODETEXT);
    if (unicodeText && AppSettings.monitorClipboard) {
        if (SettingsStore.firstRun) {
            TakeFirstRunCopy(reader);
            outcome = ClipboardOutcome::FirstRunCopy;
        } else if (TakeClipboardText(reader, window)) {
            outcome = ClipboardOutcome::TextTaken;
        }
    } else {
        if (SettingsStore.firstRun) {
            TakeFirstRunCopy(reader);
            outcome = ClipboardOutcome::FirstRunCopy;
        }
        if (!AppSettings.monitorClipboard) {
            reader.PrepareText();
            reader.DropTrailingLineBreaks();
        }
    }
    PassNotificationOn(wParam, lParam);
    return outcome;
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
        bool copied = false;
        if (const GlobalLockGuard<wchar_t> target(memory); target) {
            memcpy(target.get(), text, bytes);
            copied = true;
        }
        placed = copied && SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!placed)
            GlobalFree(memory);
    }
    CloseClipboard();
    return placed;
}

void CopySpeechText(const Reader& reader, HWND window)
{
    const bool monitoring = AppSettings.monitorClipboard;
    AppSettings.monitorClipboard = false;
    if (reader.Text().Prepared())
        PutClipboardText(window, WithCrLfLineBreaks(reader.Text().Text()).c_str());
    AppSettings.monitorClipboard = monitoring;
}

void PasteClipboardText(HWND window)
{
    ForgetSelectionGrabPutBack();
    const bool monitoring = AppSettings.monitorClipboard;
    AppSettings.monitorClipboard = true;
    SendMessageW(window, WM_DRAWCLIPBOARD, 0, 0);
    AppSettings.monitorClipboard = monitoring;
}

void DeleteAllText(Reader& reader, HWND window)
{
    if (AppSettings.confirmDeleteAll && !AskToConfirm(window, IDS_CONFIRM_DELETE))
        return;
    if (reader.State() != Stopped)
        reader.Controller().Stop();
    reader.View().SetText(L" ");
    reader.PrepareText();
    reader.ReportStatusChange();
}

void TakeTextToReadNow(Reader& reader, const std::wstring& text)
{
    if (!reader.TakesCopyOf(text.size()))
        return;
    // Asked for by the user, the text is read even where a copy would only be shown:
    // with auto play off, or while a reading is paused.
    if (reader.State() == Paused)
        reader.Controller().Stop();
    const bool autoPlay = AppSettings.autoPlay;
    AppSettings.autoPlay = true;
    reader.TakeCopy(TrimTrailingLineBreaks(text.c_str(), text.size()), AppSettings.appendCopies);
    AppSettings.autoPlay = autoPlay;
}
