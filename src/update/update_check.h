#pragma once
// The update check: asks the update server which version it offers and, when it is
// another one, downloads it in place of the running executable and restarts into it.
#include <windows.h>
#include <string>

// The server as "host" or "host:port"; CLIPVOCE_UPDATE_SERVER overrides the built-in one.
std::wstring UpdateServer();

// One GET request for a resource. With a file path the body is written there and its
// size reported; otherwise at most the first 20 bytes of the body become `text`.
bool HttpGet(const std::wstring& resource, std::wstring* text, const std::wstring* filePath = nullptr,
             unsigned long long* byteCount = nullptr);

// Whether the offered version is an update for the running one.
bool IsUpdateOffered(const std::wstring& offered, const std::wstring& running, long expectedSize);

// The About dialog's "Check for updates".
void CheckForUpdates(HWND aboutDialog);
