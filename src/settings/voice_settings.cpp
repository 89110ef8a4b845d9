#include "settings/voice_settings.h"
#include <algorithm>

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
    return LanguageVoiceId(settings.languageVoices, language);
}

std::wstring LanguageVoiceId(const std::vector<LanguageVoice>& choices, LanguageId language)
{
    for (const LanguageVoice& choice : choices)
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
