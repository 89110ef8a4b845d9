#pragma once
// The About dialog: artwork, version, links, donation and the update check.
#include <windows.h>

INT_PTR ShowAboutDialog(HWND owner);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
