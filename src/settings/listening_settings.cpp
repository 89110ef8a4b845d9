#include "settings/listening_settings.h"
#include "settings/settings_table.h"

void ReadListeningSettings(const CIniFile& file, AppSettingsRecord& settings)
{
    ReadSettingFields(file, SectionFields(ListeningSection), settings);
}

void WriteListeningSettings(CIniFile& file, const AppSettingsRecord& settings)
{
    WriteSettingFields(file, SectionFields(ListeningSection), settings);
}
