#pragma once
// Facts about the running executable, captured once before start-up.
#include <windows.h>
#include <string>

struct ProgramInfoRecord {
    std::wstring programPath;
    std::wstring fileName;
    std::wstring versionText;   // "major.minor.build.revision", or "NA"
    OSVERSIONINFOEXW osVersion{};
};

extern const ProgramInfoRecord ProgramInfo;

bool UpdateAutostart();
void RequestReset(HWND optionsDialog);
void RestartSelf();
