#pragma once
// The program's log: a small text file that keeps, for a failure a user saw, what failed
// and why, so it can be understood afterwards. It names calls, result codes and the
// system's words for them; never a text the user copied or had read.
#include <windows.h>
#include <string>

// A log that reaches this size starts afresh; the full one is kept as "<path>.1".
constexpr DWORD MaxLogBytes = 256 * 1024;

// Lines go to the file at path from now on, opened here once for the run; an empty path
// closes it and keeps no log.
void StartLog(const std::wstring& path);
// One line, after the local time. Safe from any thread.
void LogLine(const std::wstring& line);
// "<call> failed: <code> <the system's text>"; code is a system error code or an HRESULT.
void LogFailure(const std::wstring& call, DWORD code);
