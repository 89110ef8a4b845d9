#include "settings/setting_fields.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>

#include "settings/ini_file.h"
#include "settings/voice_settings.h"

namespace {

constexpr AppSettingsRecord FirstRun{};
constexpr int KnownHotKeyModifiers = HOTKEYF_SHIFT | HOTKEYF_CONTROL | HOTKEYF_ALT | HOTKEYF_EXT;

// What a kind does with its values; the field's place gives the value untyped, the kind
// knows its type.
struct KindHandler {
    // False when the text holds no value of the kind: the field then takes its default.
    bool (*parse)(const SettingField& field, const std::wstring& text, void* value) = nullptr;
    std::wstring (*format)(const SettingField& field, const void* value) = nullptr;
    bool (*same)(const void* a, const void* b) = nullptr;
    void (*copy)(void* to, const void* from) = nullptr;
    // The value the file already holds stays while it reads as the setting, in every
    // section: a value the program could not use as it stands is not written back in a
    // form the user never chose.
    bool keepsFileReading = false;
    // Set for a kind whose field spans a family of keys: reads and writes them itself, in
    // place of the above.
    void (*readKeys)(const CIniFile& file, const SettingField& field, void* value) = nullptr;
    void (*writeKeys)(CIniFile& file, const SettingField& field, const void* value) = nullptr;
};

template <class Value>
using ParseFunction = bool (*)(const SettingField& field, const std::wstring& text, Value& value);
template <class Value>
using FormatFunction = std::wstring (*)(const SettingField& field, const Value& value);

// A kind from its typed reading and writing; values compare and copy as their type does.
template <class Value, ParseFunction<Value> Parse, FormatFunction<Value> Format>
constexpr KindHandler TypedKind(bool keepsFileReading = false)
{
    return {
        .parse = [](const SettingField& field, const std::wstring& text, void* value) {
            return Parse(field, text, *static_cast<Value*>(value));
        },
        .format = [](const SettingField& field, const void* value) {
            return Format(field, *static_cast<const Value*>(value));
        },
        .same = [](const void* a, const void* b) {
            return *static_cast<const Value*>(a) == *static_cast<const Value*>(b);
        },
        .copy = [](void* to, const void* from) { *static_cast<Value*>(to) = *static_cast<const Value*>(from); },
        .keepsFileReading = keepsFileReading,
    };
}

bool ParseNumber(const SettingField&, const std::wstring& text, int& value)
{
    value = ParseDecimalInt(text);
    return true;
}

std::wstring FormatNumber(const SettingField&, const int& value)
{
    return std::to_wstring(value);
}

bool ParseRangedNumber(const SettingField& field, const std::wstring& text, int& value)
{
    value = std::clamp(ParseDecimalInt(text), field.range.lowest, field.range.highest);
    return true;
}

bool ParseBoundedNumber(const SettingField& field, const std::wstring& text, int& value)
{
    const std::optional<int> number = ParseBoundedInt(text, field.range.lowest, field.range.highest);
    if (number)
        value = *number;
    return number.has_value();
}

bool ParseHundredths(const SettingField& field, const std::wstring& text, int& value)
{
    const std::optional<int> number = ParseBoundedHundredths(text, field.range.lowest, field.range.highest);
    if (number)
        value = *number;
    return number.has_value();
}

std::wstring FormatHundredthsValue(const SettingField&, const int& value)
{
    return FormatHundredths(value);
}

bool ParseColour(const SettingField&, const std::wstring& text, COLORREF& value)
{
    // Kept as a signed number; the bits are the colour.
    value = static_cast<COLORREF>(ParseDecimalInt(text));
    return true;
}

std::wstring FormatColour(const SettingField&, const COLORREF& value)
{
    return std::to_wstring(static_cast<int>(value));
}

bool ParseFlag(const SettingField&, const std::wstring& text, bool& value)
{
    value = ParseDecimalInt(text) != 0;
    return true;
}

std::wstring FormatFlag(const SettingField&, const bool& value)
{
    return value ? L"1" : L"0";
}

bool ParseSwitch(const SettingField&, const std::wstring& text, bool& value)
{
    if (text != L"0" && text != L"1")
        return false;
    value = text == L"1";
    return true;
}

bool ParseOptionalFlag(const SettingField&, const std::wstring& text, std::optional<bool>& value)
{
    const std::optional<int> number = ParseBoundedInt(text, INT_MIN, INT_MAX);
    if (number)
        value = *number != 0;
    return number.has_value();
}

std::wstring FormatOptionalFlag(const SettingField&, const std::optional<bool>& value)
{
    return value.value_or(false) ? L"1" : L"0";
}

// A value the control could not have made (unknown modifier flags, modifiers without a
// key) is damaged; a text that is no number reads as 0, a key cleared, as everywhere in
// the file.
bool ParseHotKey(const SettingField&, const std::wstring& text, int& value)
{
    const int number = ParseDecimalInt(text);
    const bool isHotKey = number == 0 || (number > 0 && number <= 0xFFFF && LOBYTE(number) != 0 &&
                                          (HIBYTE(number) & ~KnownHotKeyModifiers) == 0);
    if (isHotKey)
        value = number;
    return isHotKey;
}

bool ParseOneOf(const SettingField& field, const std::wstring& text, int& value)
{
    const auto offered = std::find_if(field.offered.begin(), field.offered.end(),
                                      [&](int candidate) { return text == field.offeredText(candidate); });
    if (offered == field.offered.end())
        return false;
    value = *offered;
    return true;
}

std::wstring FormatOneOf(const SettingField& field, const int& value)
{
    return field.offeredText(value);
}

bool ParseText(const SettingField&, const std::wstring& text, std::wstring& value)
{
    value = text;
    return true;
}

std::wstring FormatText(const SettingField&, const std::wstring& value)
{
    return value;
}

// A value too long for its array is dropped rather than cut: a cut path names another
// folder.
bool ParseFixedText(const SettingField& field, const std::wstring& text, void* value)
{
    const size_t length = text.size() < field.capacity ? text.size() : 0;
    wchar_t* array = static_cast<wchar_t*>(value);
    wmemcpy(array, text.c_str(), length);
    array[length] = L'\0';
    return true;
}

std::wstring FormatFixedText(const SettingField&, const void* value)
{
    return static_cast<const wchar_t*>(value);
}

bool SameFixedText(const void* a, const void* b)
{
    return wcscmp(static_cast<const wchar_t*>(a), static_cast<const wchar_t*>(b)) == 0;
}

// Only ever between two arrays of the same field, so the text fits.
void CopyFixedText(void* to, const void* from)
{
    wcscpy(static_cast<wchar_t*>(to), static_cast<const wchar_t*>(from));
}

// The language's own key: the field's key and the language's code in lower case
// ("voice-de"); empty for a language without a code.
std::wstring LanguageVoiceKey(const SettingField& field, LanguageId language)
{
    std::wstring code = LanguageCode(language);
    std::transform(code.begin(), code.end(), code.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return code.empty() ? std::wstring() : field.key + code;
}

// The language a key of the family names, in any case; nothing for another key.
std::optional<LanguageId> LanguageOfKey(const SettingField& field, const std::wstring& key)
{
    const size_t prefixLength = wcslen(field.key);
    if (key.size() <= prefixLength || _wcsnicmp(key.c_str(), field.key, prefixLength) != 0)
        return std::nullopt;
    return LanguageFromTag(key.substr(prefixLength));
}

// Every key of the field's section, in the file's order.
std::vector<std::wstring> SectionKeys(const CIniFile& file, const SettingField& field)
{
    const int section = file.FindSection(field.section->name);
    return section < 0 ? std::vector<std::wstring>() : file.sections[static_cast<size_t>(section)].keys;
}

// The first key a language has counts; an empty value (a choice taken back) and a key
// that names no language are none.
void ReadLanguageVoices(const CIniFile& file, const SettingField& field, void* value)
{
    std::vector<LanguageVoice>& choices = *static_cast<std::vector<LanguageVoice>*>(value);
    choices.clear();
    for (const std::wstring& key : SectionKeys(file, field)) {
        const std::optional<LanguageId> language = LanguageOfKey(field, key);
        if (!language)
            continue;
        const std::wstring voiceId = file.GetValue(field.section->name, key, L"");
        if (*language != NoLanguage && !voiceId.empty() && LanguageVoiceId(choices, *language).empty())
            choices.push_back({*language, voiceId});
    }
}

void WriteLanguageVoices(CIniFile& file, const SettingField& field, const void* value)
{
    const std::vector<LanguageVoice>& choices = *static_cast<const std::vector<LanguageVoice>*>(value);
    // Choices taken back are emptied, whatever language their key names.
    for (const std::wstring& key : SectionKeys(file, field)) {
        const std::optional<LanguageId> language = LanguageOfKey(field, key);
        if (language && (LanguageVoiceId(choices, *language).empty() ||
                         _wcsicmp(LanguageVoiceKey(field, *language).c_str(), key.c_str()) != 0))
            file.SetValue(field.section->name, key, L"");
    }
    for (const LanguageVoice& choice : choices)
        if (const std::wstring key = LanguageVoiceKey(field, choice.language); !key.empty())
            file.SetValue(field.section->name, key, choice.voiceId);
}

constexpr KindHandler NumberKind = TypedKind<int, ParseNumber, FormatNumber>();
constexpr KindHandler RangedNumberKind = TypedKind<int, ParseRangedNumber, FormatNumber>(true);
constexpr KindHandler BoundedNumberKind = TypedKind<int, ParseBoundedNumber, FormatNumber>();
constexpr KindHandler HundredthsKind = TypedKind<int, ParseHundredths, FormatHundredthsValue>();
constexpr KindHandler ColourKind = TypedKind<COLORREF, ParseColour, FormatColour>();
constexpr KindHandler FlagKind = TypedKind<bool, ParseFlag, FormatFlag>();
constexpr KindHandler SwitchKind = TypedKind<bool, ParseSwitch, FormatFlag>();
constexpr KindHandler OptionalFlagKind = TypedKind<std::optional<bool>, ParseOptionalFlag, FormatOptionalFlag>();
constexpr KindHandler HotKeyKind = TypedKind<int, ParseHotKey, FormatNumber>();
constexpr KindHandler OneOfKind = TypedKind<int, ParseOneOf, FormatOneOf>();
constexpr KindHandler TextKind = TypedKind<std::wstring, ParseText, FormatText>();
constexpr KindHandler FixedTextKind{ParseFixedText, FormatFixedText, SameFixedText, CopyFixedText};
constexpr KindHandler LanguageVoicesKind{.readKeys = ReadLanguageVoices, .writeKeys = WriteLanguageVoices};

const KindHandler& HandlerOf(const SettingField& field)
{
    switch (field.kind) {
    case FieldKind::Number: return NumberKind;
    case FieldKind::RangedNumber: return RangedNumberKind;
    case FieldKind::BoundedNumber: return BoundedNumberKind;
    case FieldKind::Hundredths: return HundredthsKind;
    case FieldKind::Colour: return ColourKind;
    case FieldKind::Flag: return FlagKind;
    case FieldKind::Switch: return SwitchKind;
    case FieldKind::OptionalFlag: return OptionalFlagKind;
    case FieldKind::HotKey: return HotKeyKind;
    case FieldKind::OneOf: return OneOfKind;
    case FieldKind::FixedText: return FixedTextKind;
    case FieldKind::Text: return TextKind;
    case FieldKind::LanguageVoices: return LanguageVoicesKind;
    }
    return NumberKind;
}

// The table finds a field through a record it only reads; the record given here is one
// the caller may change.
void* PlaceIn(const SettingField& field, AppSettingsRecord& settings)
{
    return const_cast<void*>(field.place(settings));
}

void ReadField(const CIniFile& file, const SettingField& field, AppSettingsRecord& settings)
{
    const KindHandler& kind = HandlerOf(field);
    void* value = PlaceIn(field, settings);
    if (kind.readKeys) {
        kind.readKeys(file, field, value);
        return;
    }
    const bool inFile = file.HasKey(field.section->name, field.key);
    const std::wstring text = inFile ? file.GetValue(field.section->name, field.key, L"") : std::wstring();
    if (field.section->rule == SectionRule::WrittenInFull)
        kind.parse(field, text, value);   // every text reads as some value; a missing key as an empty one
    else if (!inFile || !kind.parse(field, text, value))
        kind.copy(value, field.place(FirstRun));
}

// Whether the file's value for the field reads as the given one.
bool FileReadsAs(const CIniFile& file, const SettingField& field, const void* value)
{
    AppSettingsRecord fromFile;
    ReadField(file, field, fromFile);
    return HandlerOf(field).same(field.place(fromFile), value);
}

void WriteField(CIniFile& file, const SettingField& field, const AppSettingsRecord& settings)
{
    const KindHandler& kind = HandlerOf(field);
    const void* value = field.place(settings);
    if (kind.writeKeys) {
        kind.writeKeys(file, field, value);
        return;
    }
    const SectionRule rule = field.section->rule;
    const bool isFirstRun = kind.same(value, field.place(FirstRun));
    if (file.HasKey(field.section->name, field.key)) {
        if ((kind.keepsFileReading || rule == SectionRule::WrittenWhenChosen) && FileReadsAs(file, field, value))
            return;
    } else if (rule != SectionRule::WrittenInFull && isFirstRun) {
        return;
    }
    const bool takenBack = rule == SectionRule::WrittenWhenChosen && isFirstRun;
    file.SetValue(field.section->name, field.key, takenBack ? std::wstring() : kind.format(field, value));
}

} // namespace

void ReadSettingFields(const CIniFile& file, std::span<const SettingField> fields, AppSettingsRecord& settings)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        ReadField(file, fields[i], settings);
        const SettingSection& section = *fields[i].section;
        const bool lastOfSection = i + 1 == fields.size() || fields[i + 1].section != &section;
        if (lastOfSection && section.checkRead)
            section.checkRead(settings);
    }
}

void WriteSettingFields(CIniFile& file, std::span<const SettingField> fields, const AppSettingsRecord& settings)
{
    for (const SettingField& field : fields)
        WriteField(file, field, settings);
}
