#pragma once
// Timed text beside an exported recording: the shown text's sentences as cues, each with
// the times its words are heard, written as SubRip, WebVTT or enhanced LRC.
#include <string>
#include <vector>
#include "view/text_range.h"

// A word of the shown text and when it is heard, in milliseconds from the recording's start.
struct TimedWord {
    TextRange word;        // in the shown text
    TextRange sentence;    // the shown sentence that holds it
    long long ms = 0;
};

// What shows for a stretch of the recording: a sentence, or a part of a long one.
struct Cue {
    struct Word {
        long long ms;
        size_t at;         // where the word starts in text
    };
    long long startMs = 0;
    long long endMs = 0;
    std::wstring text;
    std::vector<Word> words;
};

// A longer sentence is split before the word that would take its part past either, so
// that a cue can be read while it shows.
constexpr int CueCharacters = 84;
constexpr long long CueMs = 7000;

// The cues of words, given as heard (their times never go back): one for each sentence or
// part of a long one. A cue lasts until the next begins, the last until endMs. Its text is
// the shown text without what the voice skips, blanks and line breaks made single spaces.
std::vector<Cue> MakeCues(const std::vector<TimedWord>& words, const std::wstring& shown,
                          const std::vector<TextRange>& skipped, long long endMs);

// The file's bytes in format (a TimedText): UTF-8, with a byte order mark for SubRip,
// which players on Windows expect.
std::string TimedTextFile(int format, const std::vector<Cue>& cues);
