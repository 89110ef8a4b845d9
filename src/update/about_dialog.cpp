#include "update/about_dialog.h"
#include "update/update_check.h"
#include "app/app_state.h"
#include "res/resource.h"
#include "settings/program_info.h"
#include "app/restart.h"
#include "settings/settings_file.h"
#include <commctrl.h>
#include <shellapi.h>
#include <memory>
#include <string>

namespace {

const wchar_t DonationPage[] = L"https://clipvoce.example/donate";

struct Picture {
    int id;
    int x, y;
};
// Bitmaps painted in client pixels, unscaled.
constexpr Picture Pictures[] = {
    {IDB_MAKER_LOGO, 1, 1},
    {IDB_MAKER_LETTERING, 125, 10},
    {IDB_PROGRAM_LOGO, 170, 60},
    {IDB_SOCIAL, 15, 245},
};

HCURSOR savedStaticCursor = nullptr;
HBRUSH whiteBrush = nullptr;
// The update check this dialog waits for, if any.
std::shared_ptr<UpdateJob> runningCheck;

void OpenWithShell(const wchar_t* target)
{
    ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOW);
}

void OnInitDialog(HWND dialog)
{
    wchar_t caption[MessageBufferLength];
    LoadStringW(appInstance, IDS_ABOUT, caption, MessageBufferLength);
    if (firstRun)
        wcsncat(caption, L" - first run", MessageBufferLength - wcslen(caption) - 1);
    SetWindowTextW(dialog, caption);

    HWND donate = GetDlgItem(dialog, IDC_ABOUT_DONATE);
    auto image = static_cast<HBITMAP>(LoadImageW(appInstance, MAKEINTRESOURCEW(IDB_DONATE), IMAGE_BITMAP, 100, 30, 0));
    SendMessageW(donate, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));

    // A class-wide change: every static control shows the hand while the dialog is open.
    savedStaticCursor = reinterpret_cast<HCURSOR>(GetClassLongPtrW(donate, GCLP_HCURSOR));
    SetClassLongPtrW(donate, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_HAND)));
}

void RestoreStaticCursor(HWND dialog)
{
    SetClassLongPtrW(GetDlgItem(dialog, IDC_ABOUT_DONATE), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(savedStaticCursor));
}

void ShowResult(HWND dialog, UINT textId, UINT icon)
{
    wchar_t caption[CaptionBufferLength];
    wchar_t text[MessageBufferLength];
    LoadStringW(appInstance, IDS_WARNING, caption, CaptionBufferLength);
    LoadStringW(appInstance, textId, text, MessageBufferLength);
    // Owned by this dialog, so it is disabled while the box is open and no second
    // check can start from it.
    MessageBoxW(dialog, text, caption, MB_OK | icon);
}

void ShowUpdateStatus(HWND dialog, const wchar_t* text)
{
    SetDlgItemTextW(dialog, IDC_ABOUT_UPDATE_STATUS, text);
}

void ShowCheckRunning(HWND dialog, bool running)
{
    KillTimer(dialog, IDT_ABOUT_UPDATE_WATCH);
    if (running)
        SetTimer(dialog, IDT_ABOUT_UPDATE_WATCH, ABOUT_UPDATE_WATCH_MS, nullptr);
    HWND cancel = GetDlgItem(dialog, IDC_ABOUT_CANCEL_UPDATE);
    ShowWindow(cancel, running ? SW_SHOW : SW_HIDE);
    HWND check = GetDlgItem(dialog, IDC_ABOUT_CHECK_UPDATES);
    EnableWindow(check, !running);
    // A disabled button keeps no keyboard focus; the dialog would stop answering keys.
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(running ? cancel : check), TRUE);
    if (!running)
        ShowUpdateStatus(dialog, L"");
}

void StopWaitingForCheck(HWND dialog)
{
    if (runningCheck)
        AbandonUpdateJob(*runningCheck);
    runningCheck.reset();
    ShowCheckRunning(dialog, false);
}

void OnCheckForUpdates(HWND dialog)
{
    if (runningCheck)
        return;
    runningCheck = StartUpdateCheck(dialog);
    if (!runningCheck) {
        ShowResult(dialog, IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
        return;
    }
    wchar_t status[MessageBufferLength];
    LoadStringW(appInstance, IDS_UPDATE_CHECKING, status, MessageBufferLength);
    ShowUpdateStatus(dialog, status);
    ShowCheckRunning(dialog, true);
}

void OnUpdateProgress(HWND dialog, int percent, LPARAM job)
{
    if (!runningCheck || reinterpret_cast<LPARAM>(runningCheck.get()) != job)
        return;
    wchar_t format[MessageBufferLength];
    wchar_t status[MessageBufferLength];
    LoadStringW(appInstance, IDS_UPDATE_DOWNLOADING, format, MessageBufferLength);
    swprintf(status, MessageBufferLength, format, percent);
    ShowUpdateStatus(dialog, status);
}

void OnUpdateDone(HWND dialog, UpdateOutcome outcome, LPARAM job)
{
    // A report of a check this dialog gave up on: that job may be gone already.
    if (!runningCheck || reinterpret_cast<LPARAM>(runningCheck.get()) != job)
        return;
    const std::shared_ptr<UpdateJob> finished = std::move(runningCheck);
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
        RestartSelf();
        break;
    case UpdateOutcome::Cancelled:
        break;
    }
}

// The platform's own time limits do not hold everywhere (a server that accepts and
// never answers can stall the secure handshake), so the dialog keeps its own watch.
void OnUpdateWatch(HWND dialog)
{
    if (!runningCheck || !IsUpdateJobOverdue(*runningCheck))
        return;
    const UpdatePhase phase = runningCheck->phase;
    StopWaitingForCheck(dialog);
    if (phase == UpdatePhase::Checking)
        ShowResult(dialog, IDS_NO_UPDATE, MB_ICONINFORMATION);
    else
        ShowResult(dialog, IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
}

void OnPaint(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    RECT client;
    GetClientRect(dialog, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HDC source = CreateCompatibleDC(dc);
    for (const Picture& picture : Pictures) {
        auto bitmap = static_cast<HBITMAP>(LoadImageW(appInstance, MAKEINTRESOURCEW(picture.id), IMAGE_BITMAP, 0, 0, 0));
        if (!bitmap)
            continue;
        BITMAP size{};
        GetObjectW(bitmap, sizeof size, &size);
        HGDIOBJ old = SelectObject(source, bitmap);
        BitBlt(dc, picture.x, picture.y, size.bmWidth, size.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteObject(bitmap);
    }
    DeleteDC(source);
    SetBkColor(dc, RGB(255, 255, 255));
    TextOutW(dc, 168, 150, L"version:", 8);
    const std::wstring& version = ProgramInfo.versionText;
    TextOutW(dc, 230, 150, version.c_str(), static_cast<int>(version.size()));
    EndPaint(dialog, &paint);
}

INT_PTR OnControlColour(HDC dc, HWND control)
{
    const int id = GetDlgCtrlID(control);
    if (id == IDC_ABOUT_MAIL || id == IDC_ABOUT_WEB || id == IDC_ABOUT_SOCIAL) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(whiteBrush);
    }
    if (id == IDC_ABOUT_TEXT)
        return reinterpret_cast<INT_PTR>(whiteBrush);
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

void OnCommand(HWND dialog, int id, int notification)
{
    switch (id) {
    case IDCANCEL:
        StopWaitingForCheck(dialog);
        RestoreStaticCursor(dialog);
        EndDialog(dialog, IDCANCEL);
        break;
    case IDC_ABOUT_DONATE:
        // A double click also reports itself as a click first; one page is enough.
        if (notification == STN_CLICKED)
            OpenWithShell(DonationPage);
        break;
    case IDC_ABOUT_CHECK_UPDATES:
        OnCheckForUpdates(dialog);
        break;
    case IDC_ABOUT_CANCEL_UPDATE:
        StopWaitingForCheck(dialog);
        break;
    default:
        break;
    }
}

} // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_PAINT:
        OnPaint(dialog);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_UPDATE_PROGRESS:
        OnUpdateProgress(dialog, static_cast<int>(wParam), lParam);
        return TRUE;
    case WM_UPDATE_DONE:
        OnUpdateDone(dialog, static_cast<UpdateOutcome>(wParam), lParam);
        return TRUE;
    case WM_TIMER:
        if (wParam == IDT_ABOUT_UPDATE_WATCH)
            OnUpdateWatch(dialog);
        return TRUE;
    case WM_DESTROY:
        if (runningCheck)
            AbandonUpdateJob(*runningCheck);
        runningCheck.reset();
        // A static control never frees an image it was given.
        DeleteObject(reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(dialog, IDC_ABOUT_DONATE, STM_GETIMAGE, IMAGE_BITMAP, 0)));
        return FALSE;
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
    if (!whiteBrush)
        whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    return DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDialogProc, 0);
}
