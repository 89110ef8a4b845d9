#pragma once
// The pronunciation dictionary as a file, in the form screen-reader users already keep:
// UTF-8 (a byte-order mark is allowed), one entry per line as
// pattern<TAB>replacement<TAB>case<TAB>type, and optionally <TAB>voice for an entry that is
// for one voice only. A line starting with '#' is a comment; "\#" in a pattern or
// replacement is a '#' that is no comment. Lines that are not entries stay as they are.
#include "pronunciation/pronunciation_entry.h"
#include <windows.h>
#include <string>
#include <vector>

struct PronunciationDictionary {
    std::vector<PronunciationEntry> entries;
    // Lines after the last entry, kept as they stand.
    std::vector<std::wstring> linesAfter;

    bool operator==(const PronunciationDictionary&) const = default;
};

// A line that is kept in the file but not used: its number from 1, and why.
struct DictionaryLineProblem {
    int line;
    std::wstring why;
};

struct DictionaryReading {
    PronunciationDictionary dictionary;
    std::vector<DictionaryLineProblem> problems;
    // Why the file could not be read through, in words for the user; empty when it was.
    // A file not read through is never written over.
    std::wstring unreadable;
};

DictionaryReading ParseDictionary(const std::string& bytes);
// The same bytes for a dictionary parsed from bytes this wrote.
std::string FormatDictionary(const PronunciationDictionary& dictionary);

// A missing file reads as an empty dictionary.
DictionaryReading ReadDictionaryFile(const std::wstring& path);
// 0, or the platform's reason why the file could not be written (the old one then stays).
DWORD WriteDictionaryFile(const std::wstring& path, const PronunciationDictionary& dictionary);

// "line 3: ..." for the first few of them, one a line, then how many more there are; for
// the log, separated by "; " instead.
std::wstring DescribeLineProblems(const std::vector<DictionaryLineProblem>& problems,
                                  const std::wstring& separator = L"\n");

// Removes an entry; the lines kept before it stay in the file, before the next one.
void RemoveEntry(PronunciationDictionary& dictionary, size_t index);
// Adds the entries of another dictionary: one with the same pattern, match type, case
// and voice as an entry already there replaces that entry where it stands, the others
// come at the end with the comments before them. Lines the other file kept without using
// them never come along: the program could not use them here either. The number of
// entries added or changed.
int ImportEntries(PronunciationDictionary& dictionary, const PronunciationDictionary& imported);

// What the user changed from base to changed (entries added, removed, given another
// replacement; an entry is known by its pattern, match type, case and voice), made to
// current, a newer form of base (the file as edited elsewhere meanwhile). Entries of
// current that the user did not touch stay as they stand, with their lines.
PronunciationDictionary MergeChanges(const PronunciationDictionary& base, const PronunciationDictionary& changed,
                                     PronunciationDictionary current);
