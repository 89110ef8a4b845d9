#pragma once
// The few things done to a menu item, by its command identifier.
#include <windows.h>

void SetMenuItemChecked(HMENU menu, UINT command, bool checked);
// Greyed, not only disabled: a disabled item drawn like an enabled one looks broken.
void SetMenuItemEnabled(HMENU menu, UINT command, bool enabled);
// The item's text from the string table.
void SetMenuItemText(HMENU menu, UINT command, UINT stringId);
