#include "settings/ini_file.h"
#include "platform/whole_file.h"

#include <windows.h>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string_view>

namespace {

bool IsContinuation(unsigned char b);
size_t Utf8SequenceAt(const std::string& bytes, size_t i, uint32_t& code);
void AppendAnsi(std::wstring& text, const std::string& bytes, size_t from, size_t to);
std::wstring DecodeUtf8(const std::string& bytes);
size_t LineEnd(const std::wstring& text, size_t start, size_t& next);
void AppendUtf8(std::string& out, const std::wstring& text);
void AppendLine(std::string& out, const std::wstring& text);
bool IsAcceptedLineStart(wchar_t c);
bool IsBlank(wchar_t c);
int ParseDecimal(const std::wstring& text);
std::wstring FormatDecimal(int value);
wchar_t Lowered(wchar_t c);

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at i and its code point, or 0 when the bytes
// there are not one. Three-byte forms of surrogates are accepted because the writer
// encodes each half of a pair on its own.
size_t Utf8SequenceAt(const std::string& bytes, size_t i, uint32_t& code)
{
    const unsigned char b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
        code = b0;
        return 1;
    }
    unsigned char lowest = 0x80, highest = 0xBF;
    size_t length = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        code = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        code = b0 & 0x0F;
        if (b0 == 0xE0)
            lowest = 0xA0;   // shorter forms are overlong
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        code = b0 & 0x07;
        if (b0 == 0xF0)
            lowest = 0x90;
        if (b0 == 0xF4)
            highest = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    const unsigned char b1 = static_cast<unsigned char>(bytes[i + 1]);
    if (b1 < lowest || b1 > highest)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char b = static_cast<unsigned char>(bytes[i + k]);
        if (!IsContinuation(b))
            return 0;
        code = (code << 6) | (b & 0x3F);
    }
    return length;
}

// Bytes that are not UTF-8 were most likely written by an editor that saves in the
// system's ANSI code page (a Latin-1 "é" as the single byte E9). They are read as that
// code page's characters, or as U+FFFD where it has none, so that nothing after them
// is lost.
void AppendAnsi(std::wstring& text, const std::string& bytes, size_t from, size_t to)
{
    if (from >= to)
        return;
    const char* run = bytes.data() + from;
    const int count = static_cast<int>(to - from);
    const int needed = MultiByteToWideChar(CP_ACP, 0, run, count, nullptr, 0);
    if (needed <= 0) {
        text.append(to - from, L'\xFFFD');
        return;
    }
    const size_t at = text.size();
    text.resize(at + static_cast<size_t>(needed));
    if (MultiByteToWideChar(CP_ACP, 0, run, count, &text[at], needed) != needed) {
        text.resize(at);
        text.append(to - from, L'\xFFFD');
    }
}

// A four-byte sequence becomes its surrogate pair; runs of bytes that are not UTF-8 are
// converted together, so a double-byte ANSI character stays one character.
std::wstring DecodeUtf8(const std::string& bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    const size_t n = bytes.size();
    size_t i = 0;
    // Editors put a byte-order mark in front of UTF-8 files; it is not part of the text.
    if (n >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        i = 3;
    size_t foreignFrom = i;   // start of the current run of bytes that are not UTF-8
    while (i < n) {
        uint32_t code = 0;
        const size_t length = Utf8SequenceAt(bytes, i, code);
        if (length == 0) {
            ++i;
            continue;
        }
        AppendAnsi(text, bytes, foreignFrom, i);
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<wchar_t>(code));
        }
        i += length;
        foreignFrom = i;
    }
    AppendAnsi(text, bytes, foreignFrom, n);
    return text;
}

// Lines end at LF, at CR LF and at a CR alone: files from editors that still write the
// old CR-only line ends must not read as one long line. Returns the end of the line that
// begins at start and sets next to where the following line begins.
size_t LineEnd(const std::wstring& text, size_t start, size_t& next)
{
    const size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) {
        next = text.size();
        return text.size();
    }
    next = end + 1;
    if (text[end] == L'\r' && next < text.size() && text[next] == L'\n')
        ++next;
    return end;
}

// Each 16-bit unit on its own: a surrogate pair becomes two three-byte sequences, which
// the reader above turns back into the same pair.
void AppendUtf8(std::string& out, const std::wstring& text)
{
    for (wchar_t ch : text) {
        const unsigned c = static_cast<unsigned>(ch);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

void AppendLine(std::string& out, const std::wstring& text)
{
    AppendUtf8(out, text);
    out += "\r\n";
}

// Control characters and the Latin-1 range at the start of a line mark a file that is not
// ours to interpret; characters of other scripts may begin a key or section name.
bool IsAcceptedLineStart(wchar_t c)
{
    return (c >= 0x20 && c <= 0x7E) || c > 0xFF;
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

int ParseDecimal(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > limit)
            magnitude = limit;   // saturate; the remaining digits cannot lower it
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

std::wstring FormatDecimal(int value)
{
    wchar_t text[16];
    swprintf(text, 16, L"%d", value);
    return text;
}

wchar_t Lowered(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

bool CIniFile::Load(const std::wstring& filePath, unsigned long* readError)
{
    std::string bytes;
    const DWORD error = ReadWholeFile(filePath, bytes);
    if (readError)
        *readError = error;
    if (error != 0)
        return false;
    const std::wstring text = DecodeUtf8(bytes);

    std::wstring currentSection;
    // The first section named currentSection, looked up once per header rather than for
    // every line under it; -1 while no such section exists yet.
    int currentIndex = -1;
    const auto sectionOfLine = [&] {
        if (currentIndex < 0)
            currentIndex = FindSection(currentSection);
        return currentIndex;
    };
    size_t start = 0;
    while (start < text.size()) {
        size_t next = 0;
        const size_t end = LineEnd(text, start, next);
        const std::wstring_view line(text.data() + start, end - start);
        start = next;
        if (line.empty())
            continue;
        if (!IsAcceptedLineStart(line[0]))
            return false;

        const size_t mark = line.find_first_of(L";#[=");
        if (mark == std::wstring_view::npos)
            continue;
        switch (line[mark]) {
        case L';':
        case L'#':
            if (sections.empty()) {
                fileComments.emplace_back(line.substr(mark + 1));
            } else {
                const int section = sectionOfLine();
                if (section >= 0)
                    sections[section].comments.emplace_back(line.substr(mark + 1));
            }
            break;
        case L'=': {
            int section = sectionOfLine();
            if (section < 0)
                section = currentIndex = AddSection(currentSection);
            SetValueAt(section, std::wstring(line.substr(0, mark)), std::wstring(line.substr(mark + 1)));
            break;
        }
        case L'[': {
            const size_t close = line.rfind(L']');
            if (close == std::wstring_view::npos || close < mark)
                break;
            currentSection = line.substr(mark + 1, close - mark - 1);
            AddSection(currentSection);
            currentIndex = -1;
            break;
        }
        }
    }
    return !sections.empty();
}

bool CIniFile::Save(const std::wstring& filePath) const
{
    std::string out;
    for (const std::wstring& comment : fileComments)
        AppendLine(out, L";" + comment);
    if (!fileComments.empty())
        AppendLine(out, L"");
    for (size_t s = 0; s < sections.size(); ++s) {
        AppendLine(out, L"[" + sectionNames[s] + L"]");
        const IniSection& section = sections[s];
        for (const std::wstring& comment : section.comments)
            AppendLine(out, L";" + comment);
        for (size_t k = 0; k < section.keys.size(); ++k)
            AppendLine(out, section.keys[k] + L"=" + section.values[k]);
        AppendLine(out, L"");
    }
    return WriteFileInPlaceOf(filePath, out);
}

std::wstring CIniFile::ComparedForm(const std::wstring& name) const
{
    if (!caseInsensitive)
        return name;
    std::wstring lowered = name;
    for (wchar_t& c : lowered)
        c = Lowered(c);
    return lowered;
}

// try_emplace keeps an existing entry, so the first of several equal names stays found.
void CIniFile::CatchUp(NameIndex& index, const std::vector<std::wstring>& names) const
{
    for (; index.covered < names.size(); ++index.covered)
        index.firstAt.try_emplace(ComparedForm(names[index.covered]), static_cast<int>(index.covered));
}

// Names compared another way than when the indexes were built: they are built anew.
void CIniFile::FollowComparisonMode() const
{
    if (indexedCaseInsensitive == caseInsensitive)
        return;
    sectionIndex = NameIndex{};
    keyIndexes.clear();
    indexedCaseInsensitive = caseInsensitive;
}

int CIniFile::Lookup(NameIndex& index, const std::vector<std::wstring>& names, const std::wstring& name) const
{
    CatchUp(index, names);
    const auto found = index.firstAt.find(ComparedForm(name));
    return found == index.firstAt.end() ? -1 : found->second;
}

int CIniFile::FindSection(const std::wstring& name) const
{
    FollowComparisonMode();
    return Lookup(sectionIndex, sectionNames, name);
}

int CIniFile::FindKey(int section, const std::wstring& key) const
{
    if (section < 0 || section >= static_cast<int>(sections.size()))
        return -1;
    FollowComparisonMode();
    if (keyIndexes.size() < sections.size())
        keyIndexes.resize(sections.size());
    return Lookup(keyIndexes[section], sections[section].keys, key);
}

int CIniFile::AddSection(const std::wstring& name)
{
    sectionNames.push_back(name);
    sections.emplace_back();
    return static_cast<int>(sections.size()) - 1;
}

std::wstring CIniFile::GetValue(const std::wstring& section, const std::wstring& key,
                                const std::wstring& defaultValue) const
{
    const int s = FindSection(section);
    const int k = FindKey(s, key);
    return k < 0 ? defaultValue : sections[s].values[k];
}

bool CIniFile::SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    int s = FindSection(section);
    if (s < 0)
        s = AddSection(section);
    SetValueAt(s, key, value);
    return true;
}

void CIniFile::SetValueAt(int section, const std::wstring& key, const std::wstring& value)
{
    const int k = FindKey(section, key);
    if (k >= 0) {
        sections[section].values[k] = value;
    } else {
        sections[section].keys.push_back(key);
        sections[section].values.push_back(value);
    }
}

int ParseDecimalInt(const std::wstring& text)
{
    return ParseDecimal(text);
}

namespace {

// Where the digits of a number begin: past leading blanks and a sign.
size_t DigitsStart(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        ++i;
    return i;
}

bool IsDigitAt(const std::wstring& text, size_t at)
{
    return at < text.size() && text[at] >= L'0' && text[at] <= L'9';
}

} // namespace

std::optional<int> ParseBoundedInt(const std::wstring& text, int lowest, int highest)
{
    if (!IsDigitAt(text, DigitsStart(text)))
        return std::nullopt;
    return std::clamp(ParseDecimal(text), lowest, highest);
}

std::optional<int> ParseBoundedHundredths(const std::wstring& text, int lowest, int highest)
{
    // Far past any range; a hundred times it still fits.
    constexpr int64_t Ceiling = INT_MAX;
    size_t i = DigitsStart(text);
    const bool negative = i > 0 && text[i - 1] == L'-';
    if (!IsDigitAt(text, i))
        return std::nullopt;
    int64_t whole = 0;
    for (; IsDigitAt(text, i); ++i)
        whole = std::min(whole * 10 + (text[i] - L'0'), Ceiling);
    int64_t hundredths = whole * 100;
    if (i < text.size() && text[i] == L'.') {
        if (!IsDigitAt(text, ++i))
            return std::nullopt;
        for (int place = 0; IsDigitAt(text, i); ++i, ++place) {
            const int digit = text[i] - L'0';
            if (place < 2)
                hundredths += place == 0 ? digit * 10 : digit;
            else if (place == 2 && digit >= 5)
                ++hundredths;
        }
    }
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i != text.size())
        return std::nullopt;
    return static_cast<int>(std::clamp<int64_t>(negative ? -hundredths : hundredths, lowest, highest));
}

std::wstring FormatHundredths(int hundredths)
{
    const int magnitude = std::abs(hundredths);
    std::wstring text = (hundredths < 0 ? L"-" : L"") + std::to_wstring(magnitude / 100) + L'.' +
                        std::to_wstring(magnitude / 10 % 10);
    if (magnitude % 10 != 0)
        text += std::to_wstring(magnitude % 10);
    return text;
}

int CIniFile::GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const
{
    return ParseDecimal(GetValue(section, key, FormatDecimal(defaultValue)));
}

bool CIniFile::SetInt(const std::wstring& section, const std::wstring& key, int value)
{
    return SetValue(section, key, FormatDecimal(value));
}

bool CIniFile::GetBool(const std::wstring& section, const std::wstring& key, bool defaultValue) const
{
    return GetInt(section, key, defaultValue ? 1 : 0) != 0;
}

bool CIniFile::SetBool(const std::wstring& section, const std::wstring& key, bool value)
{
    return SetInt(section, key, value ? 1 : 0);
}
