#include "dialog_fit.h"
#include "app_driver.h"
#include "platform/scoped_handle.h"
#include <commctrl.h>

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

// Only the texts of these controls are drawn by the control from its window text.
bool ShowsItsText(HWND control)
{
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (lstrcmpiW(className, WC_LINK) == 0)
        return true;
    if (lstrcmpiW(className, L"Button") == 0)
        return (style & (BS_ICON | BS_BITMAP)) == 0 && !IsGroupBox(control);
    const LONG type = style & SS_TYPEMASK;
    return lstrcmpiW(className, L"Static") == 0 && (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT);
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
    for (HWND control : controls) {
        if (!IsWindowVisible(control))
            continue;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const std::string name = NameOf(control);
        if (ShowsItsText(control) && !ControlText(control).empty()) {
            const SIZE extent = DrawnExtent(control, r.right - r.left);
            if (extent.cx > r.right - r.left || extent.cy > r.bottom - r.top)
                faults.push_back(name + " is too small for its text");
        }
        if (r.left < bounds.left || r.top < bounds.top || r.right > bounds.right || r.bottom > bounds.bottom)
            faults.push_back(name + " lies outside the dialog");
        if (IsGroupBox(control))
            continue;
        for (const auto& [other, otherRect] : placed) {
            RECT overlap{};
            if (IntersectRect(&overlap, &r, &otherRect))
                faults.push_back(name + " overlaps " + NameOf(other));
        }
        placed.emplace_back(control, r);
    }
    return faults;
}
