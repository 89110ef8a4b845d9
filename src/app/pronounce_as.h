#pragma once
// Saying words otherwise from the Speech window: "Pronounce as..." on the word last
// highlighted, and the samples the pronunciation dialogs let the user listen to.
#include <string>
#include "view/text_view.h"

struct SpeechWindowState;
class Reader;

// The text the Speech window shows: prepared, or as it came when it was not yet.
std::wstring ShownText(const Reader& reader);

// Says text with a voice like the reading one, beside the reading; a sample still being
// said is cut short.
void SpeakSample(SpeechWindowState& state, const std::wstring& text);

// Opens the entry dialog on the word last highlighted, or the one at the caret; the entry
// confirmed there joins the dictionary, which is saved and heard at once.
void PronounceWordAs(SpeechWindowState& state);

// The word to pronounce in text: the highlighted range without the punctuation around it,
// or, when none was highlighted, the letters and digits around the caret.
std::wstring WordToPronounce(const std::wstring& text, TextRange highlighted, int caret);
