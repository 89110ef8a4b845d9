#pragma once
// What the voice hears after the pronunciation dictionary: the spoken text with the
// dictionary's replacements made, and its map to the view kept. A replacement stands for
// all the view text of what it replaces, so the highlight covers the word as written for
// as long as any word of what is said for it is spoken.
#include <memory>
#include <string>
#include <vector>
#include "platform/language_id.h"
#include "pronunciation/pronouncer.h"
#include "hearing/paragraph_languages.h"
#include "pronunciation/pronunciation_store.h"
#include "hearing/spoken_text.h"

// heard with the replacements (in its positions, in order, none overlapping) made. A
// replacement that reaches into what a listening filter says for a stretch of the view
// takes that stretch whole.
SpokenText WithReplacements(const SpokenText& heard, const std::vector<TextReplacement>& replacements);

// What the voice hears of a text: what the listening filters make of it, and what the
// pronunciation dictionary then makes of that (the same text when it changes nothing).
struct HeardText {
    std::shared_ptr<const SpokenText> filtered;
    std::shared_ptr<const SpokenText> spoken;
    // What the dictionary left undone of it.
    PronunciationReport report;
    // The languages of the filtered text's paragraphs, where the dictionary had to find
    // them (its entries differ by voice); null else. The reading takes them over.
    std::shared_ptr<ParagraphLanguages> languages;
};
// The filtered text heard as it is: the dictionary has nothing for it, or not yet.
inline HeardText HeardAsFiltered(std::shared_ptr<const SpokenText> filtered)
{
    return {filtered, filtered, {}, nullptr};
}
// May run on any thread, on several at once; the watch is the caller's for this text.
HeardText ApplyDictionary(std::shared_ptr<const SpokenText> filtered, const Pronouncer& pronouncer, PronunciationWatch& watch);

// The dictionary made ready for each voice that reads a part of the text: the chosen
// voice's, and that of each language read by another voice whose entries differ.
struct DictionaryByVoice {
    std::shared_ptr<const Pronouncer> chosen;
    std::vector<std::pair<LanguageId, std::shared_ptr<const Pronouncer>>> byLanguage;

    bool operator==(const DictionaryByVoice&) const = default;
};
// Each paragraph of the filtered text hears the entries of the voice that reads it, its
// language found as the reading finds it. A match that reaches across paragraphs of two
// voices is not made.
HeardText ApplyDictionary(std::shared_ptr<const SpokenText> filtered, const DictionaryByVoice& pronouncers,
                    PronunciationWatch& watch);
// Whether any of them has an entry.
bool HasEntries(const DictionaryByVoice& pronouncers);

// The pronouncers for the dictionary of the session and the voices asked for, made again
// only when the dictionary changed. One that a thread still uses lives on until it is done.
class PronouncerCache {
public:
    explicit PronouncerCache(const PronunciationStoreRecord& store) : store_(store) {}
    std::shared_ptr<const Pronouncer> For(const std::wstring& voiceName);
    // Whether some entry is meant for one voice only.
    bool HasVoiceEntries() const;

private:
    const PronunciationStoreRecord& store_;
    std::vector<std::pair<std::wstring, std::shared_ptr<const Pronouncer>>> pronouncers_;
    unsigned version_ = 0;
};
