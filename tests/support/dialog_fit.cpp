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

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::string NameOf(HWND control)
{
    const std::wstring text = ControlText(control);
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    return Narrow(className) + " " + std::to_string(GetDlgCtrlID(control)) + (text.empty() ? "" : " \"" + Narrow(text) + "\"");
}

bool IsGroupBox(HWND control)
{
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    return lstrcmpiW(className, L"Button") == 0 && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool IsStatic(HWND control)
{
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    return lstrcmpiW(className, L"Static") == 0;
}

enum class Kind { Other, Label, Mark, PushButton };

Kind KindOf(HWND control)
{
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (ControlText(control).empty())
        return Kind::Other;
    if (lstrcmpiW(className, L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT ? Kind::Label : Kind::Other;
    }
    if (lstrcmpiW(className, L"Button") != 0 || (style & (BS_ICON | BS_BITMAP)))
        return Kind::Other;
    switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        return Kind::Mark;
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        return Kind::PushButton;
    default:
        return Kind::Other;
    }
}

SIZE TextSize(HWND control, int width, UINT format)
{
    const WindowDc dc(control);
    const SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = ControlText(control);
    RECT extent{0, 0, std::max(width, 1), 0};
    DrawTextW(dc.get(), text.c_str(), -1, &extent, DT_CALCRECT | format);
    return SIZE{extent.right, extent.bottom};
}

// Where a label's text is drawn in it (r: its rectangle): wrapped at its width, placed
// as its style says; cut tells whether the text needs more room than the label has.
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
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    if (lstrcmpiW(className, WC_LINK) == 0) {
        SIZE ideal{};
        SendMessageW(control, LM_GETIDEALHEIGHT, width, reinterpret_cast<LPARAM>(&ideal));
        return ideal;
    }
    const bool button = lstrcmpiW(className, L"Button") == 0;
    const int edge = button ? 2 * GetSystemMetrics(SM_CXEDGE) : 0;
    const WindowDc dc(control);
    const SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = ControlText(control);
    RECT extent{0, 0, width - 2 * edge, 0};
    DrawTextW(dc.get(), text.c_str(), -1, &extent, DT_CALCRECT | DT_WORDBREAK);
    return SIZE{extent.right + 2 * edge, extent.bottom + 2 * edge};
}

std::vector<std::string> LayoutFaults(HWND dialog, const std::vector<HWND>& controls, const RECT& bounds)
{
    std::vector<std::string> faults;
    std::vector<std::pair<HWND, RECT>> placed;
    const int box = GetSystemMetrics(SM_CXMENUCHECK);
    for (HWND control : controls) {
        if (!IsWindowVisible(control))
            continue;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const std::string name = NameOf(control);
        // An empty label without a border draws nothing (the voice's name before it is known).
        const bool drawsNothing = KindOf(control) == Kind::Other && ControlText(control).empty() &&
                                  !(GetWindowLongW(control, GWL_STYLE) & WS_BORDER) && IsStatic(control);
        if (drawsNothing)
            continue;
        RECT ink = r;
        bool cut = false;
        switch (KindOf(control)) {
        case Kind::Label:
            ink = LabelInk(control, r, cut);
            break;
        case Kind::Mark: {
            // The box, a gap of a quarter of it, and the text on one line.
            const SIZE text = TextSize(control, 0x7FFF, DT_SINGLELINE);
            cut = box + box / 4 + text.cx > r.right - r.left || text.cy > r.bottom - r.top;
            break;
        }
        case Kind::PushButton: {
            const SIZE extent = DrawnExtent(control, r.right - r.left);
            cut = extent.cx > r.right - r.left || extent.cy > r.bottom - r.top;
            break;
        }
        case Kind::Other:
            break;
        }
        if (cut)
            faults.push_back(name + " is too small for its text");
        if (ink.left < bounds.left || ink.top < bounds.top || ink.right > bounds.right || ink.bottom > bounds.bottom)
            faults.push_back(name + " lies outside the dialog");
        if (IsGroupBox(control))
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
