#pragma once
// The running executable as installed: its path and version, and starting it with Windows.
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

// The file version of an executable as "%d.%d.%d.%d", or "NA" without a version
// resource. Given a bare file name, the system finds the module in the program's folder.
std::wstring ReadFileVersion(const std::wstring& path);
