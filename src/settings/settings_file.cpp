#include "settings/settings_file.h"

#include <shlobj.h>
#include <string>

#include "settings/app_settings.h"
#include "settings/settings_table.h"
#include "platform/dpi.h"
#include "platform/log.h"

SettingsStoreRecord SettingsStore;

namespace {

constexpr wchar_t SettingsFileName[] = L"clipvoce.ini";
constexpr wchar_t LogFileName[] = L"clipvoce.log";
constexpr wchar_t RejectedSuffix[] = L".rejected";
// A backup, sync or virus scan usually holds the file for a moment only.
constexpr int LockedFileAttempts = 20;
constexpr DWORD LockedFileRetryMs = 100;

std::wstring SettingsFolder();
void ComputeSettingsPath(const std::wstring& folderName);
void KeepRejectedFile();
bool IsLockedWhileInUse(DWORD error);
bool SettingsFileExists();
bool LoadSettingsFile(DWORD& readError);
void UseFirstRunValues();
void StartFirstRun();
void CaptureWindowRect(HWND window, int frameHeightDelta);

std::wstring SettingsFolder()
{
    const std::wstring& path = SettingsStore.path;
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

void ComputeSettingsPath(const std::wstring& folderName)
{
    SettingsStore.path.clear();
    wchar_t appData[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return;
    const std::wstring folder = std::wstring(appData) + L"\\" + folderName;
    CreateDirectoryW(folder.c_str(), nullptr);
    SettingsStore.path = folder + L"\\" + SettingsFileName;
}

// A file that could not be read through is about to be replaced by first-run values;
// a copy beside it keeps the user's settings, so a stray tab in an edited file costs
// nothing but a repair.
void KeepRejectedFile()
{
    const std::wstring& path = SettingsStore.path;
    if (path.empty())
        return;
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info))
        return;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0))
        return;
    CopyFileW(path.c_str(), (path + RejectedSuffix).c_str(), FALSE);
}

bool IsLockedWhileInUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool SettingsFileExists()
{
    return !SettingsStore.path.empty() && GetFileAttributesW(SettingsStore.path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Loads the file into the document; true when it held settings. readError is set only
// when a file that exists could not be read, after a short wait for a lock to pass.
bool LoadSettingsFile(DWORD& readError)
{
    readError = 0;
    for (int attempt = 1;; ++attempt) {
        unsigned long error = 0;
        if (SettingsStore.document.Load(SettingsStore.path, &error))
            return true;
        if (error == 0 || !SettingsFileExists())
            return false;
        if (!IsLockedWhileInUse(error) || attempt == LockedFileAttempts) {
            readError = error;
            return false;
        }
        Sleep(LockedFileRetryMs);
    }
}

void UseFirstRunValues()
{
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    // The file keeps places as at 96 dpi, the work area's corner included.
    const int dpi = SystemDpi();
    const RECT baseArea{ToBaseDpi(workArea.left, dpi), ToBaseDpi(workArea.top, dpi), ToBaseDpi(workArea.right, dpi),
                        ToBaseDpi(workArea.bottom, dpi)};
    const POINT position = FirstRunPosition(baseArea);
    AppSettings.x = position.x;
    AppSettings.y = position.y;
    AppSettings.backgroundColour = RGB(255, 255, 255);
    AppSettings.textColour = RGB(0, 0, 0);
    // The first-run font takes the character set of the system's own interface font.
    AppSettings.fontCharset = FirstRunLogFont().lfCharSet;
}

void StartFirstRun()
{
    UseFirstRunValues();
    // A new file holds the sections written in full, in the table's order.
    const SettingSection* previous = nullptr;
    for (const SettingField& field : SettingsTable()) {
        if (field.section != previous && field.section->rule == SectionRule::WrittenInFull)
            SettingsStore.document.AddSection(field.section->name);
        previous = field.section;
    }
    SettingsStore.firstRun = true;
    KeepRejectedFile();
    SaveSettings();
}

void CaptureWindowRect(HWND window, int frameHeightDelta)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return;
    // Without its border the window is shorter by its frame; the stored height is always
    // that of the framed window, which is how the next start creates it.
    const int height = rect.bottom - rect.top + (AppSettings.showBorder ? 0 : frameHeightDelta);
    // As at 96 dpi: the place on the screen's scale, the size on its monitor's.
    const int dpi = SystemDpi();
    const int windowDpi = WindowDpi(window);
    AppSettings.x = ToBaseDpi(rect.left, dpi);
    AppSettings.y = ToBaseDpi(rect.top, dpi);
    AppSettings.width = ToBaseDpi(rect.right - rect.left, windowDpi);
    AppSettings.height = ToBaseDpi(height, windowDpi);
}

} // namespace

void LoadSettings(const std::wstring& folderName)
{
    ComputeSettingsPath(folderName);
    AppSettings.wavFolder[0] = L'\0';
    AppSettings.encoderFolder[0] = L'\0';
    AppSettings.mp3Folder[0] = L'\0';
    if (LoadSettingsFile(SettingsStore.readError))
        ReadSettingFields(SettingsStore.document, SettingsTable(), AppSettings);
    else if (SettingsStore.readError != 0)
        UseFirstRunValues();   // not a first run: the user has settings, only not now
    else
        StartFirstRun();
}

DWORD SaveSettings(HWND window, int frameHeightDelta)
{
    if (window)
        CaptureWindowRect(window, frameHeightDelta);
    WriteSettingFields(SettingsStore.document, SettingsTable(), AppSettings);
    const SettingsStoreRecord& store = SettingsStore;
    // The user's own file, unread this session: neither overwritten nor deleted.
    if (store.readError != 0)
        return 0;
    if (store.resetPending) {
        if (DeleteFileW(store.path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
            return 0;
    } else if (store.document.Save(store.path)) {
        return 0;
    }
    const DWORD error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    LogFailure(L"Saving the settings to " + store.path, error);
    return error;
}

std::wstring LogFilePath()
{
    const std::wstring folder = SettingsFolder();
    return folder.empty() ? std::wstring() : folder + L"\\" + LogFileName;
}

bool HearingCopiesNoteShown()
{
    return AppSettings.hearingCopiesNoteShown;
}

// Into the file held in memory at once: the section takes its place in the file as the
// note is given, before any section a later change adds.
void RememberHearingCopiesNoteShown()
{
    AppSettings.hearingCopiesNoteShown = true;
    WriteSettingFields(SettingsStore.document, SectionFields(NotesSection), AppSettings);
}
