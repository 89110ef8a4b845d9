#include "settings/voice_settings.h"
#include "settings/ini_file.h"
#include <algorithm>
#include <climits>
#include <cwctype>

namespace {

constexpr wchar_t VoiceSection[] = L"voice";
constexpr wchar_t VoiceKey[] = L"voice";
constexpr wchar_t VolumeKey[] = L"volume";
constexpr wchar_t PitchKey[] = L"pitch";
constexpr wchar_t LanguagesKey[] = L"languages";
// A language's voice: "voice-" and the language's two-letter code ("voice-de").
constexpr wchar_t LanguageVoicePrefix[] = L"voice-";
constexpr size_t LanguageVoicePrefixLength = 6;

std::wstring LanguageVoiceKey(LanguageId language)
{
    std::wstring code = LanguageCode(language);
    std::transform(code.begin(), code.end(), code.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return code.empty() ? std::wstring() : LanguageVoicePrefix + code;
}

bool InFile(const CIniFile& file, const wchar_t* key)
{
    return file.FindKey(file.FindSection(VoiceSection), key) >= 0;
}

// Every key of the section, in the file's order.
std::vector<std::wstring> SectionKeys(const CIniFile& file)
{
    const int section = file.FindSection(VoiceSection);
    return section < 0 ? std::vector<std::wstring>() : file.sections[static_cast<size_t>(section)].keys;
}

bool IsLanguageVoiceKey(const std::wstring& key)
{
    return key.size() > LanguageVoicePrefixLength && _wcsnicmp(key.c_str(), LanguageVoicePrefix, LanguageVoicePrefixLength) == 0;
}

// A damaged value reads as the first-run one, a number out of range as the nearest
// allowed one; empty (written to take a choice back) as missing.
int ReadVolume(const std::wstring& text)
{
    return ParseBoundedInt(text, 0, FullVolume).value_or(AppSettingsRecord{}.volume);
}

int ReadPitch(const std::wstring& text)
{
    return ParseBoundedInt(text, MinPitch, MaxPitch).value_or(AppSettingsRecord{}.pitch);
}

std::optional<bool> ReadLanguages(const std::wstring& text)
{
    const std::optional<int> number = ParseBoundedInt(text, INT_MIN, INT_MAX);
    return number ? std::optional<bool>(*number != 0) : AppSettingsRecord{}.readEachLanguage;
}

// A key whose value already reads as the setting is left as it stands: a damaged or
// out-of-range value the user never changed is not written back as a choice of theirs.
template <class Value, class Read>
void WriteChoice(CIniFile& file, const wchar_t* key, const Value& value, const Value& firstRun, Read read,
                 const std::wstring& text)
{
    if (InFile(file, key) ? read(file.GetValue(VoiceSection, key, L"")) == value : value == firstRun)
        return;
    file.SetValue(VoiceSection, key, value == firstRun ? std::wstring() : text);
}

} // namespace

void ReadVoiceSettings(const CIniFile& file, AppSettingsRecord& settings)
{
    const AppSettingsRecord firstRun;
    settings.voiceId = file.GetValue(VoiceSection, VoiceKey, firstRun.voiceId);
    settings.volume = ReadVolume(file.GetValue(VoiceSection, VolumeKey, L""));
    settings.pitch = ReadPitch(file.GetValue(VoiceSection, PitchKey, L""));
    settings.readEachLanguage = ReadLanguages(file.GetValue(VoiceSection, LanguagesKey, L""));
    settings.languageVoices.clear();
    for (const std::wstring& key : SectionKeys(file)) {
        if (!IsLanguageVoiceKey(key))
            continue;
        const LanguageId language = LanguageFromTag(key.substr(LanguageVoicePrefixLength));
        const std::wstring voiceId = file.GetValue(VoiceSection, key, L"");
        if (language != NoLanguage && !voiceId.empty() && LanguageVoiceId(settings, language).empty())
            settings.languageVoices.push_back({language, voiceId});
    }
}

void WriteVoiceSettings(CIniFile& file, const AppSettingsRecord& settings)
{
    const AppSettingsRecord firstRun;
    if (settings.voiceId != firstRun.voiceId || InFile(file, VoiceKey))
        file.SetValue(VoiceSection, VoiceKey, settings.voiceId);
    WriteChoice(file, VolumeKey, settings.volume, firstRun.volume, ReadVolume, std::to_wstring(settings.volume));
    WriteChoice(file, PitchKey, settings.pitch, firstRun.pitch, ReadPitch, std::to_wstring(settings.pitch));
    WriteChoice(file, LanguagesKey, settings.readEachLanguage, firstRun.readEachLanguage, ReadLanguages,
                std::wstring(settings.readEachLanguage.value_or(false) ? L"1" : L"0"));
    // Choices taken back are emptied, whatever language their key names.
    for (const std::wstring& key : SectionKeys(file)) {
        if (!IsLanguageVoiceKey(key))
            continue;
        const LanguageId language = LanguageFromTag(key.substr(LanguageVoicePrefixLength));
        if (LanguageVoiceId(settings, language).empty() || _wcsicmp(LanguageVoiceKey(language).c_str(), key.c_str()) != 0)
            file.SetValue(VoiceSection, key, L"");
    }
    for (const LanguageVoice& choice : settings.languageVoices)
        if (const std::wstring key = LanguageVoiceKey(choice.language); !key.empty())
            file.SetValue(VoiceSection, key, choice.voiceId);
}

std::wstring VoiceIdName(const std::wstring& id)
{
    const size_t slash = id.find_last_of(L'\\');
    return slash == std::wstring::npos ? id : id.substr(slash + 1);
}

bool SameVoices(const AppSettingsRecord& a, const AppSettingsRecord& b)
{
    if (a.voiceId != b.voiceId || a.pitch != b.pitch || a.readEachLanguage != b.readEachLanguage ||
        a.languageVoices.size() != b.languageVoices.size())
        return false;
    for (const LanguageVoice& choice : a.languageVoices)
        if (LanguageVoiceId(b, choice.language) != choice.voiceId)
            return false;
    return true;
}

std::wstring LanguageVoiceId(const AppSettingsRecord& settings, LanguageId language)
{
    for (const LanguageVoice& choice : settings.languageVoices)
        if (choice.language == language)
            return choice.voiceId;
    return {};
}

void SetLanguageVoiceId(AppSettingsRecord& settings, LanguageId language, const std::wstring& voiceId)
{
    auto& choices = settings.languageVoices;
    choices.erase(std::remove_if(choices.begin(), choices.end(), [&](const LanguageVoice& c) { return c.language == language; }),
                  choices.end());
    if (!voiceId.empty())
        choices.push_back({language, voiceId});
}
