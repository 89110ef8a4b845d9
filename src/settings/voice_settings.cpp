#include "settings/voice_settings.h"
#include "settings/ini_file.h"
#include <algorithm>
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

} // namespace

void ReadVoiceSettings(const CIniFile& file, AppSettingsRecord& settings)
{
    const AppSettingsRecord firstRun;
    settings.voiceId = file.GetValue(VoiceSection, VoiceKey, firstRun.voiceId);
    const std::wstring volume = file.GetValue(VoiceSection, VolumeKey, L"");
    settings.volume = volume.empty() ? firstRun.volume : std::clamp(ParseDecimalInt(volume), 0, FullVolume);
    const std::wstring pitch = file.GetValue(VoiceSection, PitchKey, L"");
    settings.pitch = pitch.empty() ? firstRun.pitch : std::clamp(ParseDecimalInt(pitch), MinPitch, MaxPitch);
    const std::wstring languages = file.GetValue(VoiceSection, LanguagesKey, L"");
    settings.readEachLanguage = languages.empty() ? firstRun.readEachLanguage
                                                  : std::optional<bool>(ParseDecimalInt(languages) != 0);
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
    if (settings.volume != firstRun.volume || InFile(file, VolumeKey))
        file.SetValue(VoiceSection, VolumeKey, settings.volume == firstRun.volume ? L"" : std::to_wstring(settings.volume));
    if (settings.pitch != firstRun.pitch || InFile(file, PitchKey))
        file.SetValue(VoiceSection, PitchKey, settings.pitch == firstRun.pitch ? L"" : std::to_wstring(settings.pitch));
    if (settings.readEachLanguage || InFile(file, LanguagesKey))
        file.SetValue(VoiceSection, LanguagesKey,
                      settings.readEachLanguage ? std::to_wstring(*settings.readEachLanguage ? 1 : 0) : L"");
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
