#pragma once
// The dialog that adds or edits one entry of the pronunciation dictionary, from the
// Pronunciation page or from the text ("Pronounce as..."). It refuses an entry that
// cannot be used, a regular expression the engine does not accept among them, with the
// engine's own message.
#include "pronunciation/pronunciation_entry.h"
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct PronunciationEntryRequest {
    PronunciationEntry entry;   // what the fields show first; after OK, what the user confirmed
    bool adding = true;
    std::wstring voiceName;     // the voice in use, offered as the entry's scope
    std::vector<std::wstring> installedVoices;   // every installed voice's name, offered too
    // The dictionary's other entries: one that would match as the entry does is refused.
    std::vector<PronunciationEntry> otherEntries;
    // Says a text with the voice in use; Listen hands it a sample with the entry applied.
    std::function<void(const std::wstring&)> speak;
    std::wstring shownText;     // the Speech window's text, where Listen finds its sample
};

// True when the user confirmed a usable entry.
bool EditPronunciationEntry(HWND owner, PronunciationEntryRequest& request);

// What Listen says for an entry: the first sentence of text that the entry changes, with
// the change made, else its pattern said through it; empty when neither gives anything.
std::wstring ListenSample(const PronunciationEntry& entry, const std::wstring& shownText);

// The texts the list and the dialog show for a match type and a scope.
std::wstring MatchTypeName(MatchType type);
std::wstring ScopeName(const std::wstring& voice);
