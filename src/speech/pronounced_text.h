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

// The pronouncer for the dictionary of the session and a voice, made again only when
// either changed.
class PronouncerCache {
public:
    const Pronouncer& For(const std::wstring& voiceName);

private:
    std::unique_ptr<Pronouncer> pronouncer_;
    unsigned version_ = 0;
    std::wstring voiceName_;
};
