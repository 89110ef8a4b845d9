#pragma once
// The voice settings: a [voice] section of the settings file that holds only what differs
// from the first-run values, so that a file whose user never chose a voice stays exactly
// as older copies of the program write and read it. A missing key keeps its first-run
// value; an empty one (written to take back a choice) or a damaged one reads as missing.
// A volume outside 0..100, a pitch outside -10..10, is brought into it.
#include "settings/app_settings.h"

// The last part of a voice token's id ("...\\Tokens\\TTS_MS_DE-DE_HEDDA_11.0"): what names
// a voice that is not installed.
std::wstring VoiceIdName(const std::wstring& id);

// Whether two records choose the same voices, at the same pitch.
bool SameVoices(const AppSettingsRecord& a, const AppSettingsRecord& b);

// The user's voice for a language, empty when there is none.
std::wstring LanguageVoiceId(const AppSettingsRecord& settings, LanguageId language);
std::wstring LanguageVoiceId(const std::vector<LanguageVoice>& choices, LanguageId language);
// Sets it; an empty id takes the choice back.
void SetLanguageVoiceId(AppSettingsRecord& settings, LanguageId language, const std::wstring& voiceId);
