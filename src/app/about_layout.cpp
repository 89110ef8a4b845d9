#include "app/about_layout.h"
#include "platform/scoped_handle.h"
#include <commctrl.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

enum class TextKind { None, Static, Link, Button };

// LM_GETIDEALSIZE, which the headers here know only by its older name: given a SIZE, it
// reports the width and height the link's text takes at most wParam pixels wide.
constexpr UINT LinkIdealSize = LM_GETIDEALHEIGHT;

TextKind KindOf(HWND control)
{
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (lstrcmpiW(className, WC_LINK) == 0)
        return TextKind::Link;
    if (lstrcmpiW(className, L"Button") == 0)
        return TextKind::Button;
    const LONG type = style & SS_TYPEMASK;
    if (lstrcmpiW(className, L"Static") == 0 && (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT))
        return TextKind::Static;
    return TextKind::None;
}

std::wstring ControlText(HWND control)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// What a push button keeps around its label: its edge and the focus rectangle inside it.
SIZE ButtonBorder()
{
    return SIZE{4 * GetSystemMetrics(SM_CXEDGE), 4 * GetSystemMetrics(SM_CYEDGE)};
}

SIZE DrawnTextSize(HWND control, const std::wstring& text, int maxWidth, UINT format)
{
    const WindowDc dc(control);
    if (!dc || text.empty())
        return SIZE{0, 0};
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const SelectedObject selected(dc.get(), font ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT bounds{0, 0, std::max(maxWidth, 1), 0};
    DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &bounds, format | DT_CALCRECT);
    return SIZE{bounds.right, bounds.bottom};
}

struct Placed {
    HWND control;
    TextKind kind;
    RECT rect;   // in the dialog's client coordinates
};

// Top to bottom, so that a control is placed before anything it pushes down.
void SortTopDown(std::vector<Placed>::iterator first, std::vector<Placed>::iterator last)
{
    std::stable_sort(first, last, [](const Placed& a, const Placed& b) { return a.rect.top < b.rect.top; });
}

std::vector<Placed> TextControls(HWND dialog)
{
    std::vector<Placed> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        controls.push_back({child, KindOf(child), rect});
    }
    SortTopDown(controls.begin(), controls.end());
    return controls;
}

bool OverlapsAcross(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right;
}

// The control's new rectangle within [left, right], or its own when its text fits and
// it lies within the dialog's width.
RECT FittedRect(const Placed& item, int left, int right, int clientWidth)
{
    RECT rect = item.rect;
    if (rect.right > clientWidth)
        rect.right = std::max(right, static_cast<int>(rect.left));
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SIZE need = TextControlNeeds(item.control, OneLineWidth);
    if (need.cx <= width && need.cy <= height)
        return rect;
    if (need.cx > right - left) {
        // Too wide for the dialog on one line: as wide as the dialog, on as many lines as
        // it takes.
        need = TextControlNeeds(item.control, right - left);
        rect.left = left;
        rect.right = right;
    } else if (need.cx > width) {
        const LONG style = GetWindowLongW(item.control, GWL_STYLE);
        const bool centred = item.kind == TextKind::Static && (style & SS_TYPEMASK) == SS_CENTER;
        const int middle = (rect.left + rect.right) / 2;
        rect.left = centred ? middle - need.cx / 2 : rect.left;
        rect.left = std::clamp(static_cast<int>(rect.left), left, right - static_cast<int>(need.cx));
        rect.right = rect.left + need.cx;
    }
    rect.bottom = rect.top + std::max(height, static_cast<int>(need.cy));
    return rect;
}

void GrowDialogTo(HWND dialog, int clientBottom)
{
    RECT client{};
    GetClientRect(dialog, &client);
    const int growth = clientBottom - client.bottom;
    if (growth <= 0)
        return;
    RECT window{};
    GetWindowRect(dialog, &window);
    // Still centred where it was centred.
    SetWindowPos(dialog, nullptr, window.left, window.top - growth / 2, window.right - window.left,
                 window.bottom - window.top + growth, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

SIZE TextControlNeeds(HWND control, int maxWidth)
{
    const TextKind kind = KindOf(control);
    if (kind == TextKind::None)
        return SIZE{0, 0};
    if (kind == TextKind::Link) {
        SIZE ideal{0, 0};
        SendMessageW(control, LinkIdealSize, static_cast<WPARAM>(maxWidth), reinterpret_cast<LPARAM>(&ideal));
        return ideal;
    }
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (kind == TextKind::Button) {
        const SIZE border = ButtonBorder();
        const UINT lines = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
        const SIZE text = DrawnTextSize(control, ControlText(control), maxWidth - border.cx, lines);
        return SIZE{text.cx + border.cx, text.cy + border.cy};
    }
    // As a static control draws its text.
    const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    return DrawnTextSize(control, ControlText(control), maxWidth, DT_WORDBREAK | DT_EXPANDTABS | prefix);
}

void FitAboutTexts(HWND dialog)
{
    RECT client{};
    GetClientRect(dialog, &client);
    RECT margin{4, 4, 0, 0};
    MapDialogRect(dialog, &margin);
    const int left = margin.left;
    const int right = client.right - margin.left;

    std::vector<Placed> controls = TextControls(dialog);
    int lowest = 0;
    for (size_t i = 0; i < controls.size(); ++i) {
        Placed& item = controls[i];
        if (item.kind != TextKind::None) {
            const RECT fitted = FittedRect(item, left, right, client.right);
            const int growth = fitted.bottom - item.rect.bottom;
            // What lies under the control's old or new span moves down by what it grew.
            for (size_t j = i + 1; j < controls.size() && growth > 0; ++j) {
                RECT& below = controls[j].rect;
                if (below.top >= item.rect.bottom && (OverlapsAcross(below, item.rect) || OverlapsAcross(below, fitted)))
                    OffsetRect(&below, 0, growth);
            }
            item.rect = fitted;
            SortTopDown(controls.begin() + static_cast<std::ptrdiff_t>(i) + 1, controls.end());
        }
        lowest = std::max(lowest, static_cast<int>(item.rect.bottom));
    }
    for (const Placed& item : controls) {
        const RECT& r = item.rect;
        SetWindowPos(item.control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    GrowDialogTo(dialog, lowest + margin.top);
}
