#pragma once
// The settings file described as a table of fields: each names its section and key, the
// kind of value it holds, the range or the values it may take, and the field of
// AppSettingsRecord it fills. One reader and one writer walk the table; each kind says
// how its values are read from the file's text and written as text.
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>
#include "settings/app_settings.h"

class CIniFile;

// How a section keeps its keys, and what a key it lacks reads as.
enum class SectionRule {
    // Every key is written at every save, as the oldest copies of the program write them.
    // A key the file lacks reads as 0, false or empty, never as its first-run value.
    WrittenInFull,
    // A key is written only when its value differs from the first-run one, or when the
    // file has the key already (a value changed back must not leave the old one behind),
    // so a file whose user never changed one stays as older copies write it. A key the
    // file lacks, or whose value its kind cannot read, reads as the first-run value.
    WrittenWhenChanged,
    // As WrittenWhenChanged; besides, a key whose value already reads as the setting is
    // left as it stands, so a damaged value the user never changed is not written back
    // as a choice of theirs, and a choice taken back to its first-run value is written
    // empty.
    WrittenWhenChosen,
};

struct SettingSection {
    const wchar_t* name;
    SectionRule rule;
    // Rules between the section's fields, applied once all of them are read.
    void (*checkRead)(AppSettingsRecord& settings) = nullptr;
};

enum class FieldKind {
    Number,          // a decimal number; a text without digits reads as 0
    RangedNumber,    // a Number brought into its range; a file's value that reads as the
                     // setting is not written back, so an odd one stays until it changes
    BoundedNumber,   // a number brought into its range; a text without digits holds none
    Hundredths,      // a decimal with a dot ("2.5") kept in hundredths, brought into its
                     // range; any other text holds none
    Colour,          // a Number whose bits are the colour
    Flag,            // a Number: anything but 0 is on
    Switch,          // "1" on, "0" off, anything else holds no value
    OptionalFlag,    // a Number, 0 off, else on; not set until the file gives one
    HotKey,          // a key in the hot-key control's form, or 0 for none
    OneOf,           // one of the values the program offers, written as its text
    FixedText,       // text that fits the field's array; a longer one reads as empty
    Text,            // any text
    LanguageVoices,  // a voice id per language, each under a key of its own
};

// Where a field lies in a record.
using FieldPlace = const void* (*)(const AppSettingsRecord& settings);

struct ValueRange {
    int lowest = 0;
    int highest = 0;
};

// One row of the table. Its default, what a key the file lacks reads as, is set by its
// section's rule: the field's first-run value, as AppSettingsRecord initialises it, or in
// a section written in full what the kind reads from an empty text.
struct SettingField {
    const SettingSection* section;
    const wchar_t* key;              // LanguageVoices: what each language's key begins with
    FieldKind kind;
    FieldPlace place;
    ValueRange range{};              // RangedNumber, BoundedNumber, Hundredths: what a value is brought into
    size_t capacity = 0;             // FixedText: the array's size, terminator included
    std::span<const int> offered{};  // OneOf: the values the program offers
    const wchar_t* (*offeredText)(int value) = nullptr;   // OneOf: each one's text
};

// Reads the fields from the file into settings, then applies the rules between the
// fields of each section whose last field is among them. What a key the file lacks reads
// as comes from its section's rule.
void ReadSettingFields(const CIniFile& file, std::span<const SettingField> fields, AppSettingsRecord& settings);
// Writes settings into the file as the fields' sections' rules say.
void WriteSettingFields(CIniFile& file, std::span<const SettingField> fields, const AppSettingsRecord& settings);

// The type of the values a kind holds, so that a row of the table cannot give a kind a
// field of another type.
template <class Value>
constexpr bool KindHolds(FieldKind kind)
{
    switch (kind) {
    case FieldKind::Number:
    case FieldKind::RangedNumber:
    case FieldKind::BoundedNumber:
    case FieldKind::Hundredths:
    case FieldKind::HotKey:
    case FieldKind::OneOf:
        return std::is_same_v<Value, int>;
    case FieldKind::Colour:
        return std::is_same_v<Value, COLORREF>;
    case FieldKind::Flag:
    case FieldKind::Switch:
        return std::is_same_v<Value, bool>;
    case FieldKind::OptionalFlag:
        return std::is_same_v<Value, std::optional<bool>>;
    case FieldKind::FixedText:
        return std::is_array_v<Value> && std::is_same_v<std::remove_extent_t<Value>, wchar_t>;
    case FieldKind::Text:
        return std::is_same_v<Value, std::wstring>;
    case FieldKind::LanguageVoices:
        return std::is_same_v<Value, std::vector<LanguageVoice>>;
    }
    return false;
}

template <class Pointer>
struct MemberOf;
template <class Class, class Value>
struct MemberOf<Value Class::*> {
    using Owner = Class;
    using Type = Value;
};

// A field of the record, or one of its listening filters.
template <auto Member>
const void* PlaceOf(const AppSettingsRecord& settings)
{
    if constexpr (std::is_same_v<typename MemberOf<decltype(Member)>::Owner, ListeningFilters>)
        return &(settings.listening.*Member);
    else
        return &(settings.*Member);
}

// A row of the table: a field of the record or of its listening filters, with the range
// of a kind that has one.
template <auto Member>
constexpr SettingField Field(const SettingSection& section, const wchar_t* key, FieldKind kind, ValueRange range = {})
{
    using Value = typename MemberOf<decltype(Member)>::Type;
    // The table is made while the program is compiled: a throw met then stops the build.
    if (!KindHolds<Value>(kind))
        throw "the field is not of the kind's type";
    SettingField field{.section = &section, .key = key, .kind = kind, .place = PlaceOf<Member>, .range = range};
    if constexpr (std::is_array_v<Value>)
        field.capacity = std::extent_v<Value>;
    return field;
}

// A row for a field that takes one of the values offered.
template <auto Member>
constexpr SettingField Field(const SettingSection& section, const wchar_t* key, FieldKind kind,
                             std::span<const int> offered, const wchar_t* (*offeredText)(int value))
{
    SettingField field = Field<Member>(section, key, kind);
    field.offered = offered;
    field.offeredText = offeredText;
    return field;
}
