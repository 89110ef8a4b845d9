// The settings document: how files are read, what Save writes byte for byte, and that
// whatever Save writes reads back unchanged.
#include <windows.h>
#include <gtest/gtest.h>
#include "file_bytes.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "settings/ini_file.h"

namespace {

std::wstring TempFolder()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"ini_file_test." + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

const std::wstring& Folder()
{
    static const std::wstring folder = TempFolder();
    return folder;
}

std::wstring TempFile(const wchar_t* name)
{
    return Folder() + L"\\" + name;
}

// The whole document in one text, so a table row can state what a file must read as.
// F = file comment, S = section, C = comment, K = key and value.
std::wstring Describe(const CIniFile& ini)
{
    std::wstring out;
    for (const std::wstring& c : ini.fileComments)
        out += L"F(" + c + L")";
    for (size_t s = 0; s < ini.sections.size(); ++s) {
        out += L"S(" + ini.sectionNames[s] + L")";
        for (const std::wstring& c : ini.sections[s].comments)
            out += L"C(" + c + L")";
        for (size_t k = 0; k < ini.sections[s].keys.size(); ++k)
            out += L"K(" + ini.sections[s].keys[k] + L"=" + ini.sections[s].values[k] + L")";
    }
    return out;
}

// What the system's ANSI code page makes of bytes that are not UTF-8.
std::wstring Ansi(const char* bytes)
{
    wchar_t text[16] = L"";
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes, -1, text, 16);
    return length > 0 ? std::wstring(text, length - 1) : L"<none>";
}

struct ReadCase {
    const char* what;
    std::string bytes;
    bool loaded;
    std::wstring document;
};

TEST(IniFileLoad, LineKindsAndEdgeCases)
{
    const ReadCase cases[] = {
        {"blanks around = belong to key and value", "[s]\nkey = value\n", true, L"S(s)K(key = value)"},
        {"value keeps later =", "[s]\na=b=c\n", true, L"S(s)K(a=b=c)"},
        {"no inline comments", "[s]\na=b;c\n", true, L"S(s)K(a=b;c)"},
        {"first of the four marks decides", "[s]\nx;y=z\n", true, L"S(s)C(y=z)"},
        {"hash comment, text after the mark", "[s]\n  #  spaced\n", true, L"S(s)C(  spaced)"},
        {"comments move under their header", "[s]\na=1\n;late\n", true, L"S(s)C(late)K(a=1)"},
        {"text after header ignored", "[sec] ; note\n", true, L"S(sec)"},
        {"last ] closes the name", "[sec] ; [x]\n", true, L"S(sec] ; [x)"},
        {"unclosed and reversed headers ignored", "[a\n]x[\n", false, L""},
        {"empty section name", "[]\n", true, L"S()"},
        {"key before any header", "k=v\n[s]\n", true, L"S()K(k=v)S(s)"},
        {"duplicate headers: keys go to the first", "[window]\na=1\n[window]\nb=2\n;c\n", true,
         L"S(window)C(c)K(a=1)K(b=2)S(window)"},
        {"case-insensitive keys keep first spelling", "[s]\nRate=1\nrate=2\n", true, L"S(s)K(Rate=2)"},
        {"case-insensitive sections", "[Window]\n[s]\n[WINDOW]\nk=v\n", true, L"S(Window)K(k=v)S(s)S(WINDOW)"},
        {"lines without a mark ignored", "[s]\njust words\nk=v\n", true, L"S(s)K(k=v)"},
        {"CR LF, LF, blank lines and a last line without LF", "[s]\r\n\r\n\na=1\r\nb=2", true,
         L"S(s)K(a=1)K(b=2)"},
        {"CR CR LF: a line end and an empty line", "[s]\na=1\r\r\n", true, L"S(s)K(a=1)"},
        {"CR alone ends a line", "[window]\rx=5\r\r[settings]\rrate=3\r", true,
         L"S(window)K(x=5)S(settings)K(rate=3)"},
        {"mixed line ends", "[s]\ra=1\nb=2\r\nc=3", true, L"S(s)K(a=1)K(b=2)K(c=3)"},
        {"comments only", ";one\n#two\n", false, L"F(one)F(two)"},
        {"empty file", "", false, L""},
        {"tab at line start stops loading", "[s]\na=1\n\tb=2\nc=3\n", false, L"S(s)K(a=1)"},
        {"e-acute at line start stops loading", "[s]\n\xC3\xA9=1\nc=3\n", false, L"S(s)"},
        {"DEL at line start stops loading", "[s]\n\x7F" "a=1\n", false, L"S(s)"},
        {"non-Latin names accepted", "[\xD0\x96]\n\xD0\x96=\xD0\xB4\n", true, L"S(\x0416)K(\x0416=\x0434)"},
        {"byte-order mark skipped", "\xEF\xBB\xBF[s]\na=1\n", true, L"S(s)K(a=1)"},
        {"four-byte sequence becomes a pair", "[s]\na=\xF0\x9F\x98\x80\n", true, L"S(s)K(a=\xD83D\xDE00)"},
        {"three-byte surrogates accepted", "[s]\na=\xED\xA0\xBD\xED\xB8\x80\n", true, L"S(s)K(a=\xD83D\xDE00)"},
        // Bytes that are not UTF-8 are read in the ANSI code page and reading goes on.
        {"invalid byte mid-line", "[s]\na=b\xFFz\nc=d\n", true, L"S(s)K(a=b" + Ansi("\xFF") + L"z)K(c=d)"},
        {"Latin-1 value keeps later sections", "[window]\nfont=Caf\xE9\n[settings]\nrate=3\n", true,
         L"S(window)K(font=Caf" + Ansi("\xE9") + L")S(settings)K(rate=3)"},
        {"truncated sequence", "[s]\na=\xE2\x82", true, L"S(s)K(a=" + Ansi("\xE2\x82") + L")"},
        {"overlong form", "[s]\na=\xC0\xAF\nc=d\n", true, L"S(s)K(a=" + Ansi("\xC0\xAF") + L")K(c=d)"},
        {"beyond U+10FFFF", "[s]\na=\xF4\x90\x80\x80\n", true, L"S(s)K(a=" + Ansi("\xF4\x90\x80\x80") + L")"},
        {"lone continuation byte", "[s]\na=\x80z\nc=d\n", true, L"S(s)K(a=" + Ansi("\x80") + L"z)K(c=d)"},
        {"foreign byte between UTF-8 characters", "[s]\na=\xC3\xA9\xE9\xC3\xA9\n", true,
         L"S(s)K(a=\x00E9" + Ansi("\xE9") + L"\x00E9)"},
    };
    const std::wstring path = TempFile(L"read.ini");
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(WriteBytes(path, c.bytes));
        CIniFile ini;
        EXPECT_EQ(ini.Load(path), c.loaded);
        EXPECT_EQ(Describe(ini), c.document);
    }
}

TEST(IniFileLoad, MissingFileLeavesObjectUnchanged)
{
    CIniFile ini;
    ini.SetValue(L"s", L"k", L"v");
    EXPECT_FALSE(ini.Load(TempFile(L"does-not-exist.ini")));
    EXPECT_FALSE(ini.Load(L""));
    EXPECT_EQ(Describe(ini), L"S(s)K(k=v)");
}

// The caller must tell a file it may replace from one it could not read.
TEST(IniFileLoad, ReportsWhyAFileWasNotRead)
{
    const std::wstring path = TempFile(L"held.ini");
    EXPECT_TRUE(WriteBytes(path, "[s]\nk=v\n"));
    unsigned long error = 1;
    CIniFile ini;
    EXPECT_FALSE(ini.Load(TempFile(L"does-not-exist.ini"), &error));
    EXPECT_EQ(error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ini.Load(path, &error));
    EXPECT_EQ(error, static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_TRUE(ini.Load(path, &error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Describe(ini), L"S(s)K(k=v)");
}

TEST(IniFileLoad, MergesIntoWhatIsThere)
{
    const std::wstring path = TempFile(L"merge.ini");
    CIniFile ini;
    ini.SetValue(L"window", L"X", L"1");
    ini.SetValue(L"window", L"keep", L"me");
    EXPECT_TRUE(WriteBytes(path, "[WINDOW]\nx=2\nnew=3\n[other]\n"));
    EXPECT_TRUE(ini.Load(path));
    EXPECT_EQ(Describe(ini), L"S(window)K(X=2)K(keep=me)K(new=3)S(WINDOW)S(other)");
}

TEST(IniFileLookup, NamesMatchIgnoringAsciiCaseOnly)
{
    CIniFile ini;
    ini.SetValue(L"Window", L"Rate", L"1");
    ini.SetValue(L"\x00C9t\x00E9", L"k", L"2");
    EXPECT_EQ(ini.FindSection(L"wINDOW"), 0);
    EXPECT_EQ(ini.FindKey(0, L"RATE"), 0);
    EXPECT_EQ(ini.GetValue(L"WINDOW", L"rate", L"none"), L"1");
    EXPECT_EQ(ini.FindSection(L"\x00C9t\x00E9"), 1);
    EXPECT_EQ(ini.FindSection(L"\x00E9t\x00E9"), -1);   // only A..Z are folded
    EXPECT_EQ(ini.FindSection(L"Windo"), -1);
    EXPECT_EQ(ini.FindKey(-1, L"Rate"), -1);
    EXPECT_EQ(ini.FindKey(2, L"Rate"), -1);
    EXPECT_EQ(ini.GetValue(L"Window", L"missing", L"fallback"), L"fallback");
    EXPECT_EQ(ini.GetValue(L"missing", L"Rate", L"fallback"), L"fallback");
}

// Lookups go through an index; names appended to the public lists directly are found
// too, and the first of equal names stays the one found.
TEST(IniFileLookup, IndexKeepsUpWithEveryWayNamesAreAdded)
{
    CIniFile ini;
    ini.SetValue(L"Window", L"x", L"1");
    EXPECT_EQ(ini.FindSection(L"window"), 0);
    ini.sectionNames.push_back(L"Extra");
    ini.sections.emplace_back();
    ini.sections[1].keys.push_back(L"Key");
    ini.sections[1].values.push_back(L"direct");
    ini.AddSection(L"WINDOW");
    EXPECT_EQ(ini.GetValue(L"extra", L"KEY", L""), L"direct");
    EXPECT_EQ(ini.FindSection(L"window"), 0);
    ini.SetValue(L"extra", L"key", L"replaced");
    EXPECT_EQ(Describe(ini), L"S(Window)K(x=1)S(Extra)K(Key=replaced)S(WINDOW)");
    ini.caseInsensitive = false;
    EXPECT_EQ(ini.FindSection(L"WINDOW"), 2);
    EXPECT_EQ(ini.FindKey(1, L"key"), -1);
}

TEST(IniFileLookup, SetValueReplacesOrAppends)
{
    CIniFile ini;
    EXPECT_EQ(ini.AddSection(L"a"), 0);
    EXPECT_EQ(ini.AddSection(L"a"), 1);   // repeats are allowed; lookups take the first
    ini.SetValue(L"A", L"k", L"1");
    ini.SetValue(L"b", L"k", L"2");
    ini.SetValue(L"a", L"K", L"3");
    EXPECT_EQ(Describe(ini), L"S(a)K(k=3)S(a)S(b)K(k=2)");
}

TEST(IniFileNumbers, GetIntParsesBaseTenWithClamping)
{
    const std::pair<std::wstring, int> cases[] = {
        {L"12abc", 12}, {L"", 0}, {L"abc", 0}, {L" 7", 7}, {L"\t -3x", -3}, {L"+5", 5},
        {L"- 3", 0}, {L"99999999999", INT_MAX}, {L"-99999999999", INT_MIN},
        {L"2147483647", INT_MAX}, {L"-2147483648", INT_MIN}, {L"2147483648", INT_MAX},
        {L"0x1F", 0}, {L"007", 7}, {L"16777215", 16777215},
    };
    CIniFile ini;
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        ini.SetValue(L"s", L"n", text);
        EXPECT_EQ(ini.GetInt(L"s", L"n", 42), expected);
    }
    EXPECT_EQ(ini.GetInt(L"s", L"missing", 42), 42);
    EXPECT_EQ(ini.GetInt(L"s", L"missing", INT_MIN), INT_MIN);
}

TEST(IniFileNumbers, GetBoolIsNonZero)
{
    const std::pair<std::wstring, bool> cases[] = {
        {L"1", true}, {L"2", true}, {L"-1", true}, {L"0", false}, {L"yes", false}, {L"true", false}, {L"", false},
    };
    CIniFile ini;
    for (const auto& [text, expected] : cases) {
        ini.SetValue(L"s", L"b", text);
        EXPECT_EQ(ini.GetBool(L"s", L"b", !expected), expected);
    }
    EXPECT_TRUE(ini.GetBool(L"s", L"missing", true));
    EXPECT_FALSE(ini.GetBool(L"s", L"missing", false));
}

TEST(IniFileNumbers, SettersWriteDecimalText)
{
    CIniFile ini;
    ini.SetInt(L"s", L"a", -13);
    ini.SetInt(L"s", L"b", INT_MIN);
    ini.SetBool(L"s", L"c", true);
    ini.SetBool(L"s", L"d", false);
    EXPECT_EQ(Describe(ini), L"S(s)K(a=-13)K(b=-2147483648)K(c=1)K(d=0)");
}

TEST(IniFileSave, WritesExactBytes)
{
    const std::wstring path = TempFile(L"save.ini");
    CIniFile empty;
    ASSERT_TRUE(empty.Save(path));
    EXPECT_EQ(ReadBytes(path), "");

    CIniFile oneSection;
    oneSection.AddSection(L"s");
    ASSERT_TRUE(oneSection.Save(path));
    EXPECT_EQ(ReadBytes(path), "[s]\r\n\r\n");

    CIniFile full;
    full.fileComments = {L" top", L""};
    full.SetValue(L"window", L"x", L"1");
    full.sections[0].comments.push_back(L"note");
    full.SetValue(L"window", L"font", L"Courier New");
    full.AddSection(L"window");
    full.SetValue(L"other", L"text", L"\x00E9\x20AC\xD83D\xDE00");
    ASSERT_TRUE(full.Save(path));
    EXPECT_EQ(ReadBytes(path),
              "; top\r\n;\r\n\r\n"
              "[window]\r\n;note\r\nx=1\r\nfont=Courier New\r\n\r\n"
              "[window]\r\n\r\n"
              "[other]\r\ntext=\xC3\xA9\xE2\x82\xAC\xED\xA0\xBD\xED\xB8\x80\r\n\r\n");
}

TEST(IniFileSave, ReplacesWholeFileAndLeavesNoTemporary)
{
    const std::wstring path = TempFile(L"replace.ini");
    EXPECT_TRUE(WriteBytes(path, std::string(5000, 'x')));
    CIniFile ini;
    ini.AddSection(L"s");
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(ReadBytes(path), "[s]\r\n\r\n");
    EXPECT_FALSE(FileExists(path + L".tmp"));
}

TEST(IniFileSave, FailureKeepsOldFile)
{
    CIniFile ini;
    ini.SetValue(L"s", L"k", L"new");
    EXPECT_FALSE(ini.Save(L""));
    EXPECT_FALSE(FileExists(L".tmp"));
    EXPECT_FALSE(ini.Save(Folder() + L"\\no such folder\\x.ini"));

    // A target that another program holds open cannot be replaced: it keeps its content
    // and gets no half-written sibling.
    const std::wstring path = TempFile(L"locked.ini");
    EXPECT_TRUE(WriteBytes(path, "[s]\r\nk=old\r\n\r\n"));
    HANDLE locked = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ini.Save(path));
    CloseHandle(locked);
    EXPECT_EQ(ReadBytes(path), "[s]\r\nk=old\r\n\r\n");
    EXPECT_FALSE(FileExists(path + L".tmp"));
}

// A user who marks the file read-only wants it left as it is.
TEST(IniFileSave, ReadOnlyFileIsLeftAlone)
{
    const std::wstring path = TempFile(L"readonly.ini");
    for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}}) {
        SCOPED_TRACE(attributes);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteBytes(path, "[s]\r\nk=mine\r\n\r\n"));
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
        const DWORD before = GetFileAttributesW(path.c_str());
        CIniFile ini;
        ini.SetValue(L"s", L"k", L"new");
        EXPECT_FALSE(ini.Save(path));
        EXPECT_EQ(ReadBytes(path), "[s]\r\nk=mine\r\n\r\n");
        EXPECT_EQ(GetFileAttributesW(path.c_str()), before);
        EXPECT_FALSE(FileExists(path + L".tmp"));
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Random documents within what the writer promises to round-trip: keys free of ";#[="
// that begin with an accepted character, no line break (LF, or CR, which alone also ends
// a line) in any text.
class DocumentGenerator {
public:
    explicit DocumentGenerator(unsigned seed) : random(seed) {}

    CIniFile Make()
    {
        CIniFile ini;
        for (int i = Below(3); i > 0; --i)
            ini.fileComments.push_back(Text(12));
        std::set<std::wstring> sectionNames;
        for (int s = Below(6); s > 0; --s) {
            const std::wstring name = UniqueName(sectionNames, false);
            const int index = ini.AddSection(name);
            for (int c = Below(3); c > 0; --c)
                ini.sections[index].comments.push_back(Text(10));
            std::set<std::wstring> keyNames;
            for (int k = Below(8); k > 0; --k)
                ini.SetValue(name, UniqueName(keyNames, true), Text(16));
        }
        return ini;
    }

private:
    int Below(int n) { return std::uniform_int_distribution<int>(0, n)(random); }

    wchar_t AnyUnit()
    {
        static const std::wstring pool =
            L"abcXYZ019 _-.,!?\"'\\/()<>]\t\x000B\x0001\x007F\x00A0\x00E9\x00FF\x0416\x20AC\xFEFF\xFFFD"
            L"\xD83D\xDE00\xDC00\xD800;#[=";
        return pool[std::uniform_int_distribution<size_t>(0, pool.size() - 1)(random)];
    }

    std::wstring Text(int maxLength)
    {
        std::wstring text;
        for (int i = Below(maxLength); i > 0; --i)
            text.push_back(AnyUnit());
        return text;
    }

    std::wstring UniqueName(std::set<std::wstring>& taken, bool isKey)
    {
        for (;;) {
            std::wstring name;
            if (isKey) {
                static const std::wstring starts = L"aZ 9_~]\x0416\x4E2D";
                name.push_back(starts[std::uniform_int_distribution<size_t>(0, starts.size() - 1)(random)]);
            }
            for (wchar_t c : Text(8)) {
                if (!isKey || std::wstring(L";#[=").find(c) == std::wstring::npos)
                    name.push_back(c);
            }
            std::wstring lowered = name;
            for (wchar_t& c : lowered)
                if (c >= L'A' && c <= L'Z')
                    c = static_cast<wchar_t>(c - L'A' + L'a');
            if (taken.insert(lowered).second)
                return name;
        }
    }

    std::mt19937 random;
};

TEST(IniFileProperty, SaveThenLoadGivesBackTheDocument)
{
    const std::wstring path = TempFile(L"roundtrip.ini");
    DocumentGenerator generator(20240611);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const CIniFile original = generator.Make();
        ASSERT_TRUE(original.Save(path));
        CIniFile copy;
        EXPECT_EQ(copy.Load(path), !original.sections.empty());
        ASSERT_EQ(Describe(copy), Describe(original));
        // A second save of what was read is byte for byte the first.
        const std::string first = ReadBytes(path);
        ASSERT_TRUE(copy.Save(path));
        ASSERT_EQ(ReadBytes(path), first);
    }
}

TEST(IniFileProperty, RandomBytesNeverBreakLoad)
{
    const std::wstring path = TempFile(L"random.ini");
    std::mt19937 random(7);
    // Mostly ini-like bytes, so that loading gets past the first line often.
    const std::string pool = "[]=;#\r\n\r\nab Z9\t\x80\xBF\xC3\xA9\xE2\x82\xAC\xED\xA0\xF0\x9F\xF4\xFF\xEF\xBB";
    for (int round = 0; round < 500; ++round) {
        std::string bytes;
        const int length = std::uniform_int_distribution<int>(0, 400)(random);
        for (int i = 0; i < length; ++i) {
            bytes.push_back(random() % 4 == 0 ? static_cast<char>(random() & 0xFF)
                                              : pool[random() % pool.size()]);
        }
        EXPECT_TRUE(WriteBytes(path, bytes));
        CIniFile ini;
        ini.Load(path);
        ASSERT_EQ(ini.sections.size(), ini.sectionNames.size());
        for (const IniSection& s : ini.sections)
            ASSERT_EQ(s.keys.size(), s.values.size());
    }
}

// Lookups scan linearly; this keeps an eye on a file far larger than the program writes.
TEST(IniFilePerformance, LargeFileLoadsAndAnswersQuickly)
{
    const std::wstring path = TempFile(L"large.ini");
    struct Shape { const char* name; int sections; };
    for (const Shape shape : {Shape{"one section", 1}, Shape{"200 sections", 200}}) {
        std::string bytes;
        const int keys = 20000;
        const int perSection = keys / shape.sections;
        for (int i = 0; i < keys; ++i) {
            char line[96];
            if (i % perSection == 0) {
                snprintf(line, sizeof line, "[section%03d]\r\n", i / perSection);
                bytes += line;
            }
            snprintf(line, sizeof line, "key%05d=value of key %05d padded to fill a line...\r\n", i, i);
            bytes += line;
        }
        ASSERT_GT(bytes.size(), 1000000u);
        EXPECT_TRUE(WriteBytes(path, bytes));

        const auto start = std::chrono::steady_clock::now();
        CIniFile ini;
        ASSERT_TRUE(ini.Load(path));
        const auto loaded = std::chrono::steady_clock::now();
        std::mt19937 random(3);
        int found = 0;
        for (int i = 0; i < 1000; ++i) {
            const int k = static_cast<int>(random() % keys);
            wchar_t section[16], key[16];
            swprintf(section, 16, L"SECTION%03d", k / perSection);
            swprintf(key, 16, L"KEY%05d", k);
            found += !ini.GetValue(section, key, L"").empty();
        }
        const auto done = std::chrono::steady_clock::now();
        EXPECT_EQ(found, 1000);

        using ms = std::chrono::milliseconds;
        const long long loadMs = std::chrono::duration_cast<ms>(loaded - start).count();
        const long long lookupMs = std::chrono::duration_cast<ms>(done - loaded).count();
        printf("[ perf ] %s: %zu bytes, %d keys: load %lld ms, 1000 lookups %lld ms\n",
               shape.name, bytes.size(), keys, loadMs, lookupMs);
        EXPECT_LT(loadMs + lookupMs, 3000) << shape.name;
    }
}

} // namespace
