#include "settings/listening_settings.h"
#include "settings/ini_file.h"

namespace {

constexpr wchar_t ListeningSection[] = L"listening";
constexpr ListeningFilters FirstRun{};

} // namespace

const ListeningSetting ListeningSettings[ListeningSettingCount] = {
    {&ListeningFilters::joinLines, L"joinlines"}, {&ListeningFilters::joinHyphens, L"hyphens"},
    {&ListeningFilters::webAddresses, L"links"},  {&ListeningFilters::citations, L"citations"},
    {&ListeningFilters::markdown, L"markdown"},   {&ListeningFilters::emoji, L"emoji"},
};

void ReadListeningSettings(const CIniFile& file, AppSettingsRecord& settings)
{
    for (const ListeningSetting& key : ListeningSettings) {
        const std::wstring value = file.GetValue(ListeningSection, key.iniKey, L"");
        settings.listening.*key.field = value == L"0" ? false : value == L"1" ? true : FirstRun.*key.field;
    }
}

void WriteListeningSettings(CIniFile& file, const AppSettingsRecord& settings)
{
    for (const ListeningSetting& key : ListeningSettings) {
        const bool value = settings.listening.*key.field;
        const bool inFile = file.FindKey(file.FindSection(ListeningSection), key.iniKey) >= 0;
        if (value != FirstRun.*key.field || inFile)
            file.SetBool(ListeningSection, key.iniKey, value);
    }
}
