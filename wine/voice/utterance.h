#pragma once
// One Speak call's text on its way through the speaking thread, and how far it got.
#include "com_ptr.h"
#include "text_units.h"
#include <windows.h>
#include <sapi.h>
#include <string>

// Which voice speaks an utterance, the one set when it was queued, and how: at the
// pitch its markup asks for, its character references heard as characters.
struct SpeakingVoice {
    ComPtr<ISpObjectToken> token;
    std::string espeakVoice = "en";
    int pitch = 0;
    bool references = false;
};

// The boundaries a voice tells of while it speaks: many natural voices reach programs
// through adapters that send only sentences, or nothing at all.
enum class BoundariesTold { WordsAndSentences, SentencesOnly, None };

// As CLIPVOCE_VOICE_EVENTS asks, when the utterance is queued: "sentences" or "none";
// words and sentences otherwise.
BoundariesTold BoundariesFromEnvironment();

struct Utterance {
    ULONG stream = 0;
    // Never change once queued, so the speaking thread reads them without the lock.
    std::wstring text;
    SpeakingVoice voice;
    BoundariesTold boundaries = BoundariesTold::WordsAndSentences;
    // Divided on the speaking thread: Speak returns at once, however long the text.
    // Whoever needs the units first divides the text (Speaker::Divide).
    TextUnits units;
    bool divided = false;
    size_t nextWord = 0;
    // The word being spoken; none before the first and right after a skip.
    long currentWord = -1;
    // Counts the skips, so that the word being spoken when one arrives is cut short.
    unsigned jumps = 0;
    bool purged = false;
    bool failed = false;

    size_t CurrentSentence() const
    {
        if (currentWord >= 0)
            return units.words[static_cast<size_t>(currentWord)].sentence;
        if (nextWord < units.words.size())
            return units.words[nextWord].sentence;
        return units.sentences.size();
    }
};
