#include "settings/program_info.h"

namespace {

ProgramInfoRecord CaptureProgramInfo()
{
    ProgramInfoRecord info;
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    info.programPath = path;
    info.fileName = info.programPath.substr(info.programPath.find_last_of(L'\\') + 1);
    info.versionText = L"NA";
    info.osVersion.dwOSVersionInfoSize = sizeof info.osVersion;
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info.osVersion));
    return info;
}

} // namespace

const ProgramInfoRecord ProgramInfo = CaptureProgramInfo();

// Placeholders until the Run key and restart are wired.
bool UpdateAutostart() { return false; }
void RequestReset(HWND) {}
void RestartSelf() {}
