#include "settings/view_settings.h"
#include "settings/ini_file.h"
#include <iterator>
#include <string>

namespace {

constexpr wchar_t ViewSection[] = L"view";
constexpr wchar_t SentenceKey[] = L"sentence";
constexpr wchar_t FocusKey[] = L"focus";
constexpr wchar_t LineSpacingKey[] = L"linespacing";
const wchar_t* const LineSpacingTexts[] = {L"1", L"1.5", L"2"};
constexpr AppSettingsRecord FirstRun{};

bool ReadFlag(const CIniFile& file, const wchar_t* key, bool firstRun)
{
    const std::wstring value = file.GetValue(ViewSection, key, L"");
    return value == L"0" ? false : value == L"1" ? true : firstRun;
}

bool HasKey(const CIniFile& file, const wchar_t* key)
{
    return file.FindKey(file.FindSection(ViewSection), key) >= 0;
}

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
    settings.markSentence = ReadFlag(file, SentenceKey, FirstRun.markSentence);
    settings.focusMode = ReadFlag(file, FocusKey, FirstRun.focusMode);
    const std::wstring spacing = file.GetValue(ViewSection, LineSpacingKey, L"");
    settings.lineSpacingPercent = FirstRun.lineSpacingPercent;
    for (const int percent : LineSpacings)
        if (spacing == LineSpacingText(percent))
            settings.lineSpacingPercent = percent;
}

void WriteViewSettings(CIniFile& file, const AppSettingsRecord& settings)
{
    if (settings.markSentence != FirstRun.markSentence || HasKey(file, SentenceKey))
        file.SetBool(ViewSection, SentenceKey, settings.markSentence);
    if (settings.focusMode != FirstRun.focusMode || HasKey(file, FocusKey))
        file.SetBool(ViewSection, FocusKey, settings.focusMode);
    if (settings.lineSpacingPercent != FirstRun.lineSpacingPercent || HasKey(file, LineSpacingKey))
        file.SetValue(ViewSection, LineSpacingKey, LineSpacingText(settings.lineSpacingPercent));
}
