#pragma once
// The tray icon, the popup menu it opens, and the status line shown in the Speech
// window's caption and the icon's tip.
#include <windows.h>
#include <shellapi.h>
#include <string>

extern NOTIFYICONDATAW trayIcon;

void InitTrayIcon();
void AddTrayIcon();
void DeleteTrayIcon();
void RefreshStatusLine();
// The same, showing the given line (zero-based) instead of the selection's.
void RefreshStatusLine(int line);
void OnTrayNotify(WPARAM id, LPARAM mouseMessage);
void ShowPopupMenu();

std::wstring FormatCaption(const wchar_t* title, const wchar_t* stateWord, int line, int lineCount);
UINT StateWordId(int state);
