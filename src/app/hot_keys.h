#pragma once
// The global hot keys: registered on the Speech window, they reach it from whatever
// program is in front. Read selection reads that program's selected text; Play/Pause
// and Stop are the Speech window's own Space and S.
#include <windows.h>

// Registers the keys AppSettings holds (none for a cleared key) in place of those
// registered before. Returns bit i set for each entry i of HotKeySettings whose
// combination another program holds.
unsigned ApplyHotKeys(HWND window);
// The same at start-up, noting in the status line which keys do not work now: those
// another program holds, and those of the settings file read as their first-run values.
void ApplyHotKeysAtStart(HWND window);
void RemoveHotKeys(HWND window);

void OnHotKey(HWND window, WPARAM id);
