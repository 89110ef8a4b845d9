#include "settings/settings_file.h"
#include "settings/app_settings.h"
#include <windows.h>

wchar_t settingsPath[260] = L"";
bool firstRun = false;
bool resetPending = false;

// Placeholder until the settings file is read and written: first-run values only.
void LoadSettings()
{
    logFont = FirstRunLogFont();
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const POINT at = FirstRunPosition(work);
    AppSettings.x = at.x;
    AppSettings.y = at.y;
    FillMp3BitRates();
}

void SaveSettings(bool)
{
}
