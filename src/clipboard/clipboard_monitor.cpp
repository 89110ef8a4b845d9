#include "clipboard/clipboard_monitor.h"
#include "clipboard/clipboard_fetch.h"
#include "clipboard/secret_copy.h"
#include "clipboard/selection_grab.h"
#include "reading/reader.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <algorithm>
#include <cwchar>

namespace {

// The program that copied may still hold the clipboard open (and clipboard managers
// hold it for a moment after each change); the text may be rendered on request.
constexpr FetchLimits CopyLimits{3000, 2000, 6000};

// Whether a clipboard change is a copy to take: as the settings say, or in any case when
// the user asks for the clipboard's text.
enum class CopyTaking { AsMonitored, EvenUnmonitored };

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
    reader.ShowBlank();
}

void PassNotificationOn(const ClipboardWatch& watch, WPARAM wParam, LPARAM lParam)
{
    if (watch.nextViewer)
        SendMessageW(watch.nextViewer, WM_DRAWCLIPBOARD, wParam, lParam);
}

// Hands a copy's text to the reader, which shows, prepares and reads it; false when it
// is too large to be taken (the reader says so). readAnyway: read even where a copy
// would only be shown, with auto play off.
bool TakeText(Reader& reader, std::wstring text, bool readAnyway = false)
{
    if (!reader.TakesCopyOf(text.size()))
        return false;
    // The text goes on as it is, without its trailing line breaks: a long one is not
    // copied once more for that.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    reader.TakeCopy(std::move(text), AppSettings.appendCopies, readAnyway);
    return true;
}

bool ImageOnClipboard()
{
    const std::vector<UINT> formats = ImageFormats();
    return std::any_of(formats.begin(), formats.end(), [](UINT format) { return IsClipboardFormatAvailable(format); });
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

ClipboardOutcome OnClipboardChange(ClipboardWatch& watch, Reader& reader, HWND window, WPARAM wParam, LPARAM lParam,
                                   CopyTaking taking)
{
    ClipboardOutcome outcome = ClipboardOutcome::Nothing;
    // The copy that reads a selection and the contents put back after it are not the
    // user's copies; the chain still hears of each change once, as the platform sent it.
    if (ClaimedBySelectionGrab(watch.selectionGrab)) {
        PassNotificationOn(watch, wParam, lParam);
        return outcome;
    }
    const bool monitoring =
        taking == CopyTaking::EvenUnmonitored || (AppSettings.monitorClipboard && !watch.puttingOwnText);
    UINT formatPriority[] = {CF_UNICODETEXT};
    const bool unicodeText = GetPriorityClipboardFormat(formatPriority, 1) == static_cast<int>(CF_UNICODETEXT);
    const bool image = !unicodeText && monitoring && AppSettings.readImages && ImageOnClipboard();
    if ((unicodeText || image) && monitoring) {
        if (SettingsStore.firstRun) {
            TakeFirstRunCopy(reader);
            outcome = ClipboardOutcome::FirstRunCopy;
        } else {
            // Whatever the copy held before is left to the fetch's own result; a newer
            // copy's is the one taken.
            watch.pendingRead = StartClipboardFetch(
                window, AppSettings.readImages ? FetchScope::CopyUnlessSecret : FetchScope::TextUnlessSecret, CopyLimits);
        }
    } else {
        if (SettingsStore.firstRun) {
            TakeFirstRunCopy(reader);
            outcome = ClipboardOutcome::FirstRunCopy;
        }
        if (!monitoring) {
            reader.PrepareText(true);
        }
    }
    PassNotificationOn(watch, wParam, lParam);
    return outcome;
}

} // namespace

void JoinClipboardChain(ClipboardWatch& watch, HWND window)
{
    watch.nextViewer = SetClipboardViewer(window);
}

void LeaveClipboardChain(ClipboardWatch& watch, HWND window)
{
    ChangeClipboardChain(window, watch.nextViewer);
    watch.nextViewer = nullptr;
    watch.pendingRead = 0;
}

ClipboardOutcome OnDrawClipboard(ClipboardWatch& watch, Reader& reader, HWND window, WPARAM wParam, LPARAM lParam)
{
    return OnClipboardChange(watch, reader, window, wParam, lParam, CopyTaking::AsMonitored);
}

ClipboardOutcome OnClipboardFetched(ClipboardWatch& watch, Reader& reader, WPARAM ticket, LPARAM result)
{
    std::unique_ptr<ClipboardFetch> fetch = TakeFetchResult(result);
    if (OnSelectionGrabFetched(watch.selectionGrab, ticket, fetch) || ticket != watch.pendingRead)
        return ClipboardOutcome::Nothing;
    watch.pendingRead = 0;
    // A clipboard held too long is passed over, and a marked secret is neither shown nor
    // read aloud; what was there stays as it was.
    if (fetch->outcome != FetchOutcome::Fetched || IsSecretCopy(fetch->content))
        return ClipboardOutcome::Nothing;
    std::optional<std::wstring> text = fetch->content.TakeText();
    if (!text) {
        for (const UINT format : ImageFormats()) {
            const std::vector<BYTE>* bytes = fetch->content.BytesOf(format);
            if (bytes && !bytes->empty()) {
                watch.copiedImage = {format, *bytes};
                return ClipboardOutcome::ImageCopied;
            }
        }
        const std::vector<UINT>& late = fetch->content.NotKept();
        const bool textLate = std::find(late.begin(), late.end(), CF_UNICODETEXT) != late.end();
        return textLate ? ClipboardOutcome::TextNotDelivered : ClipboardOutcome::Nothing;
    }
    return TakeText(reader, std::move(*text)) ? ClipboardOutcome::TextTaken : ClipboardOutcome::Nothing;
}

bool TakeImageText(Reader& reader, std::wstring text)
{
    return TakeText(reader, std::move(text));
}

bool ClipboardReadPending(const ClipboardWatch& watch)
{
    return watch.pendingRead != 0;
}

void OnChangeClipboardChain(ClipboardWatch& watch, HWND leaving, HWND after)
{
    if (leaving == watch.nextViewer)
        watch.nextViewer = after;
    else if (watch.nextViewer)
        SendMessageW(watch.nextViewer, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(leaving), reinterpret_cast<LPARAM>(after));
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

void CopySpeechText(ClipboardWatch& watch, const Reader& reader, HWND window)
{
    if (!reader.Text().Prepared())
        return;
    // The platform tells the window of the change before the put returns.
    watch.puttingOwnText = true;
    PutClipboardText(window, WithCrLfLineBreaks(reader.Text().Text()).c_str());
    watch.puttingOwnText = false;
}

ClipboardOutcome PasteClipboardText(ClipboardWatch& watch, Reader& reader, HWND window)
{
    // A clipboard that could not be given back after Read selection: what it held comes
    // into the view, from where C copies it again.
    if (std::wstring earlier = TakeUnreturnedText(watch.selectionGrab); !earlier.empty()) {
        TakeText(reader, std::move(earlier));
        return ClipboardOutcome::Nothing;
    }
    ForgetSelectionGrabPutBack(watch.selectionGrab);
    return OnClipboardChange(watch, reader, window, 0, 0, CopyTaking::EvenUnmonitored);
}

void DeleteAllText(Reader& reader, HWND window)
{
    if (AppSettings.confirmDeleteAll && !AskToConfirm(window, IDS_CONFIRM_DELETE))
        return;
    if (reader.State() != Stopped)
        reader.Do(ReadingCommand::Stop);
    reader.ShowBlank();
    reader.ReportStatusChange();
}

void TakeTextToReadNow(Reader& reader, const std::wstring& text)
{
    if (!reader.TakesCopyOf(text.size()))
        return;
    // Asked for by the user, the text is read even where a copy would only be shown:
    // with auto play off, or while a reading is paused.
    if (reader.State() == Paused)
        reader.Do(ReadingCommand::Stop);
    TakeText(reader, text, true);
}
