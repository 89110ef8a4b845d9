#pragma once
// What the voice hears after the pronunciation dictionary: the spoken text with the
// dictionary's replacements made, and its map to the view kept. A replacement stands for
// all the view text of what it replaces, so the highlight covers the word as written for
// as long as any word of what is said for it is spoken.
#include <memory>
#include <string>
#include <vector>
#include "pronunciation/pronouncer.h"
#include "speech/spoken_text.h"

// heard with the replacements (in its positions, in order, none overlapping) made. A
// replacement that reaches into what a listening filter says for a stretch of the view
// takes that stretch whole.
SpokenText Pronounced(const SpokenText& heard, const std::vector<TextReplacement>& replacements);

// What the voice hears of a text: what the listening filters make of it, and what the
// pronunciation dictionary then makes of that (the same text when it changes nothing).
struct HeardText {
    std::shared_ptr<const SpokenText> filtered;
    std::shared_ptr<const SpokenText> spoken;
};
// May run on any thread, one at a time for a pronouncer.
HeardText Pronounce(SpokenText filtered, const Pronouncer& pronouncer);

// The pronouncer for the dictionary of the session and a voice, made again only when
// either changed. One that a thread still uses lives on until it is done.
class PronouncerCache {
public:
    std::shared_ptr<const Pronouncer> For(const std::wstring& voiceName);

private:
    std::shared_ptr<const Pronouncer> pronouncer_;
    unsigned version_ = 0;
    std::wstring voiceName_;
};
