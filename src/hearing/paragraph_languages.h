#pragma once
// The language of each paragraph of a text, found as the reading reaches it, so that a
// long text costs nothing before its first word is heard. A paragraph is a line of the
// text with its line break. One of fewer than ShortParagraphLetters letters (a heading,
// a list item, a name) is too short for a detector to be trusted and keeps the language
// of the paragraph before it; short ones at the start take that of the first long one.
#include <memory>
#include <string>
#include <unordered_map>
#include "hearing/language_detect.h"

inline constexpr int ShortParagraphLetters = 40;

// Characters [start, end) of the text, in one language.
struct LanguageRun {
    int start = 0;
    int end = 0;
    LanguageId language = NoLanguage;
};

class ParagraphLanguages {
public:
    // A run ends at the end of a paragraph once it is this long: its next paragraphs are
    // looked at only when the reading comes near them.
    static constexpr int RunChars = 32 * 1024;

    explicit ParagraphLanguages(std::shared_ptr<const std::wstring> text);
    const std::shared_ptr<const std::wstring>& Text() const { return text_; }

    // The run from offset on: up to the end of the last following paragraph in the same
    // language (NoLanguage: not known), at most about RunChars long.
    LanguageRun RunFrom(int offset);
    // The language the text as a whole is read in when it has no long paragraph.
    LanguageId LanguageOfShortText();

private:
    struct Paragraph {
        int start;
        int end;   // past its line break
    };
    Paragraph ParagraphAt(int offset) const;
    // The paragraph's own language, when it is long enough to have one; NoLanguage else.
    LanguageId OwnLanguage(const Paragraph& paragraph);
    LanguageId LanguageOf(const Paragraph& paragraph);
    LanguageId LeadingLanguage();

    std::shared_ptr<const std::wstring> text_;
    // By paragraph start: the language detected in a long paragraph, and the language
    // of a short one where a run stopped before it.
    std::unordered_map<int, LanguageId> own_;
    std::unordered_map<int, LanguageId> resolved_;
    bool leadingKnown_ = false;
    LanguageId leading_ = NoLanguage;
};
