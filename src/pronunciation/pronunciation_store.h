#pragma once
// The user's pronunciation dictionary for this session: clipvoce.dic beside the settings
// file, read once at start-up and written when the user changes it.
#include "pronunciation/dictionary_file.h"
#include <string>
#include <vector>

struct PronunciationStoreRecord {
    // Full path of clipvoce.dic; empty without a settings folder.
    std::wstring path;
    PronunciationDictionary dictionary;
    // Lines of the file not used, as read at start-up.
    std::vector<DictionaryLineProblem> problems;
    // Why the file could not be read through at start-up; the session then reads without
    // a dictionary and never writes over that file.
    std::wstring unreadable;
    // Counts the changes, so that what was made from the dictionary is known to be old.
    unsigned version = 0;
};

extern PronunciationStoreRecord PronunciationStore;

// After the settings were loaded: reads the file beside the settings file.
void LoadPronunciations();

// The dictionary becomes the session's and is written to the file: 0, or the platform's
// reason why it could not be (the session keeps it all the same). A file that could not
// be read is left alone: ERROR_ACCESS_DENIED.
DWORD SavePronunciations(PronunciationDictionary dictionary);
