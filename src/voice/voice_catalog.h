#pragma once
// The voices installed on the system, as the speech platform lists them: its voice
// category and, where the system has it, the newer one under Speech_OneCore, whose
// voices the platform speaks with as well.
#include <windows.h>
#include <sapi.h>
#include <string>
#include <vector>
#include "platform/com_ptr.h"
#include "hearing/language_detect.h"

struct InstalledVoice {
    std::wstring id;      // the token's id, as the settings keep it
    std::wstring name;    // as the platform shows it
    std::vector<LanguageId> languages;
    ComPtr<ISpObjectToken> token;

    bool Speaks(LanguageId language) const;
};

class VoiceCatalog {
public:
    VoiceCatalog() = default;
    // defaultId: the id of the voice the platform reads with unless told otherwise.
    VoiceCatalog(std::vector<InstalledVoice> voices, std::wstring defaultId);
    // The voices installed now; a category that cannot be read adds none.
    static VoiceCatalog Enumerate(const std::wstring& defaultId);

    const std::vector<InstalledVoice>& Voices() const { return voices_; }
    const std::wstring& DefaultId() const { return defaultId_; }
    const InstalledVoice* Find(const std::wstring& id) const;
    // The first voice that speaks the language, in the platform's order.
    const InstalledVoice* FirstFor(LanguageId language) const;
    // The languages some voice speaks, each once, in the order of their first voice.
    std::vector<LanguageId> Languages() const;

private:
    std::vector<InstalledVoice> voices_;
    std::wstring defaultId_;
};

// The languages of a voice token's Language attribute: hexadecimal LANGIDs parted by
// semicolons ("409;9"), each taken as its primary language.
std::vector<LanguageId> ParseVoiceLanguages(const std::wstring& attribute);

// The id of the voice's current token; empty when it cannot tell.
std::wstring VoiceTokenId(ISpVoice* voice);

// "Name (Language)", as the Speech tab lists a voice.
std::wstring VoiceLabel(const InstalledVoice& voice);
