#include "options/options_pages.h"
#include "options/options_dialog.h"
#include "platform/dialog_record.h"
#include "platform/dpi.h"
#include "platform/high_contrast.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "settings/app_settings.h"
#include "settings/view_settings.h"
#include "res/resource.h"
#include <commctrl.h>
#include <commdlg.h>
#include <iterator>
#include <memory>

namespace {

constexpr int OpaqueAlpha = 255;

// A solid brush of one colour, made when first asked for and remade when the colour
// asked for changes.
class ColourBrush {
public:
    HBRUSH For(COLORREF colour)
    {
        if (!brush_ || colour_ != colour) {
            brush_.reset(CreateSolidBrush(colour));
            colour_ = colour;
        }
        return static_cast<HBRUSH>(brush_.get());
    }

private:
    GdiObject brush_;
    COLORREF colour_ = 0;
};

struct ImageButton {
    int control;
    int icon;
};

const ImageButton ImageButtons[] = {
    {IDC_FONT, IDI_FONT},
    {IDC_POSITION_CURRENT, IDI_POSITION_CURRENT},
    {IDC_POSITION_TOPLEFT, IDI_POSITION_TOPLEFT},
    {IDC_POSITION_TOPRIGHT, IDI_POSITION_TOPRIGHT},
    {IDC_POSITION_BOTTOMRIGHT, IDI_POSITION_BOTTOMRIGHT},
};

// What the page on show paints with, and the dialog it belongs to. Made at the page's
// initialisation and gone with the page, after its controls.
struct AppearancePage {
    explicit AppearancePage(OptionsDialogState& options) : options(options) {}

    OptionsDialogState& options;
    GdiObject previewFont;
    ColourBrush textBrush;
    ColourBrush backgroundBrush;
    IconHandle icons[std::size(ImageButtons)];
};

// The settings keep the font's height as at 96 dpi; the preview shows it at the page's.
void ShowPreviewFont(HWND page, AppearancePage& state)
{
    LOGFONTW chosen = TextLogFont();
    chosen.lfHeight = FromBaseDpi(chosen.lfHeight, WindowDpi(page));
    GdiObject font(CreateFontIndirectW(&chosen));
    SendDlgItemMessageW(page, IDC_PREVIEW, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    // The preview now paints with the new font, so the old one can go.
    state.previewFont = std::move(font);
}

// The buttons do not own their images; the page keeps them until the buttons are gone.
void SetButtonIcons(HWND page, AppearancePage& state)
{
    for (size_t i = 0; i < std::size(ImageButtons); ++i) {
        state.icons[i].reset(static_cast<HICON>(LoadImageW(
            ProgramModule(), MAKEINTRESOURCEW(ImageButtons[i].icon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
        SendDlgItemMessageW(page, ImageButtons[i].control, BM_SETIMAGE, IMAGE_ICON,
                            reinterpret_cast<LPARAM>(state.icons[i].get()));
    }
}

// The colours chosen here are kept, but not shown while the theme's are.
void ShowHighContrastNote(HWND page)
{
    ShowWindow(GetDlgItem(page, IDC_HIGH_CONTRAST_NOTE), HighContrastOn() ? SW_SHOW : SW_HIDE);
}

void ShowViewSettings(HWND page)
{
    CheckDlgButton(page, IDC_MARK_SENTENCE, AppSettings.markSentence ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_FOCUS_MODE, AppSettings.focusMode ? BST_CHECKED : BST_UNCHECKED);
    const HWND spacing = GetDlgItem(page, IDC_LINE_SPACING);
    for (size_t i = 0; i < std::size(LineSpacings); ++i) {
        SendMessageW(spacing, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LineSpacingText(LineSpacings[i])));
        if (LineSpacings[i] == AppSettings.lineSpacingPercent)
            SendMessageW(spacing, CB_SETCURSEL, i, 0);
    }
    ShowHighContrastNote(page);
}

void OnInitDialog(HWND page, AppearancePage& state)
{
    ShowPreviewFont(page, state);
    SetButtonIcons(page, state);
    HWND trackbar = GetDlgItem(page, IDC_TRANSPARENCY);
    SendMessageW(trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(0, OpaqueAlpha));
    SendMessageW(trackbar, TBM_SETPOS, TRUE, AppSettings.opacity);
    ShowViewSettings(page);
}

// The trackbar notifies whenever it redraws, so every notification is a moment to take
// its position; the Speech window follows while the thumb is dragged.
void OnNotify(HWND page, const AppearancePage& state)
{
    AppSettings.opacity = static_cast<int>(SendDlgItemMessageW(page, IDC_TRANSPARENCY, TBM_GETPOS, 0, 0));
    state.options.host.applyTransparency();
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

// The font dialog measures heights in the screen's pixels; the settings as at 96 dpi.
void ChooseTextFont(HWND page, AppearancePage& state)
{
    const int dpi = SystemDpi();
    LOGFONTW font = TextLogFont();
    font.lfHeight = FromBaseDpi(font.lfHeight, dpi);
    CHOOSEFONTW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.lpLogFont = &font;
    choice.Flags = CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST | CF_NOSCRIPTSEL | CF_NOVERTFONTS;
    if (!ChooseFontW(&choice))
        return;
    font.lfHeight = ToBaseDpi(font.lfHeight, dpi);
    SetTextFont(AppSettings, font);
    ShowPreviewFont(page, state);
}

RECT WorkArea()
{
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// Positions are measured from the screen origin, the right and bottom ones with the
// work area's extent; the window keeps the size it had when the dialog opened.
void MoveToPosition(OptionsDialogState& options, int control)
{
    const RECT& openRect = options.openRect;
    const int width = openRect.right - openRect.left;
    const int height = openRect.bottom - openRect.top;
    const RECT area = WorkArea();
    const int right = (area.right - area.left) - width;
    const int bottom = (area.bottom - area.top) - height;
    RECT& target = options.targetRect;
    switch (control) {
    case IDC_POSITION_CURRENT:     target = openRect; break;
    case IDC_POSITION_TOPLEFT:     target = RECT{0, 0, width, height}; break;
    case IDC_POSITION_TOPRIGHT:    target = RECT{right, 0, right + width, height}; break;
    case IDC_POSITION_BOTTOMRIGHT: target = RECT{right, bottom, right + width, bottom + height}; break;
    default:                       return;
    }
    MoveWindow(options.host.speechWindow, target.left, target.top, width, height, TRUE);
}

void OnCommand(HWND page, AppearancePage& state, int control, int code)
{
    switch (control) {
    case IDC_TEXT_COLOUR:
        if (code == STN_CLICKED)
            ChooseColour(page, AppSettings.textColour);
        break;
    case IDC_BACKGROUND_COLOUR:
        if (code == STN_CLICKED)
            ChooseColour(page, AppSettings.backgroundColour);
        break;
    case IDC_FONT:
        ChooseTextFont(page, state);
        break;
    case IDC_MARK_SENTENCE:
        AppSettings.markSentence = IsDlgButtonChecked(page, IDC_MARK_SENTENCE) == BST_CHECKED;
        break;
    case IDC_FOCUS_MODE:
        AppSettings.focusMode = IsDlgButtonChecked(page, IDC_FOCUS_MODE) == BST_CHECKED;
        break;
    case IDC_LINE_SPACING:
        if (code == CBN_SELCHANGE) {
            const LRESULT chosen = SendDlgItemMessageW(page, IDC_LINE_SPACING, CB_GETCURSEL, 0, 0);
            if (chosen >= 0 && chosen < static_cast<LRESULT>(std::size(LineSpacings)))
                AppSettings.lineSpacingPercent = LineSpacings[chosen];
        }
        break;
    default:
        if (code == BN_CLICKED)
            MoveToPosition(state.options, control);
        break;
    }
}

INT_PTR OnColourStatic(AppearancePage& state, HDC dc, HWND control)
{
    switch (GetDlgCtrlID(control)) {
    case IDC_TEXT_COLOUR:
        return reinterpret_cast<INT_PTR>(state.textBrush.For(AppSettings.textColour));
    case IDC_BACKGROUND_COLOUR:
        return reinterpret_cast<INT_PTR>(state.backgroundBrush.For(AppSettings.backgroundColour));
    case IDC_PREVIEW:
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, AppSettings.textColour);
        return reinterpret_cast<INT_PTR>(state.backgroundBrush.For(AppSettings.backgroundColour));
    default:
        return FALSE;
    }
}

// The page's own record lives from its initialisation to its last message.
AppearancePage* PageRecord(HWND page, UINT message, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return DialogRecord<AppearancePage>(page, message, lParam);
    auto* options = reinterpret_cast<OptionsDialogState*>(lParam);
    if (!options)
        return nullptr;
    auto record = std::make_unique<AppearancePage>(*options);
    return DialogRecord<AppearancePage>(page, message, reinterpret_cast<LPARAM>(record.release()));
}

} // namespace

INT_PTR CALLBACK AppearancePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    AppearancePage* state = PageRecord(page, message, lParam);
    if (!state)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page, *state);
        return TRUE;
    case WM_NOTIFY:
        OnNotify(page, *state);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, *state, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    // High contrast can be turned on or off while the page is open.
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETHIGHCONTRAST)
            ShowHighContrastNote(page);
        return TRUE;
    case WM_SYSCOLORCHANGE:
        ShowHighContrastNote(page);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnColourStatic(*state, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NCDESTROY:
    {
        // The controls are gone by now, so nothing paints with the page's objects any more.
        const std::unique_ptr<AppearancePage> ending(state);
        SetWindowLongPtrW(page, DWLP_USER, 0);
        return FALSE;
    }
    default:
        return FALSE;
    }
}
