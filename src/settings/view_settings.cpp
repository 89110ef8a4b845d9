#include "settings/view_settings.h"
#include "settings/settings_table.h"
#include <iterator>

namespace {

const wchar_t* const LineSpacingTexts[] = {L"1", L"1.5", L"2"};

} // namespace

const wchar_t* LineSpacingText(int percent)
{
    for (size_t i = 0; i < std::size(LineSpacings); ++i)
        if (LineSpacings[i] == percent)
            return LineSpacingTexts[i];
    return LineSpacingTexts[0];
}

void ReadViewSettings(const CIniFile& file, AppSettingsRecord& settings)
{
    ReadSettingFields(file, SectionFields(ViewSection), settings);
}

void WriteViewSettings(CIniFile& file, const AppSettingsRecord& settings)
{
    WriteSettingFields(file, SectionFields(ViewSection), settings);
}
