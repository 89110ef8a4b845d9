#pragma once
// Recognises copies that their program has marked as not for clipboard watchers:
// passwords and other secrets from password managers, and copies the system keeps
// out of its own history.
#include <windows.h>

class ClipboardSnapshot;

// The format that holds a copy's permission to enter the clipboard history (a DWORD);
// 0 when it could not be registered.
UINT HistoryPermissionFormat();
// True for the formats that mark a copy, whatever they hold.
bool IsPrivacyMark(UINT format);
// True when a fetched copy carries one of the marks that ask watchers to leave it alone.
// Only the permission's data is looked at; the copy needs nothing else fetched for it.
bool IsSecretCopy(const ClipboardSnapshot& copy);
