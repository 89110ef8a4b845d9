#include "dialog_fit.h"
#include "app_driver.h"
#include "platform/scoped_handle.h"
#include <commctrl.h>
#include <algorithm>

namespace {

constexpr const wchar_t* DesktopKey = L"Control Panel\\Desktop";

bool WriteDpi(DWORD dpi)
{
    return RegSetKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi) == 0;
}

std::wstring ClassOf(HWND control)
{
    wchar_t name[32] = L"";
    GetClassNameW(control, name, 32);
    return name;
}

std::string NameOf(HWND control)
{
    const std::wstring text = ControlText(control), name = ClassOf(control);
    return std::string(name.begin(), name.end()) + " " + std::to_string(GetDlgCtrlID(control)) +
           (text.empty() ? "" : " \"" + std::string(text.begin(), text.end()) + "\"");
}

// What a control draws, for the checks: nothing (an empty plain label), a label's text,
// a check box's or radio button's box and text, a push button's text, or anything else.
enum class Kind { Nothing, Label, Mark, PushButton, GroupBox, Other };

Kind KindOf(HWND control)
{
    const std::wstring name = ClassOf(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const bool text = !ControlText(control).empty();
    if (lstrcmpiW(name.c_str(), L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        const bool label = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        return label && text ? Kind::Label : label && !(style & WS_BORDER) ? Kind::Nothing : Kind::Other;
    }
    if (lstrcmpiW(name.c_str(), L"Button") != 0)
        return Kind::Other;
    if ((style & BS_TYPEMASK) == BS_GROUPBOX)
        return Kind::GroupBox;
    if ((style & (BS_ICON | BS_BITMAP)) || !text)
        return Kind::Other;
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON: case BS_DEFPUSHBUTTON:      return Kind::PushButton;
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
    case BS_3STATE: case BS_AUTO3STATE:             return Kind::Mark;
    default:                                        return Kind::Other;
    }
}

SIZE TextSize(HWND control, int width, UINT format)
{
    const WindowDc dc(control);
    const SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT extent{0, 0, std::max(width, 1), 0};
    DrawTextW(dc.get(), ControlText(control).c_str(), -1, &extent, DT_CALCRECT | format);
    return SIZE{extent.right, extent.bottom};
}

// Where a label draws its text in r (wrapped at its width, placed as its style says);
// cut when the text needs more room than the label has.
RECT LabelInk(HWND control, const RECT& r, bool& cut)
{
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const int width = r.right - r.left, height = r.bottom - r.top;
    const SIZE text = TextSize(control, width, (style & SS_CENTERIMAGE) ? DT_SINGLELINE : DT_WORDBREAK);
    cut = text.cx > width || text.cy > height;
    const LONG type = style & SS_TYPEMASK;
    const int left = type == SS_CENTER ? r.left + (width - text.cx) / 2 : type == SS_RIGHT ? r.right - text.cx : r.left;
    const int top = (style & SS_CENTERIMAGE) ? r.top + (height - text.cy) / 2 : r.top;
    return RECT{left, top, left + text.cx, top + text.cy};
}

} // namespace

PrefixDpi::PrefixDpi(DWORD dpi)
{
    DWORD size = sizeof saved;
    had = RegGetValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &saved, &size) == 0;
    set = WriteDpi(dpi);
}

PrefixDpi::~PrefixDpi()
{
    if (had)
        WriteDpi(saved);
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels");
}

long RunAtPrefixDpi(DWORD dpi, const wchar_t* testName)
{
    PrefixDpi setting(dpi);
    if (!setting.set)
        return -1;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"CLIPVOCE_TEST_DPI", std::to_wstring(dpi).c_str());
    AppProcess copy(std::wstring(L"--gtest_brief=1 --gtest_filter=") + testName, self);
    SetEnvironmentVariableW(L"CLIPVOCE_TEST_DPI", nullptr);
    return copy.WaitExit(60000);
}

int DpiToCheck()
{
    wchar_t text[8] = L"";
    return GetEnvironmentVariableW(L"CLIPVOCE_TEST_DPI", text, 8) ? _wtoi(text) : 0;
}

std::wstring ControlText(HWND control)
{
    wchar_t text[512] = L"";
    GetWindowTextW(control, text, 512);
    return text;
}

SIZE DrawnExtent(HWND control, int width)
{
    if (lstrcmpiW(ClassOf(control).c_str(), WC_LINK) == 0) {
        SIZE ideal{};
        SendMessageW(control, LM_GETIDEALHEIGHT, width, reinterpret_cast<LPARAM>(&ideal));
        return ideal;
    }
    const int edge = lstrcmpiW(ClassOf(control).c_str(), L"Button") == 0 ? 2 * GetSystemMetrics(SM_CXEDGE) : 0;
    const SIZE text = TextSize(control, width - 2 * edge, DT_WORDBREAK);
    return SIZE{text.cx + 2 * edge, text.cy + 2 * edge};
}

std::vector<std::string> LayoutFaults(HWND dialog, const std::vector<HWND>& controls, const RECT& bounds)
{
    std::vector<std::string> faults;
    std::vector<std::pair<HWND, RECT>> placed;
    const int box = GetSystemMetrics(SM_CXMENUCHECK);
    for (HWND control : controls) {
        const Kind kind = KindOf(control);
        if (!IsWindowVisible(control) || kind == Kind::Nothing)
            continue;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const int width = r.right - r.left, height = r.bottom - r.top;
        const std::string name = NameOf(control);
        RECT ink = r;
        bool cut = false;
        if (kind == Kind::Label) {
            ink = LabelInk(control, r, cut);
        } else if (kind == Kind::Mark) {
            // The box, a gap of a quarter of it, and the text on one line.
            const SIZE text = TextSize(control, 0x7FFF, DT_SINGLELINE);
            cut = box + box / 4 + text.cx > width || text.cy > height;
        } else if (kind == Kind::PushButton) {
            const SIZE extent = DrawnExtent(control, width);
            cut = extent.cx > width || extent.cy > height;
        }
        if (cut)
            faults.push_back(name + " is too small for its text");
        if (ink.left < bounds.left || ink.top < bounds.top || ink.right > bounds.right || ink.bottom > bounds.bottom)
            faults.push_back(name + " lies outside the dialog");
        if (kind == Kind::GroupBox)
            continue;
        for (const auto& [other, otherInk] : placed) {
            RECT overlap{};
            if (IntersectRect(&overlap, &ink, &otherInk))
                faults.push_back(name + " overlaps " + NameOf(other));
        }
        placed.emplace_back(control, ink);
    }
    return faults;
}
