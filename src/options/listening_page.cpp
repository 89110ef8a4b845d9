#include "options/options_pages.h"
#include "settings/app_settings.h"
#include "res/resource.h"
#include <iterator>

namespace {

struct ListeningCheckBox {
    int control;
    bool ListeningFilters::*field;
};

constexpr ListeningCheckBox CheckBoxes[] = {
    {IDC_LISTEN_JOIN_LINES, &ListeningFilters::joinLines},
    {IDC_LISTEN_HYPHENS, &ListeningFilters::joinHyphens},
    {IDC_LISTEN_WEB_ADDRESSES, &ListeningFilters::webAddresses},
    {IDC_LISTEN_CITATIONS, &ListeningFilters::citations},
    {IDC_LISTEN_MARKDOWN, &ListeningFilters::markdown},
    {IDC_LISTEN_EMOJI, &ListeningFilters::emoji},
};

} // namespace

// The boxes only switch their filters; OK lets the voice hear the text anew.
INT_PTR CALLBACK ListeningPageProc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        for (const ListeningCheckBox& box : CheckBoxes)
            CheckDlgButton(page, box.control, AppSettings.listening.*box.field ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        for (const ListeningCheckBox& box : CheckBoxes) {
            if (box.control == LOWORD(wParam))
                AppSettings.listening.*box.field = IsDlgButtonChecked(page, box.control) == BST_CHECKED;
        }
        return TRUE;
    default:
        return FALSE;
    }
}
