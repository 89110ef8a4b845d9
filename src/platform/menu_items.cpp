#include "platform/menu_items.h"
#include "platform/ui_text.h"

void SetMenuItemChecked(HMENU menu, UINT command, bool checked)
{
    CheckMenuItem(menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void SetMenuItemEnabled(HMENU menu, UINT command, bool enabled)
{
    EnableMenuItem(menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void SetMenuItemText(HMENU menu, UINT command, UINT stringId)
{
    const std::wstring text = LoadText(stringId);
    ModifyMenuW(menu, command, MF_BYCOMMAND | MF_STRING, command, text.c_str());
}
