#pragma once
// The Voice Export page of the Options dialog: output type, the two output folders, the
// encoder library's location and version, and the MP3 bit rate.
#include <windows.h>

INT_PTR CALLBACK ExportPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Lets the folder browser open at the folder passed as its data (a wide path), if any.
int CALLBACK FolderBrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);
