#pragma once
// Global hot keys as the platform knows them: the text a user reads for a combination,
// and the form RegisterHotKey takes it in.
#include <windows.h>
#include <string>

// hotKey in the hot-key control's form: the virtual key in the low byte, HOTKEYF_ flags
// in the high byte. The names are the keyboard's own ("Ctrl", "Space"), joined by
// joiner, e.g. "Ctrl+Alt+Space".
std::wstring HotKeyText(int hotKey, const wchar_t* joiner = L"+");

// RegisterHotKey's modifier flags for a hot key in the control's form. A held-down key
// is taken once, not once per repeat.
UINT HotKeyModifiers(int hotKey);
