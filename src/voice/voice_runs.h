#pragma once
// Which voice reads which part of what the voice hears: the voice the settings choose,
// or, when each language is read with a voice of its own, the voice of each paragraph's
// language. The languages are those of the filtered text's paragraphs, found once for a
// text and as the reading reaches them; the pronunciation dictionary, when its entries
// differ by voice, has found them already and hands them over.
#include <windows.h>
#include <sapi.h>
#include <memory>
#include <string>
#include <vector>
#include "hearing/paragraph_languages.h"
#include "hearing/spoken_text.h"
#include "platform/com_ptr.h"
#include "voice/voice_catalog.h"

// A stretch of the spoken text that one voice reads.
struct VoiceRun {
    int start = 0;
    int end = 0;                        // past the run
    LanguageId language = NoLanguage;   // NoLanguage: not known
    ComPtr<ISpObjectToken> voice;       // null: the voice the engine reads with by itself
    bool withoutVoice = false;          // the language has no voice of its own
};

// What the voice is given for one run, as a reading gives it: the run's text, or its
// pitch markup.
struct SpokenPart {
    std::wstring text;
    ComPtr<ISpObjectToken> voice;
    bool markup = false;
    // Where the run starts in the spoken text, and for markup the map from its positions
    // to the run's own text: the voice's positions lead back through both.
    int offset = 0;
    std::shared_ptr<const SpokenText> markupMap{};
};

// The whole text as a reading gives it to the voices, and the way back from what they
// say to what the view shows.
struct SpokenWhole {
    std::vector<SpokenPart> parts;
    std::shared_ptr<const SpokenText> spoken{};
    std::shared_ptr<const std::wstring> shown{};
};

class VoiceRuns {
public:
    // The voices installed now; defaultName names the one the engine reads with unless
    // told otherwise.
    void UseCatalog(VoiceCatalog voices, std::wstring defaultName);
    const VoiceCatalog& Catalog() const { return voices_; }
    const std::wstring& DefaultName() const { return defaultName_; }

    // The voice the settings choose; null for the system's default, also when the
    // chosen one is not installed.
    const InstalledVoice* ChosenVoice() const;
    // The display name of the chosen voice, or of the system's default one.
    std::wstring ChosenVoiceName() const;
    // The settings name a voice that is not installed: the default reads until it returns.
    bool ChosenVoiceMissing() const;
    // Whether each paragraph is read with a voice of its language, by the settings or,
    // when they leave it open, by whether voices of more than one language are installed.
    bool ReadsEachLanguage() const;
    // The voice of a language: the user's choice for it, the chosen voice when it speaks
    // it, or the first that does; null when none does.
    const InstalledVoice* VoiceForLanguage(LanguageId language) const;

    // What the voice hears is spoken now, made from filtered (the listening filters'
    // text, whose paragraphs have the languages); languages: those found of filtered
    // already, or null.
    void UseText(std::shared_ptr<const SpokenText> spoken, std::shared_ptr<const SpokenText> filtered,
                 std::shared_ptr<ParagraphLanguages> languages);
    // The run from offset of the spoken text on, with its voice.
    VoiceRun RunFrom(int offset);
    // The name of the voice that reads the spoken text at offset.
    std::wstring VoiceNameAt(int offset);
    // The runs of the whole spoken text, as a reading would read them.
    std::vector<VoiceRun> AllRuns();

private:
    VoiceCatalog voices_;
    std::wstring defaultName_;
    std::shared_ptr<const SpokenText> spoken_;
    std::shared_ptr<const SpokenText> filtered_;
    std::shared_ptr<ParagraphLanguages> languages_;
};
