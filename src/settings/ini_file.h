#pragma once
// The settings file held in memory: sections in file order, each with its keys, values
// and comments. Everything the file held is kept, so keys the program does not know
// survive every save. Nothing is ever removed.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct IniSection {
    std::vector<std::wstring> keys;
    std::vector<std::wstring> values;     // parallel to keys
    std::vector<std::wstring> comments;   // without their leading ';' or '#'
};

class CIniFile {
public:

    // Merges the file into the object; true when the object then holds a section.
    // readError, when given, receives the platform's error code when the file could not
    // be opened or read through (nothing is merged then), else 0.
    bool Load(const std::wstring& filePath, unsigned long* readError = nullptr);
    // Writes the whole object in place of the file.
    bool Save(const std::wstring& filePath) const;

    int FindSection(const std::wstring& name) const;
    int FindKey(int section, const std::wstring& key) const;
    int AddSection(const std::wstring& name);
    bool HasKey(const std::wstring& section, const std::wstring& key) const
    {
        return FindKey(FindSection(section), key) >= 0;
    }

    std::wstring GetValue(const std::wstring& section, const std::wstring& key,
                          const std::wstring& defaultValue) const;
    bool SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    int GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const;
    bool SetInt(const std::wstring& section, const std::wstring& key, int value);
    bool GetBool(const std::wstring& section, const std::wstring& key, bool defaultValue) const;
    bool SetBool(const std::wstring& section, const std::wstring& key, bool value);

    bool caseInsensitive = true;
    std::vector<IniSection> sections;
    std::vector<std::wstring> sectionNames;   // parallel to sections
    std::vector<std::wstring> fileComments;   // comments met before any section existed

private:
    // Where each name first occurs, keyed by the name as compared, so a lookup does not
    // scan: a file of many keys would otherwise take quadratic time to load. Names are
    // only ever appended, so the index catches up with whatever was added since it was
    // last used, including entries appended to the public vectors directly.
    struct NameIndex {
        std::unordered_map<std::wstring, int> firstAt;
        size_t covered = 0;   // entries of the indexed vector already in firstAt
    };
    void SetValueAt(int section, const std::wstring& key, const std::wstring& value);
    std::wstring ComparedForm(const std::wstring& name) const;
    void FollowComparisonMode() const;
    void CatchUp(NameIndex& index, const std::vector<std::wstring>& names) const;
    int Lookup(NameIndex& index, const std::vector<std::wstring>& names, const std::wstring& name) const;

    mutable NameIndex sectionIndex;
    mutable std::vector<NameIndex> keyIndexes;   // parallel to sections
    mutable bool indexedCaseInsensitive = true;
};

// The base-10 reading of GetInt: leading white space, an optional sign, digits up to the
// first other character; no digits give 0, and values past 32 bits are clamped.
int ParseDecimalInt(const std::wstring& text);
// The same reading for a value that must be a number: nothing when the text holds no
// digits where the number belongs (a damaged value), else the number brought into
// lowest..highest.
std::optional<int> ParseBoundedInt(const std::wstring& text, int lowest, int highest);
// A decimal with a dot, whatever the user's locale ("2.5", "0.75"), in hundredths: nothing
// when the text is no such number ("2,5", "fast", ""), else the value brought into
// lowest..highest. Decimals past the second are rounded away.
std::optional<int> ParseBoundedHundredths(const std::wstring& text, int lowest, int highest);
// Hundredths as that decimal, with one decimal at least and no zero after the second:
// "1.0", "2.5", "0.75".
std::wstring FormatHundredths(int hundredths);
