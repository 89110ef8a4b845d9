#include "settings/program_info.h"

#include <cwchar>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"

namespace {

constexpr wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

ProgramInfoRecord CaptureProgramInfo();
std::wstring RunCommand();

ProgramInfoRecord CaptureProgramInfo()
{
    ProgramInfoRecord info{};
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    info.programPath = path;
    const size_t slash = info.programPath.rfind(L'\\');
    info.fileName = slash == std::wstring::npos ? info.programPath : info.programPath.substr(slash + 1);
    info.versionText = ReadFileVersion(info.fileName);
    info.osVersion.dwOSVersionInfoSize = sizeof info.osVersion;
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info.osVersion));
    return info;
}


// At logon the system splits an unquoted command at its first blank, so "C:\Program
// Files\..." would start "C:\Program" if such a file exists.
std::wstring RunCommand()
{
    if (ProgramInfo.programPath.find(L' ') == std::wstring::npos)
        return ProgramInfo.programPath;
    return L"\"" + ProgramInfo.programPath + L"\"";
}

} // namespace

// Given the bare file name, the system finds the module in the program's own folder.
std::wstring ReadFileVersion(const std::wstring& fileName)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(fileName.c_str(), &handle);
    if (size == 0)
        return L"NA";
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(fileName.c_str(), 0, size, block.data()))
        return L"NA";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)
        || fixed == nullptr || length < sizeof *fixed)
        return L"NA";
    wchar_t text[48];
    swprintf(text, 48, L"%d.%d.%d.%d",
             HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

const ProgramInfoRecord ProgramInfo = CaptureProgramInfo();

bool UpdateAutostart()
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    const RegistryKey key(opened);
    const std::wstring valueName = LoadText(IDS_APP_NAME);
    LSTATUS status;
    if (AppSettings.startWithWindows) {
        const std::wstring command = RunCommand();
        status = RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
        status = RegDeleteValueW(key.get(), valueName.c_str());
    }
    return status == ERROR_SUCCESS;
}
