#pragma once
// The Hot keys tab's controls for the global hot keys: each can be changed or cleared,
// takes effect at once, and a combination another program holds is refused with a
// message. The Options frame puts the keys back on Cancel.
#include <windows.h>
#include <string>

// The page's handling of its hot-key controls, their Clear buttons and the list of the
// keys; the list's control itself is handled with the Help page's text.
void OnHotKeyControlsMessage(HWND page, UINT message, WPARAM wParam);

// The tab's list: the Speech window's keys, then the global keys as they are set now;
// bit i of refused marks entry i of HotKeySettings as held by another program.
std::wstring BuildHotKeysListText(unsigned refused);
