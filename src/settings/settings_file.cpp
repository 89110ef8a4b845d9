#include "settings/settings_file.h"

#include <shlobj.h>
#include <algorithm>
#include <cwchar>
#include <string>

#include "settings/app_settings.h"
#include "settings/hot_key_settings.h"
#include "settings/listening_settings.h"
#include "settings/view_settings.h"
#include "settings/voice_settings.h"
#include "platform/dpi.h"
#include "platform/log.h"

SettingsStoreRecord SettingsStore;

namespace {

constexpr wchar_t SettingsFileName[] = L"clipvoce.ini";
constexpr wchar_t LogFileName[] = L"clipvoce.log";
constexpr wchar_t RejectedSuffix[] = L".rejected";
constexpr wchar_t WindowSection[] = L"window";
constexpr wchar_t SettingsSection[] = L"settings";
constexpr wchar_t ExportSection[] = L"export";
constexpr wchar_t NotesSection[] = L"notes";
constexpr wchar_t HearingCopiesNoteKey[] = L"hearcopies";
// A backup, sync or virus scan usually holds the file for a moment only.
constexpr int LockedFileAttempts = 20;
constexpr DWORD LockedFileRetryMs = 100;

enum class KeyKind { Number, RangedNumber, Colour, Flag, Text };

// One key of the file and the field of AppSettings it fills.
struct SettingKey {
    const wchar_t* section;
    const wchar_t* name;
    KeyKind kind;
    void* field;
    size_t textCapacity;   // for text: the field's size in code units, terminator included
    int lowest = 0;        // for a ranged number: what it is brought into
    int highest = 0;
};

constexpr SettingKey Number(const wchar_t* section, const wchar_t* name, int& field);
constexpr SettingKey RangedNumber(const wchar_t* section, const wchar_t* name, int& field, int lowest, int highest);
constexpr SettingKey Colour(const wchar_t* section, const wchar_t* name, COLORREF& field);
constexpr SettingKey Flag(const wchar_t* section, const wchar_t* name, bool& field);
template <size_t N>
constexpr SettingKey Text(const wchar_t* section, const wchar_t* name, wchar_t (&field)[N]);
std::wstring SettingsFolder();
void ComputeSettingsPath(const std::wstring& folderName);
void ReadSettings();
void WriteSettings();
void KeepRejectedFile();
bool IsLockedWhileInUse(DWORD error);
bool SettingsFileExists();
bool LoadSettingsFile(DWORD& readError);
void UseFirstRunValues();
void StartFirstRun();
void CaptureWindowRect(HWND window, int frameHeightDelta);

constexpr SettingKey Number(const wchar_t* section, const wchar_t* name, int& field)
{
    return SettingKey{section, name, KeyKind::Number, &field, 0};
}

// A number the program cannot use outside its range (the voice's rate): one out of it
// reads as the nearest allowed value, and the file's own value stays until it changes.
constexpr SettingKey RangedNumber(const wchar_t* section, const wchar_t* name, int& field, int lowest, int highest)
{
    return SettingKey{section, name, KeyKind::RangedNumber, &field, 0, lowest, highest};
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
    RangedNumber(SettingsSection, L"rate", AppSettings.speechRate, MinSpeechRate, MaxSpeechRate),
    Flag(SettingsSection, L"autoplay", AppSettings.autoPlay),
    Flag(SettingsSection, L"autoscroll", AppSettings.autoScroll),
    Flag(SettingsSection, L"fulltext", AppSettings.showFullText),
    Flag(ExportSection, L"wav", AppSettings.exportAsWav),
    Number(ExportSection, L"mp3rate", AppSettings.mp3BitRate),
    Text(ExportSection, L"wavdir", AppSettings.wavFolder),
    Text(ExportSection, L"lamedir", AppSettings.encoderFolder),
    Text(ExportSection, L"mp3dir", AppSettings.mp3Folder),
};

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

// As GetInt reads it (a damaged value as 0), brought into the key's range.
int ReadRangedNumber(const SettingKey& key)
{
    return std::clamp(SettingsStore.document.GetInt(key.section, key.name, 0), key.lowest, key.highest);
}

// Keys missing from the file read as 0, false or empty, never as their first-run values.
void ReadSettings()
{
    for (const SettingKey& key : Keys) {
        switch (key.kind) {
        case KeyKind::Number:
            *static_cast<int*>(key.field) = SettingsStore.document.GetInt(key.section, key.name, 0);
            break;
        case KeyKind::RangedNumber:
            *static_cast<int*>(key.field) = ReadRangedNumber(key);
            break;
        case KeyKind::Colour:
            // Stored as a signed number; the bits are the colour.
            *static_cast<COLORREF*>(key.field) = static_cast<COLORREF>(SettingsStore.document.GetInt(key.section, key.name, 0));
            break;
        case KeyKind::Flag:
            *static_cast<bool*>(key.field) = SettingsStore.document.GetBool(key.section, key.name, false);
            break;
        case KeyKind::Text: {
            // A value too long for its field is dropped rather than cut: a cut path names
            // another folder.
            const std::wstring value = SettingsStore.document.GetValue(key.section, key.name, L"");
            const size_t length = value.size() < key.textCapacity ? value.size() : 0;
            wchar_t* text = static_cast<wchar_t*>(key.field);
            wmemcpy(text, value.c_str(), length);
            text[length] = L'\0';
            break;
        }
        }
    }
    ReadHotKeySettings(SettingsStore.document, AppSettings);
    ReadListeningSettings(SettingsStore.document, AppSettings);
    ReadViewSettings(SettingsStore.document, AppSettings);
    ReadVoiceSettings(SettingsStore.document, AppSettings);
}

void WriteSettings()
{
    for (const SettingKey& key : Keys) {
        switch (key.kind) {
        case KeyKind::Number:
            SettingsStore.document.SetInt(key.section, key.name, *static_cast<const int*>(key.field));
            break;
        case KeyKind::RangedNumber:
            if (!SettingsStore.document.HasKey(key.section, key.name) ||
                ReadRangedNumber(key) != *static_cast<const int*>(key.field))
                SettingsStore.document.SetInt(key.section, key.name, *static_cast<const int*>(key.field));
            break;
        case KeyKind::Colour:
            SettingsStore.document.SetInt(key.section, key.name, static_cast<int>(*static_cast<const COLORREF*>(key.field)));
            break;
        case KeyKind::Flag:
            SettingsStore.document.SetBool(key.section, key.name, *static_cast<const bool*>(key.field));
            break;
        case KeyKind::Text:
            SettingsStore.document.SetValue(key.section, key.name, static_cast<const wchar_t*>(key.field));
            break;
        }
    }
    WriteHotKeySettings(SettingsStore.document, AppSettings);
    WriteListeningSettings(SettingsStore.document, AppSettings);
    WriteViewSettings(SettingsStore.document, AppSettings);
    WriteVoiceSettings(SettingsStore.document, AppSettings);
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
    SettingsStore.document.AddSection(WindowSection);
    SettingsStore.document.AddSection(SettingsSection);
    SettingsStore.document.AddSection(ExportSection);
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
        ReadSettings();
    else if (SettingsStore.readError != 0)
        UseFirstRunValues();   // not a first run: the user has settings, only not now
    else
        StartFirstRun();
}

DWORD SaveSettings(HWND window, int frameHeightDelta)
{
    if (window)
        CaptureWindowRect(window, frameHeightDelta);
    WriteSettings();
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
    return SettingsStore.document.GetBool(NotesSection, HearingCopiesNoteKey, false);
}

void RememberHearingCopiesNoteShown()
{
    SettingsStore.document.SetBool(NotesSection, HearingCopiesNoteKey, true);
}
