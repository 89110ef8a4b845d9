#pragma once
// One Speak call's text on its way through the speaking thread, and how far it got.
#include "text_units.h"
#include <windows.h>
#include <string>

struct Utterance {
    ULONG stream = 0;
    // Never changes once queued, so the speaking thread reads it without the lock.
    std::wstring text;
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
