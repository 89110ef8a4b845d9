#include "options/options_pages.h"
#include "options/options_dialog.h"
#include "app/app_state.h"
#include "app/window_frame.h"
#include "speech/display.h"
#include "settings/app_settings.h"
#include "res/resource.h"
#include <commctrl.h>
#include <commdlg.h>

namespace {

constexpr int OpaqueAlpha = 255;

// Painting objects of the page on show, made when first needed and remade when their
// colour or font changes.
HFONT previewFont = nullptr;
HBRUSH textBrush = nullptr;
COLORREF textBrushColour = 0;
HBRUSH backgroundBrush = nullptr;
COLORREF backgroundBrushColour = 0;

template <typename Handle>
void DeleteGdiObject(Handle& object)
{
    if (object)
        DeleteObject(object);
    object = nullptr;
}

HBRUSH BrushOf(COLORREF colour, HBRUSH& brush, COLORREF& brushColour)
{
    if (!brush || brushColour != colour) {
        DeleteGdiObject(brush);
        brush = CreateSolidBrush(colour);
        brushColour = colour;
    }
    return brush;
}

void ShowPreviewFont(HWND page)
{
    HFONT font = CreateFontIndirectW(&logFont);
    SendDlgItemMessageW(page, IDC_PREVIEW, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    DeleteGdiObject(previewFont);
    previewFont = font;
}

void SetButtonIcon(HWND page, int control, int icon)
{
    HICON image = LoadIconW(appInstance, MAKEINTRESOURCEW(icon));
    SendDlgItemMessageW(page, control, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(image));
}

void OnInitDialog(HWND page)
{
    ShowPreviewFont(page);
    SetButtonIcon(page, IDC_FONT, IDI_FONT);
    SetButtonIcon(page, IDC_POSITION_CURRENT, IDI_POSITION_CURRENT);
    SetButtonIcon(page, IDC_POSITION_TOPLEFT, IDI_POSITION_TOPLEFT);
    SetButtonIcon(page, IDC_POSITION_TOPRIGHT, IDI_POSITION_TOPRIGHT);
    SetButtonIcon(page, IDC_POSITION_BOTTOMRIGHT, IDI_POSITION_BOTTOMRIGHT);
    HWND trackbar = GetDlgItem(page, IDC_TRANSPARENCY);
    SendMessageW(trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(0, OpaqueAlpha));
    SendMessageW(trackbar, TBM_SETPOS, TRUE, AppSettings.transparency);
}

// The trackbar notifies whenever it redraws, so every notification is a moment to take
// its position; the Speech window follows while the thumb is dragged.
void OnNotify(HWND page)
{
    AppSettings.transparency = static_cast<int>(SendDlgItemMessageW(page, IDC_TRANSPARENCY, TBM_GETPOS, 0, 0));
    ApplyTransparency(speechWindow);
}

void ChooseColour(HWND page, COLORREF& field)
{
    // Custom colours are not carried from one opening to the next.
    COLORREF customColours[16] = {};
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.rgbResult = field;
    choice.lpCustColors = customColours;
    choice.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    if (!ChooseColorW(&choice))
        return;
    field = choice.rgbResult;
    RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void ChooseTextFont(HWND page)
{
    CHOOSEFONTW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.lpLogFont = &logFont;
    choice.Flags = CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST | CF_NOSCRIPTSEL | CF_NOVERTFONTS;
    if (ChooseFontW(&choice))
        ShowPreviewFont(page);
}

RECT WorkArea()
{
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// Positions are measured from the screen origin, the right and bottom ones with the
// work area's extent; the window keeps the size it had when the dialog opened.
void MoveToPosition(int control)
{
    const int width = openRect.right - openRect.left;
    const int height = openRect.bottom - openRect.top;
    const RECT area = WorkArea();
    const int right = (area.right - area.left) - width;
    const int bottom = (area.bottom - area.top) - height;
    switch (control) {
    case IDC_POSITION_CURRENT:     targetRect = openRect; break;
    case IDC_POSITION_TOPLEFT:     targetRect = RECT{0, 0, width, height}; break;
    case IDC_POSITION_TOPRIGHT:    targetRect = RECT{right, 0, right + width, height}; break;
    case IDC_POSITION_BOTTOMRIGHT: targetRect = RECT{right, bottom, right + width, bottom + height}; break;
    default:                       return;
    }
    MoveWindow(speechWindow, targetRect.left, targetRect.top, width, height, TRUE);
}

void OnCommand(HWND page, int control, int code)
{
    switch (control) {
    case IDC_TEXT_COLOUR:
        if (code == STN_CLICKED)
            ChooseColour(page, AppSettings.text);
        break;
    case IDC_BACKGROUND_COLOUR:
        if (code == STN_CLICKED)
            ChooseColour(page, AppSettings.background);
        break;
    case IDC_FONT:
        ChooseTextFont(page);
        break;
    default:
        if (code == BN_CLICKED)
            MoveToPosition(control);
        break;
    }
}

INT_PTR OnColourStatic(HDC dc, HWND control)
{
    switch (GetDlgCtrlID(control)) {
    case IDC_TEXT_COLOUR:
        return reinterpret_cast<INT_PTR>(BrushOf(AppSettings.text, textBrush, textBrushColour));
    case IDC_BACKGROUND_COLOUR:
        return reinterpret_cast<INT_PTR>(BrushOf(AppSettings.background, backgroundBrush, backgroundBrushColour));
    case IDC_PREVIEW:
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, AppSettings.text);
        return reinterpret_cast<INT_PTR>(BrushOf(AppSettings.background, backgroundBrush, backgroundBrushColour));
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK AppearancePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page);
        return TRUE;
    case WM_NOTIFY:
        OnNotify(page);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NCDESTROY:
        // The controls are gone by now, so nothing paints with these any more.
        DeleteGdiObject(previewFont);
        DeleteGdiObject(textBrush);
        DeleteGdiObject(backgroundBrush);
        return FALSE;
    default:
        return FALSE;
    }
}
