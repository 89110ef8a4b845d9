#include "hearing/paragraph_languages.h"
#include <string_view>
#include <utility>

namespace {

bool IsLineBreak(wchar_t c)
{
    return c == L'\r' || c == L'\n';
}

// How far the start looks for a long paragraph to take the language of.
constexpr int LeadingSearchChars = 64 * 1024;

} // namespace

ParagraphLanguages::ParagraphLanguages(std::shared_ptr<const std::wstring> text) : text_(std::move(text))
{
    if (!text_)
        text_ = std::make_shared<const std::wstring>();
}

// Breaks belong to the paragraph they end; each break is one paragraph's, so an empty
// line is a paragraph of its own.
ParagraphLanguages::Paragraph ParagraphLanguages::ParagraphAt(int offset) const
{
    const std::wstring& text = *text_;
    const int size = static_cast<int>(text.size());
    int start = std::min(std::max(offset, 0), size);
    while (start > 0 && !IsLineBreak(text[start - 1]))
        --start;
    int end = start;
    while (end < size && !IsLineBreak(text[end]))
        ++end;
    if (end < size)
        end += (text[end] == L'\r' && end + 1 < size && text[end + 1] == L'\n') ? 2 : 1;
    return {start, end};
}

// Only a long paragraph's detection is kept: a short one is counted again in a moment.
LanguageId ParagraphLanguages::OwnLanguage(const Paragraph& paragraph)
{
    if (const auto found = own_.find(paragraph.start); found != own_.end())
        return found->second;
    const std::wstring_view words(text_->data() + paragraph.start, static_cast<size_t>(paragraph.end - paragraph.start));
    if (CountLetters(words, ShortParagraphLetters) < ShortParagraphLetters)
        return NoLanguage;
    const LanguageId language = DetectLanguage(words).language;
    own_.emplace(paragraph.start, language);
    return language;
}

// The paragraph's own language or, for a short one, that of the nearest long one before
// it, or of where a run before it stopped.
LanguageId ParagraphLanguages::LanguageOf(const Paragraph& paragraph)
{
    for (Paragraph at = paragraph;; at = ParagraphAt(at.start - 1)) {
        if (const auto found = resolved_.find(at.start); found != resolved_.end())
            return found->second;
        if (const LanguageId language = OwnLanguage(at); language != NoLanguage)
            return language;
        if (at.start == 0)
            return LeadingLanguage();
    }
}

// Short paragraphs at the start (a title, a date) belong to the text after them.
LanguageId ParagraphLanguages::LeadingLanguage()
{
    if (leadingKnown_)
        return leading_;
    leadingKnown_ = true;
    const int size = static_cast<int>(text_->size());
    for (Paragraph at = ParagraphAt(0);; at = ParagraphAt(at.end)) {
        if (const LanguageId language = OwnLanguage(at); language != NoLanguage)
            return leading_ = language;
        if (at.end >= size || at.end >= LeadingSearchChars)
            break;
    }
    return leading_ = LanguageOfShortText();
}

// A text of short lines only: all of it together may still tell, when the detector is
// sure of it.
LanguageId ParagraphLanguages::LanguageOfShortText()
{
    const Detection detection = DetectLanguage(*text_);
    return detection.reliable ? detection.language : NoLanguage;
}

LanguageRun ParagraphLanguages::RunFrom(int offset)
{
    const int size = static_cast<int>(text_->size());
    offset = std::min(std::max(offset, 0), size);
    if (offset == size)
        return {offset, size, NoLanguage};
    const Paragraph first = ParagraphAt(offset);
    const LanguageId language = LanguageOf(first);
    int end = first.end;
    while (end < size) {
        const Paragraph next = ParagraphAt(end);
        const LanguageId own = OwnLanguage(next);
        if (own != NoLanguage && own != language)
            break;
        // Where a long run stops, a short paragraph after it has the run's language
        // without looking back for it.
        if (end - offset >= RunChars) {
            if (own == NoLanguage)
                resolved_[end] = language;
            break;
        }
        end = next.end;
    }
    return {offset, end, language};
}
