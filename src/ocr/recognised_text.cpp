#include "ocr/recognised_text.h"
#include <cwctype>

namespace {

bool IsHyphen(wchar_t c)
{
    return c == L'-' || c == 0x2010 || c == 0x00AD;
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0x00A0;
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t start = 0;
    size_t end = text.size();
    while (start < end && IsBlank(text[start]))
        ++start;
    while (end > start && IsBlank(text[end - 1]))
        --end;
    return text.substr(start, end - start);
}

// "treat-" ending a line and "ed" starting the next are one word; "Jean-" and "Paul"
// keep their hyphen, as a capital tells of a compound.
void AppendLine(std::wstring& paragraph, const std::wstring& line)
{
    if (paragraph.empty()) {
        paragraph = line;
        return;
    }
    const size_t length = paragraph.size();
    if (length >= 2 && IsHyphen(paragraph[length - 1]) && std::iswalpha(paragraph[length - 2]) &&
        std::iswalpha(line.front())) {
        if (std::iswlower(line.front()))
            paragraph.pop_back();
        paragraph += line;
        return;
    }
    paragraph += L' ';
    paragraph += line;
}

} // namespace

std::wstring TextOfRecognition(const Recognition& recognition)
{
    std::wstring text;
    for (const RecognisedParagraph& found : recognition.paragraphs) {
        std::wstring paragraph;
        for (const RecognisedLine& line : found.lines) {
            const std::wstring trimmed = Trimmed(line.text);
            if (!trimmed.empty())
                AppendLine(paragraph, trimmed);
        }
        if (paragraph.empty())
            continue;
        if (!text.empty())
            text += L"\r\n";
        text += paragraph;
    }
    return text;
}
