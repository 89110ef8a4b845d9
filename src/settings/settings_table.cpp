#include "settings/settings_table.h"

#include <algorithm>
#include <iterator>

#include "settings/export_settings.h"
#include "settings/hot_key_settings.h"
#include "settings/view_settings.h"

namespace {

constexpr SettingSection WindowSection{L"window", SectionRule::WrittenInFull};
// The file's [settings] section: the program's general behaviour.
constexpr SettingSection GeneralSection{L"settings", SectionRule::WrittenInFull};
constexpr SettingSection ExportSection{L"export", SectionRule::WrittenInFull};
// Export choices newer than the section, in it only once the user makes them, so that a
// first-run file stays as the oldest copies write it.
constexpr SettingSection ExportChoicesSection{L"export", SectionRule::WrittenWhenChanged};
constexpr SettingSection VoiceSection{L"voice", SectionRule::WrittenWhenChosen};

} // namespace

constexpr SettingSection HotKeysSection{L"hotkeys", SectionRule::WrittenWhenChanged, SetAsideRefusedHotKeys};
constexpr SettingSection ListeningSection{L"listening", SectionRule::WrittenWhenChanged};
constexpr SettingSection ViewSection{L"view", SectionRule::WrittenWhenChanged};
constexpr SettingSection HistorySection{L"history", SectionRule::WrittenWhenChanged};
constexpr SettingSection OcrSection{L"ocr", SectionRule::WrittenWhenChanged};
// Notes the program gives once per settings file; a file gains the section only then.
constexpr SettingSection NotesSection{L"notes", SectionRule::WrittenWhenChosen};

namespace {

constexpr SettingField Table[] = {
    Field<&AppSettingsRecord::x>(WindowSection, L"x", FieldKind::Number),
    Field<&AppSettingsRecord::y>(WindowSection, L"y", FieldKind::Number),
    Field<&AppSettingsRecord::width>(WindowSection, L"width", FieldKind::Number),
    Field<&AppSettingsRecord::height>(WindowSection, L"height", FieldKind::Number),
    Field<&AppSettingsRecord::showBorder>(WindowSection, L"border", FieldKind::Flag),
    Field<&AppSettingsRecord::speechWindowShown>(WindowSection, L"window", FieldKind::Flag),
    Field<&AppSettingsRecord::closeQuits>(WindowSection, L"close", FieldKind::Flag),
    Field<&AppSettingsRecord::confirmDeleteAll>(WindowSection, L"delete", FieldKind::Flag),
    Field<&AppSettingsRecord::alwaysOnTop>(WindowSection, L"top", FieldKind::Flag),
    Field<&AppSettingsRecord::opacity>(WindowSection, L"transparency", FieldKind::Number),
    Field<&AppSettingsRecord::backgroundColour>(WindowSection, L"background", FieldKind::Colour),
    Field<&AppSettingsRecord::textColour>(WindowSection, L"text", FieldKind::Colour),
    Field<&AppSettingsRecord::bold>(WindowSection, L"bold", FieldKind::Flag),
    Field<&AppSettingsRecord::italic>(WindowSection, L"italic", FieldKind::Flag),
    Field<&AppSettingsRecord::fontHeightPixels>(WindowSection, L"point", FieldKind::Number),
    Field<&AppSettingsRecord::fontCharset>(WindowSection, L"charset", FieldKind::Number),
    Field<&AppSettingsRecord::fontFace>(WindowSection, L"font", FieldKind::FixedText),

    Field<&AppSettingsRecord::confirmQuit>(GeneralSection, L"confirm", FieldKind::Flag),
    Field<&AppSettingsRecord::startWithWindows>(GeneralSection, L"start", FieldKind::Flag),
    Field<&AppSettingsRecord::monitorClipboard>(GeneralSection, L"clipboard", FieldKind::Flag),
    Field<&AppSettingsRecord::appendCopies>(GeneralSection, L"append", FieldKind::Flag),
    Field<&AppSettingsRecord::repeatReading>(GeneralSection, L"repeat", FieldKind::Flag),
    // A rate the voices cannot take reads as the nearest one they can.
    Field<&AppSettingsRecord::speechRate>(GeneralSection, L"rate", FieldKind::RangedNumber,
                                          {MinSpeechRate, MaxSpeechRate}),
    Field<&AppSettingsRecord::autoPlay>(GeneralSection, L"autoplay", FieldKind::Flag),
    Field<&AppSettingsRecord::autoScroll>(GeneralSection, L"autoscroll", FieldKind::Flag),
    Field<&AppSettingsRecord::showFullText>(GeneralSection, L"fulltext", FieldKind::Flag),

    Field<&AppSettingsRecord::exportAsWav>(ExportSection, L"wav", FieldKind::Flag),
    Field<&AppSettingsRecord::mp3BitRate>(ExportSection, L"mp3rate", FieldKind::Number),
    Field<&AppSettingsRecord::wavFolder>(ExportSection, L"wavdir", FieldKind::FixedText),
    Field<&AppSettingsRecord::encoderFolder>(ExportSection, L"lamedir", FieldKind::FixedText),
    Field<&AppSettingsRecord::mp3Folder>(ExportSection, L"mp3dir", FieldKind::FixedText),
    Field<&AppSettingsRecord::timedText>(ExportChoicesSection, L"timedtext", FieldKind::OneOf, TimedTextFormats,
                                         TimedTextKey),

    Field<HotKeySettings[0].field>(HotKeysSection, HotKeySettings[0].iniKey, FieldKind::HotKey),
    Field<HotKeySettings[1].field>(HotKeysSection, HotKeySettings[1].iniKey, FieldKind::HotKey),
    Field<HotKeySettings[2].field>(HotKeysSection, HotKeySettings[2].iniKey, FieldKind::HotKey),

    Field<&ListeningFilters::joinLines>(ListeningSection, L"joinlines", FieldKind::Switch),
    Field<&ListeningFilters::joinHyphens>(ListeningSection, L"hyphens", FieldKind::Switch),
    Field<&ListeningFilters::webAddresses>(ListeningSection, L"links", FieldKind::Switch),
    Field<&ListeningFilters::citations>(ListeningSection, L"citations", FieldKind::Switch),
    Field<&ListeningFilters::markdown>(ListeningSection, L"markdown", FieldKind::Switch),
    Field<&ListeningFilters::emoji>(ListeningSection, L"emoji", FieldKind::Switch),

    Field<&AppSettingsRecord::markSentence>(ViewSection, L"sentence", FieldKind::Switch),
    Field<&AppSettingsRecord::focusMode>(ViewSection, L"focus", FieldKind::Switch),
    Field<&AppSettingsRecord::lineSpacingPercent>(ViewSection, L"linespacing", FieldKind::OneOf, LineSpacings,
                                                  LineSpacingText),

    Field<&AppSettingsRecord::keepHistory>(HistorySection, L"keep", FieldKind::Switch),

    Field<&AppSettingsRecord::readImages>(OcrSection, L"read", FieldKind::Switch),

    Field<&AppSettingsRecord::voiceId>(VoiceSection, L"voice", FieldKind::Text),
    Field<&AppSettingsRecord::volume>(VoiceSection, L"volume", FieldKind::BoundedNumber, {0, FullVolume}),
    Field<&AppSettingsRecord::pitch>(VoiceSection, L"pitch", FieldKind::BoundedNumber, {MinPitch, MaxPitch}),
    // "2.5": two and a half times the voice's own pace.
    Field<&AppSettingsRecord::speedPercent>(VoiceSection, L"speed", FieldKind::Hundredths,
                                            {MinSpeedPercent, MaxSpeedPercent}),
    Field<&AppSettingsRecord::readEachLanguage>(VoiceSection, L"languages", FieldKind::OptionalFlag),
    // "voice-" and the language's two-letter code: "voice-de".
    Field<&AppSettingsRecord::languageVoices>(VoiceSection, L"voice-", FieldKind::LanguageVoices),

    Field<&AppSettingsRecord::hearingCopiesNoteShown>(NotesSection, L"hearcopies", FieldKind::Flag),
};

// A section's fields are found as one run, and the rules between them applied after the
// last: each section's fields stand together.
constexpr bool SectionsStandTogether()
{
    for (size_t i = 1; i < std::size(Table); ++i)
        for (size_t earlier = 0; earlier + 1 < i; ++earlier)
            if (Table[earlier].section == Table[i].section && Table[i - 1].section != Table[i].section)
                return false;
    return true;
}
static_assert(SectionsStandTogether());
static_assert(HotKeyCount == 3, "each hot key has its row in the table");

} // namespace

std::span<const SettingField> SettingsTable()
{
    return Table;
}

std::span<const SettingField> SectionFields(const SettingSection& section)
{
    const auto inSection = [&](const SettingField& field) { return field.section == &section; };
    const SettingField* first = std::find_if(std::begin(Table), std::end(Table), inSection);
    const SettingField* last = std::find_if_not(first, std::end(Table), inSection);
    return {first, last};
}
