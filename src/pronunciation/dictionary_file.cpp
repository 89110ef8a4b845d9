#include "pronunciation/dictionary_file.h"
#include "platform/ui_text.h"
#include "platform/whole_file.h"
#include "res/resource.h"
#include <algorithm>

namespace {

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t ProblemsShown = 10;

bool ToWide(const std::string& bytes, std::wstring& text)
{
    text.clear();
    if (bytes.empty())
        return true;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                           nullptr, 0);
    if (length <= 0)
        return false;
    text.resize(length);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return true;
}

void AppendUtf8(std::string& out, const std::wstring& text)
{
    if (text.empty())
        return;
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    const size_t at = out.size();
    out.resize(at + length);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data() + at, length, nullptr,
                        nullptr);
}

// Every '#' written as "\#", so that none can start a comment, and read back alike.
std::wstring Escaped(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'#')
            out += L'\\';
        out += c;
    }
    return out;
}

std::wstring Unescaped(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'#')
            ++i;
        out += text[i];
    }
    return out;
}

std::vector<std::wstring> Fields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

bool IsKeptAsItStands(const std::wstring& line)
{
    return line.find_first_not_of(L" \t") == std::wstring::npos || line[0] == L'#';
}

// The entry a line holds, or why it holds none.
std::optional<std::wstring> ParseEntry(const std::wstring& line, PronunciationEntry& entry)
{
    const std::vector<std::wstring> fields = Fields(line);
    if (fields.size() != 4 && fields.size() != 5)
        return LoadText(IDS_DICTIONARY_BAD_FIELDS);
    if (fields[2] != L"0" && fields[2] != L"1")
        return LoadText(IDS_DICTIONARY_BAD_CASE);
    if (fields[3] != L"0" && fields[3] != L"1" && fields[3] != L"2")
        return LoadText(IDS_DICTIONARY_BAD_TYPE);
    entry.pattern = Unescaped(fields[0]);
    entry.replacement = Unescaped(fields[1]);
    entry.caseSensitive = fields[2] == L"1";
    entry.type = static_cast<MatchType>(fields[3][0] - L'0');
    entry.voice = fields.size() == 5 ? fields[4] : std::wstring();
    return EntryProblem(entry);
}

} // namespace

DictionaryReading ParseDictionary(const std::string& bytes)
{
    DictionaryReading reading;
    std::vector<std::wstring> kept;
    size_t start = bytes.compare(0, 3, ByteOrderMark) == 0 ? 3 : 0;
    for (int number = 1; start < bytes.size(); ++number) {
        size_t end = bytes.find('\n', start);
        const size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos)
            end = bytes.size();
        if (end > start && bytes[end - 1] == '\r')
            --end;
        std::wstring line;
        if (!ToWide(bytes.substr(start, end - start), line)) {
            reading = DictionaryReading{};
            reading.unreadable = FillPattern(LoadText(IDS_DICTIONARY_NOT_UTF8), std::to_wstring(number));
            return reading;
        }
        start = next;
        PronunciationEntry entry;
        if (IsKeptAsItStands(line)) {
            kept.push_back(std::move(line));
        } else if (const auto problem = ParseEntry(line, entry)) {
            reading.problems.push_back({number, *problem});
            kept.push_back(std::move(line));
        } else {
            entry.linesBefore = std::move(kept);
            kept.clear();
            reading.dictionary.entries.push_back(std::move(entry));
        }
    }
    reading.dictionary.linesAfter = std::move(kept);
    return reading;
}

std::string FormatDictionary(const PronunciationDictionary& dictionary)
{
    std::string out;
    const auto line = [&out](const std::wstring& text) {
        AppendUtf8(out, text);
        out += "\r\n";
    };
    for (const PronunciationEntry& entry : dictionary.entries) {
        for (const std::wstring& kept : entry.linesBefore)
            line(kept);
        std::wstring text = Escaped(entry.pattern) + L'\t' + Escaped(entry.replacement) + L'\t' +
                            (entry.caseSensitive ? L'1' : L'0') + L'\t' +
                            static_cast<wchar_t>(L'0' + static_cast<int>(entry.type));
        if (!entry.voice.empty())
            text += L'\t' + entry.voice;
        line(text);
    }
    for (const std::wstring& kept : dictionary.linesAfter)
        line(kept);
    return out;
}

DictionaryReading ReadDictionaryFile(const std::wstring& path)
{
    std::string bytes;
    const DWORD error = ReadWholeFile(path, bytes);
    if (error == ERROR_FILE_NOT_FOUND)
        return {};
    if (error != 0) {
        DictionaryReading reading;
        reading.unreadable = SystemErrorText(error);
        return reading;
    }
    return ParseDictionary(bytes);
}

DWORD WriteDictionaryFile(const std::wstring& path, const PronunciationDictionary& dictionary)
{
    if (WriteFileInPlaceOf(path, FormatDictionary(dictionary)))
        return 0;
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
}

std::wstring DescribeLineProblems(const std::vector<DictionaryLineProblem>& problems)
{
    std::wstring text;
    const std::wstring pattern = LoadText(IDS_DICTIONARY_LINE_PROBLEM);
    for (size_t i = 0; i < problems.size() && i < ProblemsShown; ++i) {
        if (!text.empty())
            text += L'\n';
        text += FillPattern(pattern, std::to_wstring(problems[i].line), problems[i].why);
    }
    if (problems.size() > ProblemsShown)
        text += L'\n' + FillPattern(LoadText(IDS_DICTIONARY_MORE_PROBLEMS), std::to_wstring(problems.size() - ProblemsShown));
    return text;
}

void RemoveEntry(PronunciationDictionary& dictionary, size_t index)
{
    auto& entries = dictionary.entries;
    if (index >= entries.size())
        return;
    std::vector<std::wstring>& next = index + 1 < entries.size() ? entries[index + 1].linesBefore : dictionary.linesAfter;
    next.insert(next.begin(), entries[index].linesBefore.begin(), entries[index].linesBefore.end());
    entries.erase(entries.begin() + index);
}

int ImportEntries(PronunciationDictionary& dictionary, const PronunciationDictionary& imported)
{
    // Into an empty dictionary the file comes whole, its comments at the end too.
    if (dictionary.entries.empty() && dictionary.linesAfter.empty()) {
        dictionary = imported;
        return static_cast<int>(imported.entries.size());
    }
    int changed = 0;
    for (const PronunciationEntry& entry : imported.entries) {
        const auto same = std::find_if(dictionary.entries.begin(), dictionary.entries.end(), [&](const PronunciationEntry& e) {
            return e.pattern == entry.pattern && e.type == entry.type && e.caseSensitive == entry.caseSensitive &&
                   e.voice == entry.voice;
        });
        if (same == dictionary.entries.end()) {
            dictionary.entries.push_back(entry);
            ++changed;
        } else if (!same->SameMeaning(entry)) {
            same->replacement = entry.replacement;
            ++changed;
        }
    }
    return changed;
}
