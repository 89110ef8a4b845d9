#pragma once
// The global hot keys in the settings file. They live in a [hotkeys] section that holds
// only what the user changed, so a file that never had a key changed stays exactly as
// older copies of the program write and read it.
#include <windows.h>
#include "settings/app_settings.h"
#include "res/resource.h"
#include <vector>

class CIniFile;

struct HotKeySetting {
    int registrationId;                  // HOTKEY_ID_*, the WM_HOTKEY identifier
    int AppSettingsRecord::*field;
    const wchar_t* iniKey;
    UINT actionNameId;                   // the string that names what the key does
};

constexpr int HotKeyCount = 3;
// The settings table's [hotkeys] keys are these, in this order.
inline constexpr HotKeySetting HotKeySettings[HotKeyCount] = {
    {HOTKEY_ID_READ_SELECTION, &AppSettingsRecord::readSelectionHotKey, L"readselection", IDS_ACTION_READ_SELECTION},
    {HOTKEY_ID_PLAY_PAUSE, &AppSettingsRecord::playPauseHotKey, L"playpause", IDS_ACTION_PLAY_PAUSE},
    {HOTKEY_ID_STOP, &AppSettingsRecord::stopHotKey, L"stop", IDS_ACTION_STOP},
};

// A key of the file that was read as its first-run value although it was a hot key, so
// that the user can be told.
struct SetAsideHotKey {
    enum class Reason {
        WithoutControlOrAlt,  // it would take a key away from the typing in every program
        GivenTwice,           // another action has it
    };
    int entry;        // of HotKeySettings
    int value;        // as the file gave it
    Reason reason;
    int keptBy;       // GivenTwice: the entry that has the key
};

// A missing key keeps its first-run value; a value that is no hot key the control could
// have made (unknown modifier flags, modifiers without a key) is taken as damaged and
// gives the first-run value too. 0 is a key the user cleared; a value that is no number
// reads as 0, as everywhere in the file. The Hot keys tab refuses a key without Ctrl or
// Alt and a key that another action has: from the file, such a key is read as its
// first-run value as well, and noted in SetAsideHotKeys.
void ReadHotKeySettings(const CIniFile& file, AppSettingsRecord& settings);
// Writes a key only when its value differs from the first-run one, or when the file has
// the key already (a value changed back must not leave the old one behind).
void WriteHotKeySettings(CIniFile& file, const AppSettingsRecord& settings);

// The keys the last reading of the file's hot keys set aside.
const std::vector<SetAsideHotKey>& SetAsideHotKeys();

// The settings table's rule between the hot keys, once each is read as a key the control
// could have made: puts the keys the tab would refuse at their first-run values, and
// notes them for SetAsideHotKeys.
void SetAsideRefusedHotKeys(AppSettingsRecord& settings);

