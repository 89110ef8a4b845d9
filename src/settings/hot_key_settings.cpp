#include "settings/hot_key_settings.h"
#include "settings/settings_table.h"

namespace {

constexpr AppSettingsRecord FirstRun{};

std::vector<SetAsideHotKey> setAside;

int FirstRunValue(int entry)
{
    return FirstRun.*HotKeySettings[entry].field;
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
            const int firstRun = FirstRunValue(entry);
            for (int other = 0; other < HotKeyCount && values[entry] != firstRun; ++other) {
                const bool otherKeeps = values[other] == FirstRunValue(other) || other < entry;
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

void SetAsideRefusedHotKeys(AppSettingsRecord& settings)
{
    setAside.clear();
    int values[HotKeyCount];
    for (int entry = 0; entry < HotKeyCount; ++entry) {
        int value = settings.*HotKeySettings[entry].field;
        if (value != 0 && !HasControlOrAlt(value)) {
            setAside.push_back({entry, value, SetAsideHotKey::Reason::WithoutControlOrAlt, -1});
            value = FirstRunValue(entry);
        }
        values[entry] = value;
    }
    SetAsideKeysGivenTwice(values);
    for (int entry = 0; entry < HotKeyCount; ++entry)
        settings.*HotKeySettings[entry].field = values[entry];
}

void ReadHotKeySettings(const CIniFile& file, AppSettingsRecord& settings)
{
    ReadSettingFields(file, SectionFields(HotKeysSection), settings);
}

void WriteHotKeySettings(CIniFile& file, const AppSettingsRecord& settings)
{
    WriteSettingFields(file, SectionFields(HotKeysSection), settings);
}

const std::vector<SetAsideHotKey>& SetAsideHotKeys()
{
    return setAside;
}
