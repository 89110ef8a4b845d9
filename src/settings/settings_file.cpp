#include "settings/settings_file.h"

#include <shlobj.h>
#include <cwchar>
#include <string>

#include "settings/app_settings.h"
#include "settings/hot_key_settings.h"
#include "settings/ini_file.h"

wchar_t settingsPath[260] = L"";
std::atomic<bool> firstRun = false;
bool resetPending = false;
DWORD settingsReadError = 0;

namespace {

constexpr wchar_t SettingsFileName[] = L"clipvoce.ini";
constexpr wchar_t RejectedSuffix[] = L".rejected";
constexpr wchar_t WindowSection[] = L"window";
constexpr wchar_t SettingsSection[] = L"settings";
constexpr wchar_t ExportSection[] = L"export";
// A backup, sync or virus scan usually holds the file for a moment only.
constexpr int LockedFileAttempts = 20;
constexpr DWORD LockedFileRetryMs = 100;

enum class KeyKind { Number, Colour, Flag, Text };

// One key of the file and the field of AppSettings it fills.
struct SettingKey {
    const wchar_t* section;
    const wchar_t* name;
    KeyKind kind;
    void* field;
    size_t textCapacity;   // for text: the field's size in code units, terminator included
};

constexpr SettingKey Number(const wchar_t* section, const wchar_t* name, int& field);
constexpr SettingKey Colour(const wchar_t* section, const wchar_t* name, COLORREF& field);
constexpr SettingKey Flag(const wchar_t* section, const wchar_t* name, bool& field);
template <size_t N>
constexpr SettingKey Text(const wchar_t* section, const wchar_t* name, wchar_t (&field)[N]);
bool AppendToPath(const wchar_t* part);
void ComputeSettingsPath(const std::wstring& folderName);
void ReadSettings();
void WriteSettings();
void KeepRejectedFile();
bool IsLockedWhileInUse(DWORD error);
bool SettingsFileExists();
bool LoadSettingsFile(DWORD& readError);
void UseFirstRunValues();
void StartFirstRun();
void CaptureWindowRect(HWND window);

constexpr SettingKey Number(const wchar_t* section, const wchar_t* name, int& field)
{
    return SettingKey{section, name, KeyKind::Number, &field, 0};
}

constexpr SettingKey Colour(const wchar_t* section, const wchar_t* name, COLORREF& field)
{
    return SettingKey{section, name, KeyKind::Colour, &field, 0};
}

constexpr SettingKey Flag(const wchar_t* section, const wchar_t* name, bool& field)
{
    return SettingKey{section, name, KeyKind::Flag, &field, 0};
}

template <size_t N>
constexpr SettingKey Text(const wchar_t* section, const wchar_t* name, wchar_t (&field)[N])
{
    return SettingKey{section, name, KeyKind::Text, field, N};
}

// The file's keys in the order they are read and written.
constexpr SettingKey Keys[] = {
    Number(WindowSection, L"x", AppSettings.x),
    Number(WindowSection, L"y", AppSettings.y),
    Number(WindowSection, L"width", AppSettings.width),
    Number(WindowSection, L"height", AppSettings.height),
    Flag(WindowSection, L"border", AppSettings.showBorder),
    Flag(WindowSection, L"window", AppSettings.speechWindowShown),
    Flag(WindowSection, L"close", AppSettings.closeQuits),
    Flag(WindowSection, L"delete", AppSettings.confirmDeleteAll),
    Flag(WindowSection, L"top", AppSettings.alwaysOnTop),
    Number(WindowSection, L"transparency", AppSettings.opacity),
    Colour(WindowSection, L"background", AppSettings.backgroundColour),
    Colour(WindowSection, L"text", AppSettings.textColour),
    Flag(WindowSection, L"bold", AppSettings.bold),
    Flag(WindowSection, L"italic", AppSettings.italic),
    Number(WindowSection, L"point", AppSettings.fontHeightPixels),
    Number(WindowSection, L"charset", AppSettings.fontCharset),
    Text(WindowSection, L"font", AppSettings.fontFace),
    Flag(SettingsSection, L"confirm", AppSettings.confirmQuit),
    Flag(SettingsSection, L"start", AppSettings.startWithWindows),
    Flag(SettingsSection, L"clipboard", AppSettings.monitorClipboard),
    Flag(SettingsSection, L"append", AppSettings.appendCopies),
    Flag(SettingsSection, L"repeat", AppSettings.repeatReading),
    Number(SettingsSection, L"rate", AppSettings.speechRate),
    Flag(SettingsSection, L"autoplay", AppSettings.autoPlay),
    Flag(SettingsSection, L"autoscroll", AppSettings.autoScroll),
    Flag(SettingsSection, L"fulltext", AppSettings.showFullText),
    Flag(ExportSection, L"wav", AppSettings.exportAsWav),
    Number(ExportSection, L"mp3rate", AppSettings.mp3BitRate),
    Text(ExportSection, L"wavdir", AppSettings.wavFolder),
    Text(ExportSection, L"lamedir", AppSettings.encoderFolder),
    Text(ExportSection, L"mp3dir", AppSettings.mp3Folder),
};

// A path that does not fit is left out altogether: a cut-off path would name some other
// file, and the settings would silently go there.
bool AppendToPath(const wchar_t* part)
{
    const size_t used = wcslen(settingsPath);
    const size_t length = wcslen(part);
    if (used + length >= SettingsPathLength)
        return false;
    wmemcpy(settingsPath + used, part, length + 1);
    return true;
}

void ComputeSettingsPath(const std::wstring& folderName)
{
    settingsPath[0] = L'\0';
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, settingsPath))) {
        settingsPath[0] = L'\0';
        return;
    }
    if (!AppendToPath(L"\\") || !AppendToPath(folderName.c_str())) {
        settingsPath[0] = L'\0';
        return;
    }
    CreateDirectoryW(settingsPath, nullptr);
    if (!AppendToPath(L"\\") || !AppendToPath(SettingsFileName))
        settingsPath[0] = L'\0';
}

// Keys missing from the file read as 0, false or empty, never as their first-run values.
void ReadSettings()
{
    for (const SettingKey& key : Keys) {
        switch (key.kind) {
        case KeyKind::Number:
            *static_cast<int*>(key.field) = iniFile.GetInt(key.section, key.name, 0);
            break;
        case KeyKind::Colour:
            // Stored as a signed number; the bits are the colour.
            *static_cast<COLORREF*>(key.field) = static_cast<COLORREF>(iniFile.GetInt(key.section, key.name, 0));
            break;
        case KeyKind::Flag:
            *static_cast<bool*>(key.field) = iniFile.GetBool(key.section, key.name, false);
            break;
        case KeyKind::Text: {
            // A value too long for its field is dropped rather than cut: a cut path names
            // another folder.
            const std::wstring value = iniFile.GetValue(key.section, key.name, L"");
            const size_t length = value.size() < key.textCapacity ? value.size() : 0;
            wchar_t* text = static_cast<wchar_t*>(key.field);
            wmemcpy(text, value.c_str(), length);
            text[length] = L'\0';
            break;
        }
        }
    }
    ReadHotKeySettings(iniFile, AppSettings);
    logFont.lfHeight = AppSettings.fontHeightPixels;
    logFont.lfCharSet = static_cast<BYTE>(AppSettings.fontCharset & 0xFF);
    lstrcpynW(logFont.lfFaceName, AppSettings.fontFace, LF_FACESIZE);
    logFont.lfWeight = AppSettings.bold ? FW_BOLD : FW_NORMAL;
    logFont.lfItalic = AppSettings.italic ? 255 : 0;
}

void WriteSettings()
{
    AppSettings.fontHeightPixels = logFont.lfHeight;
    AppSettings.fontCharset = logFont.lfCharSet;
    lstrcpynW(AppSettings.fontFace, logFont.lfFaceName, FaceNameLength);
    for (const SettingKey& key : Keys) {
        switch (key.kind) {
        case KeyKind::Number:
            iniFile.SetInt(key.section, key.name, *static_cast<const int*>(key.field));
            break;
        case KeyKind::Colour:
            iniFile.SetInt(key.section, key.name, static_cast<int>(*static_cast<const COLORREF*>(key.field)));
            break;
        case KeyKind::Flag:
            iniFile.SetBool(key.section, key.name, *static_cast<const bool*>(key.field));
            break;
        case KeyKind::Text:
            iniFile.SetValue(key.section, key.name, static_cast<const wchar_t*>(key.field));
            break;
        }
    }
    WriteHotKeySettings(iniFile, AppSettings);
}

// A file that could not be read through is about to be replaced by first-run values;
// a copy beside it keeps the user's settings, so a stray tab in an edited file costs
// nothing but a repair.
void KeepRejectedFile()
{
    if (settingsPath[0] == L'\0')
        return;
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(settingsPath, GetFileExInfoStandard, &info))
        return;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0))
        return;
    const std::wstring rejected = std::wstring(settingsPath) + RejectedSuffix;
    CopyFileW(settingsPath, rejected.c_str(), FALSE);
}

bool IsLockedWhileInUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool SettingsFileExists()
{
    return settingsPath[0] != L'\0' && GetFileAttributesW(settingsPath) != INVALID_FILE_ATTRIBUTES;
}

// Loads the file into the document; true when it held settings. readError is set only
// when a file that exists could not be read, after a short wait for a lock to pass.
bool LoadSettingsFile(DWORD& readError)
{
    readError = 0;
    for (int attempt = 1;; ++attempt) {
        unsigned long error = 0;
        if (iniFile.Load(settingsPath, &error))
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
    const POINT position = FirstRunPosition(workArea);
    AppSettings.x = position.x;
    AppSettings.y = position.y;
    AppSettings.backgroundColour = RGB(255, 255, 255);
    AppSettings.textColour = RGB(0, 0, 0);
}

void StartFirstRun()
{
    UseFirstRunValues();
    iniFile.AddSection(WindowSection);
    iniFile.AddSection(SettingsSection);
    iniFile.AddSection(ExportSection);
    firstRun = true;
    KeepRejectedFile();
    SaveSettings();
}

void CaptureWindowRect(HWND window)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return;
    AppSettings.x = rect.left;
    AppSettings.y = rect.top;
    AppSettings.width = rect.right - rect.left;
    AppSettings.height = rect.bottom - rect.top;
    // Without its border the window is shorter by its frame; the stored height is always
    // that of the framed window, which is how the next start creates it.
    if (!AppSettings.showBorder)
        AppSettings.height += frameHeightDelta;
}

} // namespace

void LoadSettings(const std::wstring& folderName)
{
    logFont = FirstRunLogFont();
    ComputeSettingsPath(folderName);
    FillMp3BitRates();
    AppSettings.wavFolder[0] = L'\0';
    AppSettings.encoderFolder[0] = L'\0';
    AppSettings.mp3Folder[0] = L'\0';
    if (LoadSettingsFile(settingsReadError))
        ReadSettings();
    else if (settingsReadError != 0)
        UseFirstRunValues();   // not a first run: the user has settings, only not now
    else
        StartFirstRun();
}

DWORD SaveSettings(HWND window)
{
    if (window)
        CaptureWindowRect(window);
    WriteSettings();
    // The user's own file, unread this session: neither overwritten nor deleted.
    if (settingsReadError != 0)
        return 0;
    if (resetPending) {
        if (DeleteFileW(settingsPath) || GetLastError() == ERROR_FILE_NOT_FOUND)
            return 0;
    } else if (iniFile.Save(settingsPath)) {
        return 0;
    }
    const DWORD error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    const std::wstring note = L"Clipvoce: the settings could not be saved to " + std::wstring(settingsPath) +
                              L" (error " + std::to_wstring(error) + L")\n";
    OutputDebugStringW(note.c_str());
    return error;
}
