#include "pronunciation/dictionary_file.h"
#include "platform/ui_text.h"
#include "platform/whole_file.h"
#include "res/resource.h"
#include <unordered_map>
#include <unordered_set>

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

// What makes two entries the same entry when dictionaries are put together; a tab never
// stands in a pattern or a voice's name.
std::wstring EntryKey(const PronunciationEntry& entry)
{
    return entry.pattern + L'\t' + entry.voice + L'\t' + static_cast<wchar_t>(L'0' + static_cast<int>(entry.type)) +
           (entry.caseSensitive ? L'1' : L'0');
}

// Each key's first entry.
std::unordered_map<std::wstring, size_t> IndexByKey(const std::vector<PronunciationEntry>& entries)
{
    std::unordered_map<std::wstring, size_t> index;
    index.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        index.emplace(EntryKey(entries[i]), i);
    return index;
}

// The comments and blank lines among kept lines; the others are lines that were refused.
std::vector<std::wstring> CommentsOf(const std::vector<std::wstring>& lines)
{
    std::vector<std::wstring> comments;
    for (const std::wstring& line : lines)
        if (IsKeptAsItStands(line))
            comments.push_back(line);
    return comments;
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

std::wstring DescribeLineProblems(const std::vector<DictionaryLineProblem>& problems, const std::wstring& separator)
{
    std::wstring text;
    const std::wstring pattern = LoadText(IDS_DICTIONARY_LINE_PROBLEM);
    for (size_t i = 0; i < problems.size() && i < ProblemsShown; ++i) {
        if (!text.empty())
            text += separator;
        text += FillPattern(pattern, std::to_wstring(problems[i].line), problems[i].why);
    }
    if (problems.size() > ProblemsShown)
        text += separator + FillPattern(LoadText(IDS_DICTIONARY_MORE_PROBLEMS), std::to_wstring(problems.size() - ProblemsShown));
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
    const bool whole = dictionary.entries.empty() && dictionary.linesAfter.empty();
    std::unordered_map<std::wstring, size_t> index = IndexByKey(dictionary.entries);
    int changed = 0;
    for (const PronunciationEntry& entry : imported.entries) {
        const auto [at, added] = index.emplace(EntryKey(entry), dictionary.entries.size());
        if (added || whole) {
            PronunciationEntry copy = entry;
            copy.linesBefore = CommentsOf(entry.linesBefore);
            dictionary.entries.push_back(std::move(copy));
            ++changed;
        } else if (PronunciationEntry& same = dictionary.entries[at->second]; same.replacement != entry.replacement) {
            same.replacement = entry.replacement;
            ++changed;
        }
    }
    if (whole)
        dictionary.linesAfter = CommentsOf(imported.linesAfter);
    return changed;
}

PronunciationDictionary MergeChanges(const PronunciationDictionary& base, const PronunciationDictionary& changed,
                                     PronunciationDictionary current)
{
    const std::unordered_map<std::wstring, size_t> inBase = IndexByKey(base.entries);
    const std::unordered_map<std::wstring, size_t> inChanged = IndexByKey(changed.entries);
    std::unordered_set<std::wstring> removed;
    for (const PronunciationEntry& entry : base.entries)
        if (std::wstring key = EntryKey(entry); !inChanged.contains(key))
            removed.insert(std::move(key));

    // A removed entry's lines stay in the file, before the next one, as RemoveEntry keeps them.
    std::vector<PronunciationEntry> kept;
    kept.reserve(current.entries.size());
    std::vector<std::wstring> carried;
    for (PronunciationEntry& entry : current.entries) {
        if (removed.contains(EntryKey(entry))) {
            carried.insert(carried.end(), entry.linesBefore.begin(), entry.linesBefore.end());
            continue;
        }
        entry.linesBefore.insert(entry.linesBefore.begin(), carried.begin(), carried.end());
        carried.clear();
        kept.push_back(std::move(entry));
    }
    current.linesAfter.insert(current.linesAfter.begin(), carried.begin(), carried.end());
    current.entries = std::move(kept);

    std::unordered_map<std::wstring, size_t> index = IndexByKey(current.entries);
    for (const PronunciationEntry& entry : changed.entries) {
        const auto was = inBase.find(EntryKey(entry));
        if (was != inBase.end() && base.entries[was->second].SameMeaning(entry))
            continue;
        const auto [at, added] = index.emplace(EntryKey(entry), current.entries.size());
        if (added) {
            PronunciationEntry copy = entry;
            // An entry the user only changed brings no lines: its own stay where they are.
            if (was != inBase.end())
                copy.linesBefore.clear();
            current.entries.push_back(std::move(copy));
        } else {
            current.entries[at->second].replacement = entry.replacement;
        }
    }
    return current;
}
