#include "settings/hot_key_settings.h"
#include "settings/ini_file.h"
#include "res/resource.h"

namespace {

constexpr wchar_t HotKeysSection[] = L"hotkeys";
constexpr int KnownModifiers = HOTKEYF_SHIFT | HOTKEYF_CONTROL | HOTKEYF_ALT | HOTKEYF_EXT;

constexpr AppSettingsRecord FirstRun{};

std::vector<SetAsideHotKey> setAside;

bool IsHotKeyValue(int value)
{
    if (value == 0)
        return true;
    if (value < 0 || value > 0xFFFF)
        return false;
    return LOBYTE(value) != 0 && (HIBYTE(value) & ~KnownModifiers) == 0;
}

bool HasControlOrAlt(int value)
{
    return (HIBYTE(value) & (HOTKEYF_CONTROL | HOTKEYF_ALT)) != 0;
}

// Of two actions with one key, the one whose key the file gave is read as its first-run
// value; when the file gave both, the later one is. Each step puts one more entry at its
// first-run value, which no step changes again, and those values differ from each other:
// the steps end with no key given twice.
void SetAsideKeysGivenTwice(int (&values)[HotKeyCount])
{
    for (bool changed = true; changed;) {
        changed = false;
        for (int entry = 0; entry < HotKeyCount; ++entry) {
            const int firstRun = HotKeySettings[entry].firstRunValue;
            for (int other = 0; other < HotKeyCount && values[entry] != firstRun; ++other) {
                const bool otherKeeps = values[other] == HotKeySettings[other].firstRunValue || other < entry;
                if (other == entry || values[entry] == 0 || values[entry] != values[other] || !otherKeeps)
                    continue;
                setAside.push_back({entry, values[entry], SetAsideHotKey::Reason::GivenTwice, other});
                values[entry] = firstRun;
                changed = true;
            }
        }
    }
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
    setAside.clear();
    int values[HotKeyCount];
    for (int entry = 0; entry < HotKeyCount; ++entry) {
        const HotKeySetting& key = HotKeySettings[entry];
        int value = file.GetInt(HotKeysSection, key.iniKey, key.firstRunValue);
        if (!IsHotKeyValue(value)) {
            value = key.firstRunValue;
        } else if (value != 0 && !HasControlOrAlt(value)) {
            setAside.push_back({entry, value, SetAsideHotKey::Reason::WithoutControlOrAlt, -1});
            value = key.firstRunValue;
        }
        values[entry] = value;
    }
    SetAsideKeysGivenTwice(values);
    for (int entry = 0; entry < HotKeyCount; ++entry)
        settings.*HotKeySettings[entry].field = values[entry];
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

const std::vector<SetAsideHotKey>& SetAsideHotKeys()
{
    return setAside;
}
