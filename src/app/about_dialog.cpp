#include "app/about_dialog.h"
#include "app/about_layout.h"
#include "app/restart.h"
#include "platform/dpi.h"
#include "platform/dialog_record.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include <commctrl.h>
#include <shellapi.h>
#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>

namespace {

const wchar_t DonationPage[] = L"https://clipvoce.example/donate";
const wchar_t FirstRunSuffix[] = L" - first run";
const wchar_t VersionLabel[] = L"version:";

struct Picture {
    int id;
    int x, y;
    int anchorId;   // 0: the place is from the client's corner; else from this control's
};
// Bitmaps painted unscaled, at these pixels at 96 dpi; at another DPI the places move
// with the controls, which grow with the font.
constexpr Picture Pictures[] = {
    {IDB_MAKER_LOGO, 1, 1, 0},
    {IDB_MAKER_LETTERING, 125, 10, 0},
    {IDB_PROGRAM_LOGO, 170, 60, 0},
    // Beside the social page's link, which moves down when texts above it need more room.
    {IDB_SOCIAL, -32, 1, IDC_ABOUT_SOCIAL},
};
static_assert(std::size(Pictures) == std::tuple_size_v<decltype(AboutDialogState::pictures)>);

constexpr SIZE DonateImageSize{100, 30};
constexpr POINT VersionLabelAt{168, 150};
constexpr POINT VersionTextAt{230, 150};
constexpr COLORREF White = RGB(255, 255, 255);

void OpenWithShell(const wchar_t* target)
{
    ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOW);
}

HGDIOBJ LoadBitmapResource(int id, SIZE size = SIZE{0, 0})
{
    return LoadImageW(ProgramModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, size.cx, size.cy, 0);
}

std::wstring DownloadStatus(int percent)
{
    const std::wstring format = LoadText(IDS_UPDATE_DOWNLOADING);
    // Room for the number that replaces the placeholder.
    std::wstring status(format.size() + 16, L'\0');
    const int length = swprintf(status.data(), status.size(), format.c_str(), percent);
    status.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return status;
}

// The update status line is sized for the longest text it shows, and is empty until then.
void FitTexts(HWND dialog)
{
    const HWND status = GetDlgItem(dialog, IDC_ABOUT_UPDATE_STATUS);
    std::wstring longest;
    int longestWidth = -1;
    for (const std::wstring& text : {LoadText(IDS_UPDATE_CHECKING), DownloadStatus(100)}) {
        SetWindowTextW(status, text.c_str());
        if (const int width = TextControlNeeds(status, OneLineWidth).cx; width > longestWidth) {
            longest = text;
            longestWidth = width;
        }
    }
    SetWindowTextW(status, longest.c_str());
    FitAboutTexts(dialog);
    SetWindowTextW(status, L"");
}

void OnInitDialog(HWND dialog, AboutDialogState& state)
{
    std::wstring caption = LoadText(IDS_ABOUT);
    if (SettingsStore.firstRun)
        caption += FirstRunSuffix;
    SetWindowTextW(dialog, caption.c_str());

    state.whiteBrush.reset(CreateSolidBrush(White));
    for (size_t i = 0; i < std::size(Pictures); ++i)
        state.pictures[i].reset(LoadBitmapResource(Pictures[i].id));

    HWND donate = GetDlgItem(dialog, IDC_ABOUT_DONATE);
    state.donateImage.reset(LoadBitmapResource(IDB_DONATE, DonateImageSize));
    SendMessageW(donate, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(state.donateImage.get()));

    FitTexts(dialog);

    // A class-wide change: every static control shows the hand while the dialog is open.
    state.savedStaticCursor = reinterpret_cast<HCURSOR>(GetClassLongPtrW(donate, GCLP_HCURSOR));
    SetClassLongPtrW(donate, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_HAND)));
}

void RestoreStaticCursor(HWND dialog, const AboutDialogState& state)
{
    SetClassLongPtrW(GetDlgItem(dialog, IDC_ABOUT_DONATE), GCLP_HCURSOR,
                     reinterpret_cast<LONG_PTR>(state.savedStaticCursor));
}

void ShowResult(HWND dialog, UINT textId, UINT icon)
{
    // Owned by this dialog, so it is disabled while the box is open and no second
    // check can start from it.
    ShowMessage(dialog, IDS_WARNING, textId, MB_OK | icon);
}

void ShowUnreachable(HWND dialog, const std::wstring& why)
{
    ShowMessage(dialog, IDS_WARNING, FillPattern(LoadText(IDS_UPDATE_UNREACHABLE), why), MB_OK | MB_ICONWARNING);
}

void ShowUpdateStatus(HWND dialog, const std::wstring& text)
{
    SetDlgItemTextW(dialog, IDC_ABOUT_UPDATE_STATUS, text.c_str());
}

void ShowCheckRunning(HWND dialog, bool running)
{
    KillTimer(dialog, IDT_ABOUT_UPDATE_WATCH);
    // Without its watch a check against a silent server would never end in the dialog.
    if (running && !SetTimer(dialog, IDT_ABOUT_UPDATE_WATCH, ABOUT_UPDATE_WATCH_MS, nullptr))
        ShowWarning(dialog, SystemErrorText(GetLastError()));
    HWND cancel = GetDlgItem(dialog, IDC_ABOUT_CANCEL_UPDATE);
    ShowWindow(cancel, running ? SW_SHOW : SW_HIDE);
    HWND check = GetDlgItem(dialog, IDC_ABOUT_CHECK_UPDATES);
    EnableWindow(check, !running);
    // A disabled button keeps no keyboard focus; the dialog would stop answering keys.
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(running ? cancel : check), TRUE);
    if (!running)
        ShowUpdateStatus(dialog, std::wstring());
}

void StopWaitingForCheck(HWND dialog, AboutDialogState& state)
{
    if (state.runningCheck)
        AbandonUpdateJob(*state.runningCheck);
    state.runningCheck.reset();
    ShowCheckRunning(dialog, false);
}

bool IsCurrentCheck(const AboutDialogState& state, LPARAM job)
{
    return state.runningCheck && reinterpret_cast<LPARAM>(state.runningCheck.get()) == job;
}

void OnCheckForUpdates(HWND dialog, AboutDialogState& state)
{
    if (state.runningCheck)
        return;
    state.runningCheck = StartUpdateCheck(dialog);
    if (!state.runningCheck) {
        ShowResult(dialog, IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
        return;
    }
    ShowUpdateStatus(dialog, LoadText(IDS_UPDATE_CHECKING));
    ShowCheckRunning(dialog, true);
}

void OnUpdateProgress(HWND dialog, const AboutDialogState& state, int percent, LPARAM job)
{
    if (IsCurrentCheck(state, job))
        ShowUpdateStatus(dialog, DownloadStatus(percent));
}

void OnUpdateDone(HWND dialog, AboutDialogState& state, UpdateOutcome outcome, LPARAM job)
{
    // A report of a check this dialog gave up on: that job may be gone already.
    if (!IsCurrentCheck(state, job))
        return;
    const std::shared_ptr<UpdateJob> finished = std::move(state.runningCheck);
    ShowCheckRunning(dialog, false);
    switch (outcome) {
    case UpdateOutcome::NoUpdate:
        ShowResult(dialog, IDS_NO_UPDATE, MB_ICONINFORMATION);
        break;
    case UpdateOutcome::DownloadFailed:
        ShowResult(dialog, IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
        break;
    case UpdateOutcome::Verified:
        if (!InstallDownload(finished->download, finished->program)) {
            ShowResult(dialog, IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
            break;
        }
        ShowResult(dialog, IDS_UPDATED, MB_ICONINFORMATION);
        EndDialog(dialog, IDC_ABOUT_CHECK_UPDATES);
        RestartSelf(GetWindow(dialog, GW_OWNER));
        break;
    case UpdateOutcome::Unreachable:
        ShowUnreachable(dialog, finished->failure);
        break;
    case UpdateOutcome::Cancelled:
        break;
    }
}

// The platform's own time limits do not hold everywhere (a server that accepts and
// never answers can stall the secure handshake), so the dialog keeps its own watch.
void OnUpdateWatch(HWND dialog, AboutDialogState& state)
{
    if (!state.runningCheck || !IsUpdateJobOverdue(*state.runningCheck))
        return;
    const UpdatePhase phase = state.runningCheck->phase;
    StopWaitingForCheck(dialog, state);
    if (phase == UpdatePhase::Checking)
        ShowUnreachable(dialog, LoadText(IDS_SERVER_SILENT));
    else
        ShowResult(dialog, IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
}

// A place given for 96 dpi, at the DPI of the window painted.
int Scaled(HDC dc, int pixelsAt96Dpi)
{
    return FromBaseDpi(pixelsAt96Dpi, WindowDpi(WindowFromDC(dc)));
}

POINT PictureAt(HWND dialog, HDC dc, const Picture& picture)
{
    POINT at{Scaled(dc, picture.x), Scaled(dc, picture.y)};
    if (picture.anchorId) {
        RECT anchor{};
        GetWindowRect(GetDlgItem(dialog, picture.anchorId), &anchor);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&anchor), 2);
        at.x += anchor.left;
        at.y += anchor.top;
    }
    return at;
}

void PaintPictures(HWND dialog, HDC dc, const AboutDialogState& state)
{
    MemoryDc source(CreateCompatibleDC(dc));
    if (!source)
        return;
    for (size_t i = 0; i < std::size(Pictures); ++i) {
        // A missing bitmap simply paints nothing.
        const HGDIOBJ bitmap = state.pictures[i].get();
        BITMAP size{};
        if (!bitmap || !GetObjectW(bitmap, sizeof size, &size))
            continue;
        const SelectedObject selected(source.get(), bitmap);
        const POINT at = PictureAt(dialog, dc, Pictures[i]);
        BitBlt(dc, at.x, at.y, size.bmWidth, size.bmHeight, source.get(), 0, 0, SRCCOPY);
    }
}

void PaintVersion(HDC dc)
{
    SetBkColor(dc, White);
    const int labelLength = static_cast<int>(std::size(VersionLabel) - 1);
    const int labelX = Scaled(dc, VersionLabelAt.x);
    TextOutW(dc, labelX, Scaled(dc, VersionLabelAt.y), VersionLabel, labelLength);
    // A wider font must not have the number's background cover the label's end.
    SIZE label{};
    GetTextExtentPoint32W(dc, VersionLabel, labelLength, &label);
    const int textX = std::max(Scaled(dc, VersionTextAt.x), labelX + static_cast<int>(label.cx) + Scaled(dc, 2));
    const std::wstring& version = ProgramInfo.versionText;
    TextOutW(dc, textX, Scaled(dc, VersionTextAt.y), version.c_str(), static_cast<int>(version.size()));
}

void OnPaint(HWND dialog, const AboutDialogState& state)
{
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(dialog, &paint);
    if (!dc)
        return;
    RECT client;
    GetClientRect(dialog, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    PaintPictures(dialog, dc, state);
    PaintVersion(dc);
    EndPaint(dialog, &paint);
}

INT_PTR OnControlColour(const AboutDialogState& state, HDC dc, HWND control)
{
    const int id = GetDlgCtrlID(control);
    const auto brush = reinterpret_cast<INT_PTR>(state.whiteBrush.get());
    if (id == IDC_ABOUT_MAIL || id == IDC_ABOUT_WEB || id == IDC_ABOUT_SOCIAL) {
        SetBkMode(dc, TRANSPARENT);
        return brush;
    }
    if (id == IDC_ABOUT_TEXT || id == IDC_ABOUT_UPDATE_STATUS)
        return brush;
    return FALSE;
}

INT_PTR OnNotify(const NMHDR* header)
{
    const bool link = header->idFrom == IDC_ABOUT_MAIL || header->idFrom == IDC_ABOUT_WEB ||
                      header->idFrom == IDC_ABOUT_SOCIAL;
    if (link && (header->code == NM_CLICK || header->code == NM_RETURN)) {
        // Each link control holds exactly one link.
        LITEM item{};
        item.mask = LIF_ITEMINDEX | LIF_URL;
        item.iLink = 0;
        if (SendMessageW(header->hwndFrom, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)))
            OpenWithShell(item.szUrl);
        return TRUE;
    }
    return FALSE;
}

void OnCommand(HWND dialog, AboutDialogState& state, int id, int notification)
{
    if (id == IDCANCEL) {
        StopWaitingForCheck(dialog, state);
        RestoreStaticCursor(dialog, state);
        EndDialog(dialog, IDCANCEL);
    } else if (id == IDC_ABOUT_DONATE && notification == STN_CLICKED) {
        // A double click also reports itself as a click first; one page is enough.
        OpenWithShell(DonationPage);
    } else if (id == IDC_ABOUT_CHECK_UPDATES) {
        OnCheckForUpdates(dialog, state);
    } else if (id == IDC_ABOUT_CANCEL_UPDATE) {
        StopWaitingForCheck(dialog, state);
    }
}

// The update check's own messages: its progress, its end and the watch over it; and the
// end of the dialog, which abandons a check still running.
INT_PTR OnUpdateCheckMessage(HWND dialog, AboutDialogState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_UPDATE_PROGRESS) {
        OnUpdateProgress(dialog, state, static_cast<int>(wParam), lParam);
    } else if (message == WM_UPDATE_DONE) {
        OnUpdateDone(dialog, state, static_cast<UpdateOutcome>(wParam), lParam);
    } else if (message == WM_TIMER && wParam == IDT_ABOUT_UPDATE_WATCH) {
        OnUpdateWatch(dialog, state);
    } else if (message == WM_DESTROY) {
        if (state.runningCheck)
            AbandonUpdateJob(*state.runningCheck);
        state.runningCheck.reset();
        return FALSE;
    }
    return TRUE;
}

} // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Messages that come before WM_INITDIALOG find no state yet.
    AboutDialogState* state = DialogRecord<AboutDialogState>(dialog, message, lParam);
    if (!state)
        return message == WM_INITDIALOG;
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, *state);
        return TRUE;
    case WM_PAINT:
        OnPaint(dialog, *state);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnControlColour(*state, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        OnCommand(dialog, *state, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_UPDATE_PROGRESS:
    case WM_UPDATE_DONE:
    case WM_TIMER:
    case WM_DESTROY:
        return OnUpdateCheckMessage(dialog, *state, message, wParam, lParam);
    default:
        return FALSE;
    }
}

INT_PTR ShowAboutDialog(HWND owner)
{
    // The link controls' class is registered only on request, not by the plain
    // common-controls initialisation of start-up; without it the dialog would not open.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    AboutDialogState state;
    return RunModalDialog(IDD_ABOUT, owner, AboutDialogProc, &state);
}
