#include "settings/hot_key_settings.h"
#include "settings/ini_file.h"
#include "res/resource.h"

namespace {

constexpr wchar_t HotKeysSection[] = L"hotkeys";
constexpr int KnownModifiers = HOTKEYF_SHIFT | HOTKEYF_CONTROL | HOTKEYF_ALT | HOTKEYF_EXT;

constexpr AppSettingsRecord FirstRun{};

bool IsHotKeyValue(int value)
{
    if (value == 0)
        return true;
    if (value < 0 || value > 0xFFFF)
        return false;
    return LOBYTE(value) != 0 && (HIBYTE(value) & ~KnownModifiers) == 0;
}

} // namespace

const HotKeySetting HotKeySettings[HotKeyCount] = {
    {HOTKEY_ID_READ_SELECTION, &AppSettingsRecord::readSelectionHotKey, L"readselection",
     FirstRun.readSelectionHotKey, IDS_ACTION_READ_SELECTION},
    {HOTKEY_ID_PLAY_PAUSE, &AppSettingsRecord::playPauseHotKey, L"playpause", FirstRun.playPauseHotKey,
     IDS_ACTION_PLAY_PAUSE},
    {HOTKEY_ID_STOP, &AppSettingsRecord::stopHotKey, L"stop", FirstRun.stopHotKey, IDS_ACTION_STOP},
};

void ReadHotKeySettings(const CIniFile& file, AppSettingsRecord& settings)
{
    for (const HotKeySetting& key : HotKeySettings) {
        const int value = file.GetInt(HotKeysSection, key.iniKey, key.firstRunValue);
        settings.*key.field = IsHotKeyValue(value) ? value : key.firstRunValue;
    }
}

void WriteHotKeySettings(CIniFile& file, const AppSettingsRecord& settings)
{
    for (const HotKeySetting& key : HotKeySettings) {
        const int value = settings.*key.field;
        const bool inFile = file.FindKey(file.FindSection(HotKeysSection), key.iniKey) >= 0;
        if (value != key.firstRunValue || inFile)
            file.SetInt(HotKeysSection, key.iniKey, value);
    }
}
