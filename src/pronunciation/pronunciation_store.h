#pragma once
// The user's pronunciation dictionary for this session: clipvoce.dic beside the settings
// file, read at start-up and written when the user changes it. The window that reads
// keeps the record; whatever shows or changes the dictionary is handed it. The user may edit the file
// by hand meanwhile: a change of the file is read again before the program writes it.
#include "pronunciation/dictionary_file.h"
#include "platform/whole_file.h"
#include <string>
#include <vector>

struct PronunciationStoreRecord {
    // Full path of clipvoce.dic; empty without a settings folder.
    std::wstring path;
    PronunciationDictionary dictionary;
    // Lines of the file not used, as last read.
    std::vector<DictionaryLineProblem> problems;
    // Why the file could not be read through; the session then reads without a dictionary
    // (or with the one it had) and never writes over that file.
    std::wstring unreadable;
    // The file as last read or written; another stamp means someone else wrote it.
    FileStamp stamp;
    // Counts the changes, so that what was made from the dictionary is known to be old.
    unsigned version = 0;
};

// After the settings were loaded: reads the file beside the settings file.
void LoadPronunciations(PronunciationStoreRecord& store);

// Whether the file was written by someone else since the session read or wrote it.
bool PronunciationFileChanged(const PronunciationStoreRecord& store);
// Reads the file again after someone else wrote it; false when it can no longer be read
// (the session then keeps the dictionary it had, and leaves the file alone).
bool ReloadPronunciations(PronunciationStoreRecord& store);

// The user changed base, a dictionary the session had, into changed: the change becomes
// the session's and is written to the file, made to the file as it is now when someone
// else wrote it meanwhile. 0, or the platform's reason why it could not be written (the
// session keeps it all the same). A file that could not be read is left alone:
// ERROR_ACCESS_DENIED.
DWORD SavePronunciations(PronunciationStoreRecord& store, const PronunciationDictionary& base,
                         PronunciationDictionary changed);

// "3 lines of clipvoce.dic are not used ..." for the status line and the Pronunciation page:
// short, the whole list being in the log. Empty when every line is used.
std::wstring UnusedLinesNote(const PronunciationStoreRecord& store);
