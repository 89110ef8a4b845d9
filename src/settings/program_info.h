#pragma once
// The running executable as installed: its path and version, starting it with Windows,
// and handing over to a fresh copy of itself.
#include <windows.h>
#include <string>

struct ProgramInfoRecord {
    std::wstring programPath;   // full path of the running executable
    std::wstring fileName;      // the part of the path after its last backslash
    std::wstring versionText;   // the file version as "%d.%d.%d.%d", or "NA"
    OSVERSIONINFOEXW osVersion{};
};

// Captured during static initialisation, before start-up runs; never changed.
extern const ProgramInfoRecord ProgramInfo;

// Brings the Run-key entry in line with the start setting: written with this copy's path,
// or removed. True when the registry accepted the change.
bool UpdateAutostart();

// "Reset settings": after the user confirms, ends the Options dialog and restarts the
// program, whose final save deletes the settings file.
void RequestReset(HWND optionsDialog);

// Starts a new copy with "/r", which waits until this one has gone, and ends this one.
void RestartSelf();

// The file version of an executable as "%d.%d.%d.%d", or "NA" without a version
// resource. Given a bare file name, the system finds the module in the program's folder.
std::wstring ReadFileVersion(const std::wstring& path);
