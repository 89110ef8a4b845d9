#include "options/hot_keys_page.h"
#include "options/options_pages.h"
#include "platform/hot_key_names.h"
#include "platform/ui_text.h"
#include "settings/app_settings.h"
#include "settings/hot_key_settings.h"
#include "res/resource.h"
#include <commctrl.h>

namespace {

struct HotKeyRow {
    int control;
    int clearButton;
};

// In the order of HotKeySettings.
const HotKeyRow Rows[HotKeyCount] = {
    {IDC_HOTKEY_READ_SELECTION, IDC_CLEAR_READ_SELECTION},
    {IDC_HOTKEY_PLAY_PAUSE, IDC_CLEAR_PLAY_PAUSE},
    {IDC_HOTKEY_STOP, IDC_CLEAR_STOP},
};

int& HotKeyField(int row)
{
    return AppSettings.*HotKeySettings[row].field;
}

// The Speech window owns the Options dialog and holds the registrations.
HWND KeyOwner(HWND page)
{
    return GetWindow(GetAncestor(page, GA_ROOT), GW_OWNER);
}

// The keys are registered again as AppSettings holds them; returns those refused.
unsigned ApplyHotKeys(HWND page)
{
    return static_cast<unsigned>(SendMessageW(KeyOwner(page), WM_APPLY_HOT_KEYS, 0, 0));
}

void ShowInControl(HWND page, int row, int hotKey)
{
    SendDlgItemMessageW(page, Rows[row].control, HKM_SETHOTKEY, hotKey, 0);
}

void Refuse(HWND page, int row, UINT patternId, int hotKey, int holderRow)
{
    ShowInControl(page, row, HotKeyField(row));
    ShowWarning(GetAncestor(page, GA_ROOT),
                FillPattern(LoadText(patternId), HotKeyText(hotKey), LoadText(HotKeySettings[holderRow].actionNameId)));
}

void ChangeHotKey(HWND page, int row, int hotKey)
{
    int& field = HotKeyField(row);
    if (hotKey == field)
        return;
    for (int other = 0; hotKey != 0 && other < HotKeyCount; ++other) {
        if (other != row && HotKeyField(other) == hotKey) {
            Refuse(page, row, IDS_HOT_KEY_DUPLICATE, hotKey, other);
            return;
        }
    }
    const int previous = field;
    field = hotKey;
    unsigned refused = ApplyHotKeys(page);
    if (refused & (1u << row)) {
        field = previous;
        refused = ApplyHotKeys(page);
        Refuse(page, row, IDS_HOT_KEY_TAKEN, hotKey, row);
    }
    SetDlgItemTextW(page, IDC_HOTKEYS_TEXT, BuildHotKeysListText(refused).c_str());
}

void OnInitDialog(HWND page)
{
    for (int row = 0; row < HotKeyCount; ++row) {
        // A key without Ctrl or Alt would be taken away from the typing in every
        // program; the control adds Ctrl+Alt to such a key.
        SendDlgItemMessageW(page, Rows[row].control, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S,
                            MAKELPARAM(HOTKEYF_CONTROL | HOTKEYF_ALT, 0));
        ShowInControl(page, row, HotKeyField(row));
    }
    SetDlgItemTextW(page, IDC_HOTKEYS_TEXT, BuildHotKeysListText(ApplyHotKeys(page)).c_str());
}

void OnCommand(HWND page, int id, int code)
{
    for (int row = 0; row < HotKeyCount; ++row) {
        if (id == Rows[row].clearButton && code == BN_CLICKED) {
            ShowInControl(page, row, 0);
            ChangeHotKey(page, row, 0);
        } else if (id == Rows[row].control && code == EN_CHANGE) {
            const int hotKey = LOWORD(SendDlgItemMessageW(page, id, HKM_GETHOTKEY, 0, 0));
            // Modifiers alone are a combination still being typed; only Clear clears.
            if (LOBYTE(hotKey) != 0)
                ChangeHotKey(page, row, hotKey);
        }
    }
}

} // namespace

void OnHotKeyControlsMessage(HWND page, UINT message, WPARAM wParam)
{
    if (message == WM_INITDIALOG)
        OnInitDialog(page);
    else if (message == WM_COMMAND)
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
}

std::wstring BuildHotKeysListText(unsigned refused)
{
    std::wstring listText = BuildHotKeysText();
    for (int i = 0; i < HotKeyCount; ++i) {
        const HotKeySetting& setting = HotKeySettings[i];
        const int hotKey = AppSettings.*setting.field;
        if (hotKey == 0)
            continue;
        // Written the way the window keys above are.
        std::wstring keys = HotKeyText(hotKey, L" + ");
        CharLowerBuffW(keys.data(), static_cast<DWORD>(keys.size()));
        const UINT lineId = (refused & (1u << i)) ? IDS_GLOBAL_HOT_KEY_TAKEN_LINE : IDS_GLOBAL_HOT_KEY_LINE;
        listText += FillPattern(LoadText(lineId), keys, LoadText(setting.actionNameId));
        listText += L'\n';
    }
    return listText;
}
