#include "update/about_dialog.h"
#include "update/update_check.h"
#include "app/app_state.h"
#include "res/resource.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include <commctrl.h>
#include <shellapi.h>
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
        RestoreStaticCursor(dialog);
        EndDialog(dialog, IDCANCEL);
        break;
    case IDC_ABOUT_DONATE:
        // A double click also reports itself as a click first; one page is enough.
        if (notification == STN_CLICKED)
            OpenWithShell(DonationPage);
        break;
    case IDC_ABOUT_CHECK_UPDATES:
        CheckForUpdates(dialog);
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
    case WM_DESTROY:
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
