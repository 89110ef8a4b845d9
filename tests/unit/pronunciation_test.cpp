// The pronunciation dictionary: what each kind of entry makes the voice hear, the file
// it lives in, the highlight that stays on the word as written, and the page that will
// not take a regular expression the engine refuses.
#include <gtest/gtest.h>
#include "in_process_app.h"
#include "pump.h"
#include "resource.h"
#include "app/options_host.h"
#include "options/options_dialog.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "pronunciation/dictionary_file.h"
#include "pronunciation/pronouncer.h"
#include "pronunciation/pronunciation_store.h"
#include "platform/whole_file.h"
#include "settings/settings_file.h"
#include "hearing/listening_filters.h"
#include "hearing/pronounced_text.h"
#include "view/normalise.h"
#include "voice/voice_catalog.h"
#include <commctrl.h>
#include <algorithm>
#include <functional>
#include <optional>

namespace {

constexpr MatchType Anywhere = MatchType::Anywhere;
constexpr MatchType Word = MatchType::WholeWord;
constexpr MatchType Regex = MatchType::RegularExpression;

PronunciationEntry Entry(const wchar_t* pattern, const wchar_t* replacement, MatchType type, bool caseSensitive = false,
                         const wchar_t* voice = L"")
{
    PronunciationEntry e;
    e.pattern = pattern;
    e.replacement = replacement;
    e.type = type;
    e.caseSensitive = caseSensitive;
    e.voice = voice;
    return e;
}

// A settings folder of the test's own under the temporary folder; the store reads its
// dictionary there.
std::wstring UseScratchSettingsFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    SettingsStore.path = folder + L"\\clipvoce.ini";
    return folder;
}

struct Row {
    std::vector<PronunciationEntry> entries;
    const wchar_t* voice;
    const wchar_t* text;
    const wchar_t* heard;
};

TEST(PronunciationTest, EachKindOfEntryChangesWhatTheVoiceHears)
{
    const wchar_t* espeak = L"eSpeak NG English";
    const Row rows[] = {
        // Anywhere, whole word, and a whole word that starts with no letter.
        {{Entry(L"clip", L"klip", Anywhere)}, espeak, L"Clipboard, clip.", L"klipboard, klip."},
        {{Entry(L"clip", L"klip", Word)}, espeak, L"Clipboard, clip_a, clip.", L"Clipboard, clip_a, klip."},
        {{Entry(L".NET", L"dot net", Word)}, espeak, L"ASP.NET and .NET 8", L"ASP.NET and dot net 8"},
        // The case flag.
        {{Entry(L"US", L"you ess", Word, true)}, espeak, L"US and us", L"you ess and us"},
        // Regular expressions with numbered and named groups, case-insensitive by default.
        {{Entry(L"(\\d+)\\s?km\\b", L"\\1 kilometres", Regex)}, espeak, L"5km and 12 KM", L"5 kilometres and 12 kilometres"},
        {{Entry(L"(?P<n>\\d+)%", L"\\g<n> percent", Regex)}, espeak, L"50% off", L"50 percent off"},
        // Unicode's letters, beside typographic quotes that are none.
        {{Entry(L"\\bcaf\\w\\b", L"coffee", Regex), Entry(L"\\bit\\b", L"IT", Regex, true)}, espeak,
         L"it\x2019s the caf\xE9, it", L"IT\x2019s the coffee, IT"},
        // Longer, shorter and empty replacements.
        {{Entry(L"etc.", L"et cetera", Anywhere), Entry(L"approximately", L"about", Word), Entry(L"um", L"", Word)},
         espeak, L"so um approximately etc.", L"so  about et cetera"},
        // Overlapping entries: the earlier one wins wherever it matches.
        {{Entry(L"voce", L"VOICE", Anywhere), Entry(L"Clipvo", L"CLIPVO", Anywhere)}, espeak, L"Clipvoce", L"ClipVOICE"},
        {{Entry(L"\\bDr\\.", L"Doctor", Regex), Entry(L"Dr. No", L"doctor no", Anywhere)}, espeak, L"Dr. No", L"Doctor No"},
        {{Entry(L"Dr. No", L"doctor no", Anywhere), Entry(L"\\bDr\\.", L"Doctor", Regex)}, espeak, L"Dr. No, Dr. Who",
         L"doctor no, Doctor Who"},
        // Scope: an entry for one voice leaves the others alone.
        {{Entry(L"tomato", L"tomahto", Word, false, L"eSpeak NG English"), Entry(L"potato", L"potahto", Word)}, espeak,
         L"tomato potato", L"tomahto potahto"},
        {{Entry(L"tomato", L"tomahto", Word, false, L"eSpeak NG English"), Entry(L"potato", L"potahto", Word)},
         L"Another voice", L"tomato potato", L"tomato potahto"},
    };
    for (const Row& row : rows) {
        const Pronouncer pronouncer(row.entries, row.voice);
        EXPECT_EQ(pronouncer.Pronounce(row.text), row.heard) << "text: " << testing::PrintToString(std::wstring(row.text));
    }
}

// Words compare without their case unless the entry minds it, a regular expression's
// letters always with it ("\d" is not "\D"), a voice's name always without.
TEST(PronunciationTest, EntriesMatchAlikeOnlyWhenTheyMatchTheSameText)
{
    const PronunciationEntry word = Entry(L"Weg", L"", MatchType::WholeWord, false, L"Voice German");
    EXPECT_TRUE(MatchesAsOtherDoes(word, Entry(L"WEG", L"x", MatchType::WholeWord, false, L"voice german")));
    EXPECT_FALSE(MatchesAsOtherDoes(word, Entry(L"Weg", L"", MatchType::WholeWord, true, L"Voice German")));
    EXPECT_FALSE(MatchesAsOtherDoes(word, Entry(L"Weg", L"", MatchType::Anywhere, false, L"Voice German")));
    EXPECT_FALSE(MatchesAsOtherDoes(word, Entry(L"Weg", L"", MatchType::WholeWord, false, L"")));
    const PronunciationEntry digits = Entry(L"\\d+", L"", MatchType::RegularExpression, false, L"");
    EXPECT_FALSE(MatchesAsOtherDoes(digits, Entry(L"\\D+", L"", MatchType::RegularExpression, false, L"")));
}

// A regular expression is searched only in a text that holds what every match must, and
// in its faster ASCII form where that says the same.
TEST(PronunciationTest, ARegularExpressionIsSearchedOnlyWhereItCanMatch)
{
    EXPECT_TRUE(RegexPattern::AsciiClassesSuffice(L"it\x2019s \x201Cso\x201D \x2014 \xD83D\xDE00"));
    EXPECT_FALSE(RegexPattern::AsciiClassesSuffice(L"caf\xE9"));
    EXPECT_FALSE(RegexPattern::AsciiClassesSuffice(L"a\xA0" L"b"));
    EXPECT_FALSE(RegexPattern::AsciiClassesSuffice(L"a\xD83D" L"b"));
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"\\btag5-(\\d+)\\b", L"tag5-"}, {L"colou?r", L"colo"},    {L"a{2,3}bc", L"bc"},
        {L"(?<=\\d)unit2\\b", L"unit2"},  {L"x\\.org|y", L""},     {L"(?i)abc", L""},
        {L"\\d+,\\d+", L""},             {L"[abc]de(fg)*", L"de"}, {L"(ab|cd)efg", L"efg"},
    };
    for (const auto& [pattern, required] : rows)
        EXPECT_EQ(RegexPattern::RequiredLiteral(pattern), required) << testing::PrintToString(std::wstring(pattern));
}

TEST(PronunciationTest, TheFileKeepsCommentsEscapesAndLinesItCannotUse)
{
    const std::string file =
        "# names\r\n"
        "Clipvoce\tclip voice\t0\t2\r\n"
        "\r\n"
        "\\#hashtag\thash tag\t1\t0\r\n"
        "C\\#\tsee sharp\t0\t0\r\n"
        "(\\d+)km\t\\1 kilometres\t0\t1\r\n"
        "tomato\ttomahto\t0\t2\teSpeak NG English\r\n"
        "only two\tfields\r\n"
        "case\tbad\t7\t0\r\n"
        "(unclosed\tx\t0\t1\r\n"
        "# the end\r\n";
    const DictionaryReading reading = ParseDictionary(file);
    ASSERT_TRUE(reading.unreadable.empty());
    const auto& entries = reading.dictionary.entries;
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].linesBefore, std::vector<std::wstring>{L"# names"});
    EXPECT_TRUE(entries[0].SameMeaning(Entry(L"Clipvoce", L"clip voice", Word)));
    EXPECT_TRUE(entries[1].SameMeaning(Entry(L"#hashtag", L"hash tag", Anywhere, true)));
    EXPECT_EQ(entries[2].pattern, L"C#");
    EXPECT_EQ(entries[3].type, Regex);
    EXPECT_EQ(entries[4].voice, L"eSpeak NG English");
    ASSERT_EQ(reading.problems.size(), 3u);
    EXPECT_EQ(reading.problems[0].line, 8);
    EXPECT_EQ(reading.problems[1].line, 9);
    EXPECT_EQ(reading.problems[2].line, 10);
    EXPECT_NE(reading.problems[2].why.find(L"missing closing parenthesis"), std::wstring::npos) << reading.problems[2].why;
    // Written back byte for byte, the lines it could not use included.
    EXPECT_EQ(FormatDictionary(reading.dictionary), file);

    // An import takes the entries with their comments, into an empty dictionary or onto
    // itself, but never a line it could not use.
    std::string usable = file;
    usable.erase(usable.find("only two"), usable.find("# the end") - usable.find("only two"));
    PronunciationDictionary imported;
    EXPECT_EQ(ImportEntries(imported, reading.dictionary), 5);
    EXPECT_EQ(FormatDictionary(imported), usable);
    EXPECT_EQ(ImportEntries(imported, reading.dictionary), 0);
    EXPECT_EQ(FormatDictionary(imported), usable);
    PronunciationDictionary held;
    held.entries.push_back(Entry(L"tomato", L"tomayto", Word, false, L"eSpeak NG English"));
    EXPECT_EQ(ImportEntries(held, reading.dictionary), 5);
    EXPECT_EQ(held.entries[0].replacement, L"tomahto") << "the entry already there was not changed where it stands";
    EXPECT_EQ(FormatDictionary(held).find("only two"), std::string::npos);

    // A byte-order mark is allowed; text that is not UTF-8 leaves the whole file unread.
    EXPECT_EQ(ParseDictionary("\xEF\xBB\xBFword\tother\t0\t0\n").dictionary.entries.size(), 1u);
    const DictionaryReading broken = ParseDictionary("a\tb\t0\t0\ncaf\xE9\tcafe\t0\t0\n");
    EXPECT_TRUE(broken.dictionary.entries.empty());
    EXPECT_NE(broken.unreadable.find(L"line 2"), std::wstring::npos);
}

// The user changed the dictionary while the file was edited by hand: the hand-made lines
// stay, and the user's removal, edit and addition are made to the file as it is now.
TEST(PronunciationTest, ChangesAreMadeToTheFileAsEditedElsewhere)
{
    const DictionaryReading base = ParseDictionary("# mine\r\nA\ta\t0\t2\r\nB\tb\t0\t2\r\nC\tc\t0\t2\r\n");
    PronunciationDictionary changed = base.dictionary;
    RemoveEntry(changed, 1);
    changed.entries[1].replacement = L"see";
    changed.entries.push_back(Entry(L"D", L"dee", Word));
    const DictionaryReading edited =
        ParseDictionary("# mine\r\nA\tay\t0\t2\r\nB\tb\t0\t2\r\nC\tc\t0\t2\r\n# by hand\r\nE\te\t0\t7\r\nF\tf\t0\t2\r\n");
    const PronunciationDictionary merged = MergeChanges(base.dictionary, changed, edited.dictionary);
    EXPECT_EQ(FormatDictionary(merged),
              "# mine\r\nA\tay\t0\t2\r\nC\tsee\t0\t2\r\n# by hand\r\nE\te\t0\t7\r\nF\tf\t0\t2\r\nD\tdee\t0\t2\r\n");

    // The store does the same when it saves over a file that changed since it was read.
    const std::wstring folder = UseScratchSettingsFolder(L"clipvoce_merge_test");
    const std::wstring path = folder + L"\\clipvoce.dic";
    ASSERT_TRUE(WriteFileInPlaceOf(path, FormatDictionary(base.dictionary)));
    PronunciationStoreRecord store;
    LoadPronunciations(store);
    ASSERT_TRUE(WriteFileInPlaceOf(path, FormatDictionary(edited.dictionary)));
    EXPECT_TRUE(PronunciationFileChanged(store));
    EXPECT_EQ(SavePronunciations(store, store.dictionary, changed), 0u);
    std::string bytes;
    ASSERT_EQ(ReadWholeFile(path, bytes), 0u);
    EXPECT_EQ(bytes, FormatDictionary(merged));
    EXPECT_EQ(store.dictionary, merged);
    EXPECT_FALSE(PronunciationFileChanged(store)) << "the program's own write counts as a change by someone else";
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
    SettingsStore.path.clear();
}

// A dictionary of a hundred thousand lines the program cannot use is told in one line
// of the log, which keeps what was logged before.
TEST(PronunciationTest, LinesNotUsedAreLoggedInOneLine)
{
    const std::wstring folder = UseScratchSettingsFolder(L"clipvoce_unused_test");
    const std::wstring log = folder + L"\\clipvoce.log";
    std::string file;
    for (int i = 0; i < 100000; ++i)
        file += "word\tother\t0\t5\r\n";
    ASSERT_TRUE(WriteFileInPlaceOf(folder + L"\\clipvoce.dic", file));
    StartLog(log);
    LogLine(L"Logged before");
    PronunciationStoreRecord store;
    LoadPronunciations(store);
    StartLog(L"");
    std::string bytes;
    ASSERT_EQ(ReadWholeFile(log, bytes), 0u);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2) << bytes.substr(0, 2000);
    EXPECT_NE(bytes.find("Logged before"), std::string::npos);
    EXPECT_NE(bytes.find("not used, kept as they stand: 100000;"), std::string::npos) << bytes.substr(0, 2000);
    EXPECT_NE(bytes.find("and 99990 more lines"), std::string::npos) << bytes.substr(0, 2000);
    EXPECT_EQ(store.problems.size(), 100000u);
    for (const wchar_t* name : {L"\\clipvoce.dic", L"\\clipvoce.log", L"\\clipvoce.log.1"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
    SettingsStore.path.clear();
}

// "Clipvoce" said as "clip voice": both words light up the word as written, and what the
// listening filters say for a stretch of the view is taken whole.
TEST(PronunciationTest, TheHighlightCoversTheWordAsWrittenForEveryWordSaidForIt)
{
    const std::wstring copied = L"Clipvoce reads https://www.example.com/a?b=1 aloud [12].";
    PreparationMarks marks;
    const std::wstring view = NormaliseText(copied, &marks);
    const SpokenText filtered = FilterForListening(view, marks, ListeningFilters{});
    const Pronouncer pronouncer({Entry(L"Clipvoce", L"clip voice", Word), Entry(L"example", L"sample", Anywhere)}, L"");
    const SpokenText spoken = WithReplacements(filtered, pronouncer.Replacements(filtered.Text()));
    EXPECT_EQ(spoken.Text(), L"clip voice reads link, sample.com aloud.");

    const auto viewOf = [&](const wchar_t* word) {
        const int at = static_cast<int>(spoken.Text().find(word));
        const TextRange r = spoken.ViewRange(at, at + static_cast<int>(wcslen(word)));
        return view.substr(r.start, r.end - r.start);
    };
    EXPECT_EQ(viewOf(L"clip"), L"Clipvoce");
    EXPECT_EQ(viewOf(L"voice"), L"Clipvoce");
    EXPECT_EQ(viewOf(L"reads"), L"reads");
    EXPECT_EQ(viewOf(L"sample.com"), L"example.com");
    EXPECT_EQ(viewOf(L"aloud."), L"aloud");
    EXPECT_EQ(spoken.SpokenPosition(static_cast<int>(view.find(L"voce"))), 0);
    // What the filters skip stays skipped and shaded.
    ASSERT_EQ(spoken.SkippedRanges().size(), filtered.SkippedRanges().size());
    EXPECT_EQ(spoken.SkippedRanges().back().start, static_cast<int>(view.find(L" [12]")));
}

// The Pronunciation page of the Options, driven in the test's own process: the entry
// dialog is modal, so a timer fills it in once it is up.
class PronunciationPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = L"";
        GetTempPathW(MAX_PATH, temp);
        Store().path = std::wstring(temp) + L"clipvoce_pronunciation_test.dic";
        settings_ = std::wstring(temp) + L"clipvoce_pronunciation_test.ini";
        SettingsStore.path = settings_;
        DeleteFileW(Store().path.c_str());
    }

    void TearDown() override
    {
        if (dialog_ && IsWindow(dialog_))
            DestroyWindow(dialog_);
        DeleteFileW(Store().path.c_str());
        DeleteFileW(settings_.c_str());
        SettingsStore.path.clear();
    }

    PronunciationStoreRecord& Store() { return app_.state().pronunciations; }

    void OpenOnPronunciationTab()
    {
        state_.emplace(SpeechWindowOptionsHost(app_.state()), 0);
        dialog_ = CreateDialogParamW(ProgramModule(), MAKEINTRESOURCEW(IDD_OPTIONS), app_.window(), OptionsDialogProc,
                                     reinterpret_cast<LPARAM>(&*state_));
        HWND tabs = GetDlgItem(dialog_, IDC_OPTIONS_TABS);
        SendMessageW(tabs, TCM_SETCURSEL, 6, 0);
        NMHDR change{tabs, IDC_OPTIONS_TABS, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(dialog_, WM_NOTIFY, IDC_OPTIONS_TABS, reinterpret_cast<LPARAM>(&change));
    }

    // Presses Add; fill runs on the entry dialog once it is open and ends it.
    void AddWith(std::function<void(HWND)> fill)
    {
        filler_ = std::move(fill);
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, &PronunciationPageTest::OnTimer);
        SendMessageW(state_->currentPage, WM_COMMAND, IDC_PRONUNCIATION_ADD, 0);
        KillTimer(nullptr, timer);
        EXPECT_FALSE(filler_) << "the entry dialog did not open";
    }

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        HWND entry = FindWindowW(L"#32770", L"Add pronunciation");
        if (!entry || !filler_ || GetWindowThreadProcessId(entry, nullptr) != GetCurrentThreadId())
            return;
        const auto fill = std::move(filler_);
        filler_ = nullptr;
        fill(entry);
    }

    int Rows() const
    {
        return static_cast<int>(SendDlgItemMessageW(state_->currentPage, IDC_PRONUNCIATION_LIST, LVM_GETITEMCOUNT, 0, 0));
    }

    InProcessApp app_;
    std::optional<OptionsDialogState> state_;
    HWND dialog_ = nullptr;
    std::wstring settings_;
    static inline std::function<void(HWND)> filler_;
};

TEST_F(PronunciationPageTest, AnInvalidRegularExpressionIsRefusedWithTheEnginesMessage)
{
    OpenOnPronunciationTab();
    std::wstring problem;
    AddWith([&](HWND entry) {
        SetDlgItemTextW(entry, IDC_ENTRY_PATTERN, L"(\\d+");
        SetDlgItemTextW(entry, IDC_ENTRY_REPLACEMENT, L"\\1 items");
        SendDlgItemMessageW(entry, IDC_ENTRY_TYPE, CB_SETCURSEL, 2, 0);
        SendMessageW(entry, WM_COMMAND, IDOK, 0);
        wchar_t text[512] = L"";
        GetDlgItemTextW(entry, IDC_ENTRY_PROBLEM, text, 512);
        problem = text;
        SendMessageW(entry, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_NE(problem.find(L"The regular expression is not valid: missing closing parenthesis"), std::wstring::npos)
        << testing::PrintToString(problem);
    EXPECT_EQ(Rows(), 0) << "the refused entry was taken";

    // A usable entry joins the list, and OK writes it to the file.
    AddWith([](HWND entry) {
        SetDlgItemTextW(entry, IDC_ENTRY_PATTERN, L"Clipvoce");
        SetDlgItemTextW(entry, IDC_ENTRY_REPLACEMENT, L"clip voice");
        SendMessageW(entry, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(Rows(), 1);
    SendMessageW(dialog_, WM_COMMAND, IDOK, 0);
    std::string bytes;
    ASSERT_EQ(ReadWholeFile(Store().path, bytes), 0u);
    EXPECT_EQ(bytes, "Clipvoce\tclip voice\t0\t2\r\n");
}

// Another voice than the one in use may read a paragraph: every installed voice is offered
// as an entry's scope, each once. An entry that another already makes useless is refused.
TEST_F(PronunciationPageTest, AnEntryCanBeMeantForAnyInstalledVoice)
{
    app_.voiceLister = [](const std::wstring&) {
        return VoiceCatalog({{L"id-en", L"Voice English", {LANG_ENGLISH}, {}}, {L"id-de", L"Voice German", {LANG_GERMAN}, {}}},
                            L"id-en");
    };
    OpenOnPronunciationTab();
    AddWith([](HWND entry) {
        SetDlgItemTextW(entry, IDC_ENTRY_PATTERN, L"Weg");
        SetDlgItemTextW(entry, IDC_ENTRY_REPLACEMENT, L"Wehg");
        EXPECT_EQ(SendDlgItemMessageW(entry, IDC_ENTRY_VOICE, CB_GETCOUNT, 0, 0), 3);
        const LRESULT german =
            SendDlgItemMessageW(entry, IDC_ENTRY_VOICE, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(L"Voice German"));
        EXPECT_NE(german, CB_ERR) << "a voice not in use was not offered";
        SendDlgItemMessageW(entry, IDC_ENTRY_VOICE, CB_SETCURSEL, german, 0);
        SendMessageW(entry, WM_COMMAND, IDOK, 0);
    });
    // The same word for the same voice again would never be used; for every voice it would.
    std::wstring problem;
    AddWith([&](HWND entry) {
        SetDlgItemTextW(entry, IDC_ENTRY_PATTERN, L"WEG");
        SetDlgItemTextW(entry, IDC_ENTRY_REPLACEMENT, L"Weeg");
        SendDlgItemMessageW(entry, IDC_ENTRY_VOICE, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(L"Voice German"));
        SendMessageW(entry, WM_COMMAND, IDOK, 0);
        wchar_t text[512] = L"";
        GetDlgItemTextW(entry, IDC_ENTRY_PROBLEM, text, 512);
        problem = text;
        SendDlgItemMessageW(entry, IDC_ENTRY_VOICE, CB_SETCURSEL, 0, 0);
        SendMessageW(entry, WM_COMMAND, IDOK, 0);
    });
    EXPECT_NE(problem.find(L"Another entry already matches this pattern"), std::wstring::npos)
        << testing::PrintToString(problem);
    SendMessageW(dialog_, WM_COMMAND, IDOK, 0);
    const auto& entries = Store().dictionary.entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].voice, L"Voice German");
    EXPECT_EQ(entries[1].voice, L"") << "the entry for every voice was not taken";
}

// The list asks for what it shows, so a big dictionary lists at once; a change made to
// the file elsewhere while the page is open is read, said, and kept along with the
// page's own change on OK.
TEST_F(PronunciationPageTest, TheListShowsTheEntriesInMemoryAndTakesInAFileChangedMeanwhile)
{
    std::string file;
    for (int i = 0; i < 5000; ++i)
        file += "word" + std::to_string(i) + "\tsaid\t0\t2\r\n";
    ASSERT_TRUE(WriteFileInPlaceOf(Store().path, file));
    Store().dictionary = ParseDictionary(file).dictionary;
    Store().stamp = StampOf(Store().path);
    OpenOnPronunciationTab();
    ASSERT_EQ(Rows(), 5000);
    const HWND list = GetDlgItem(state_->currentPage, IDC_PRONUNCIATION_LIST);
    EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & LVS_OWNERDATA);
    wchar_t cell[64] = L"";
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = cell;
    item.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMTEXTW, 4999, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(cell, L"word4999");
    LVFINDINFOW typed{};
    typed.flags = LVFI_PARTIAL | LVFI_STRING | LVFI_WRAP;
    typed.psz = L"WORD4999";
    EXPECT_EQ(SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&typed)), 4999)
        << "typing a pattern does not find its entry";

    AddWith([](HWND entry) {
        SetDlgItemTextW(entry, IDC_ENTRY_PATTERN, L"mine");
        SetDlgItemTextW(entry, IDC_ENTRY_REPLACEMENT, L"my own");
        SendMessageW(entry, WM_COMMAND, IDOK, 0);
    });
    ASSERT_TRUE(WriteFileInPlaceOf(Store().path, file + "# by hand\r\nhand\tby hand\t0\t2\r\n"));
    const auto note = [&] {
        wchar_t text[512] = L"";
        GetDlgItemTextW(state_->currentPage, IDC_PRONUNCIATION_NOTE, text, 512);
        return std::wstring(text);
    };
    EXPECT_TRUE(PumpUntil([&] { return note().find(L"changed outside Clipvoce") != std::wstring::npos; }, 5000))
        << "the page did not tell of the change: " << testing::PrintToString(note());
    EXPECT_EQ(Rows(), 5002);
    SendMessageW(dialog_, WM_COMMAND, IDOK, 0);
    std::string bytes;
    ASSERT_EQ(ReadWholeFile(Store().path, bytes), 0u);
    EXPECT_EQ(bytes, file + "# by hand\r\nhand\tby hand\t0\t2\r\nmine\tmy own\t0\t2\r\n");
}

// A dictionary the program could not read through stays as it is, whatever is saved.
TEST_F(PronunciationPageTest, AFileThatCannotBeReadIsNeverWrittenOver)
{
    LoadPronunciations(Store());
    const std::string latin1 = "caf\xE9\tcafe\t0\t0\r\n";
    ASSERT_TRUE(WriteFileInPlaceOf(Store().path, latin1));
    LoadPronunciations(Store());
    EXPECT_NE(Store().unreadable.find(L"line 1 is not UTF-8"), std::wstring::npos);
    PronunciationDictionary changed;
    changed.entries.push_back(Entry(L"Clipvoce", L"clip voice", Word));
    EXPECT_NE(SavePronunciations(Store(), Store().dictionary, changed), 0u);
    std::string bytes;
    ASSERT_EQ(ReadWholeFile(Store().path, bytes), 0u);
    EXPECT_EQ(bytes, latin1);
}

} // namespace
