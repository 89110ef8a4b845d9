// A text of several languages read by the real program with the stand-in's voices, each
// paragraph by the voice of its language; and the chosen voice and volume across
// restarts. The stand-in writes every word it speaks with the eSpeak NG voice that spoke
// it into a log, which tells who read what.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <sstream>

#include "app_driver.h"
#include "file_bytes.h"
#include "resource.h"

namespace {

constexpr DWORD Patience = 20000;
constexpr wchar_t VoiceTokens[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\";
constexpr wchar_t TokenIdRoot[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\";
const std::wstring WordLog = L"C:\\clipvoce-words.log";

const std::wstring English = L"The committee will publish its final report after the summer holidays are over.";
const std::wstring German = L"Die Kommission veröffentlicht ihren Abschlussbericht nach den Sommerferien im August.";
const std::wstring French = L"La commission publiera son rapport définitif après les vacances d'été.";
const std::wstring Russian = L"Комиссия опубликует свой окончательный доклад после летних каникул.";

std::string Narrow(const std::wstring& text)
{
    std::string narrow(text.size() * 3, '\0');
    narrow.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                          narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr)));
    return narrow;
}

std::vector<std::wstring> Words(const std::wstring& text)
{
    std::vector<std::wstring> words;
    std::wistringstream in(text);
    for (std::wstring word; in >> word;)
        words.push_back(word);
    return words;
}

// The stand-in's log, a line a word: the word, a tab and the eSpeak NG voice that spoke it.
std::vector<std::pair<std::string, std::string>> SpokenWords()
{
    std::vector<std::pair<std::string, std::string>> spoken;
    std::istringstream lines(ReadSharedBytes(WordLog));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t tab = line.find('\t');
        if (tab != std::string::npos)
            spoken.emplace_back(line.substr(tab + 1), line.substr(0, tab));
    }
    return spoken;
}

// The stand-in registers its voices again, the Russian one among them.
void RegisterStandInVoices()
{
    const HMODULE dll = LoadLibraryW((BinFolder() + L"\\clipvoce_voice.dll").c_str());
    ASSERT_NE(dll, nullptr);
    const auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    ASSERT_NE(registerServer, nullptr);
    EXPECT_EQ(registerServer(), S_OK);
    FreeLibrary(dll);
}

// Reads the copy, not a text the program took from the clipboard as it started.
HWND PlayCopy(AppProcess& app, const std::wstring& text)
{
    HWND window = app.Window(Patience);
    if (!window || !SetClipboardText(text) ||
        !PumpUntil([&] { return TextViewText(window).rfind(text.substr(0, 5), 0) == 0; }, Patience))
        return nullptr;
    PressKey(window, VK_SPACE);
    return window;
}

bool Stopped(HWND window)
{
    return WindowText(window).rfind(L"Speech window - stopped", 0) == 0;
}

class LanguagesEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileW(WordLog.c_str());
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WORD_LOG", WordLog.c_str());
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"400");
        WriteSettingsFile();
        EmptyTheClipboard();
    }
    void TearDown() override
    {
        RegisterStandInVoices();
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WORD_LOG", nullptr);
        DeleteFileW(WordLog.c_str());
    }
};

// A reading seen from outside: each highlight as the caption stood with it.
struct Sight {
    int start;
    int end;
    std::wstring caption;
};

TEST_F(LanguagesEndToEnd, EachParagraphIsReadByTheVoiceOfItsLanguage)
{
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(VoiceTokens) + L"ClipvoceStandIn-RU").c_str()), ERROR_SUCCESS);
    const std::wstring copy = English + L"\r\n" + German + L"\r\n" + French + L"\r\n" + Russian;
    AppProcess app;
    HWND window = PlayCopy(app, copy);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !Stopped(window); }, Patience)) << "the reading did not start";

    // Highlights are taken where the selection stood still around the caption's reading.
    std::vector<Sight> seen;
    const bool ended = PumpUntil([&] {
        const LRESULT before = SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0);
        const std::wstring caption = WindowText(window);
        if (SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0) == before &&
            (seen.empty() || seen.back().caption != caption || seen.back().start != LOWORD(before)))
            seen.push_back({LOWORD(before), HIWORD(before), caption});
        return Stopped(window);
    }, 60000);
    ASSERT_TRUE(ended) << "the reading did not end: " << Narrow(WindowText(window));
    // Positions count a paragraph break as one character.
    std::wstring view = TextViewText(window);
    for (size_t at; (at = view.find(L"\r\n")) != std::wstring::npos;)
        view.erase(at + 1, 1);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(Patience), 0);

    // Every word once, in order, each paragraph by its own voice; no Russian voice, so
    // the chosen one (the system's default, English) reads that paragraph.
    std::vector<std::pair<std::string, std::string>> expected;
    const std::pair<const std::wstring*, const char*> paragraphs[] = {
        {&English, "en"}, {&German, "de"}, {&French, "fr"}, {&Russian, "en"}};
    for (const auto& [paragraph, voice] : paragraphs)
        for (const std::wstring& word : Words(*paragraph))
            expected.emplace_back(voice, Narrow(word));
    const auto spoken = SpokenWords();
    EXPECT_EQ(spoken, expected);
    int switches = 0;
    for (size_t i = 1; i < spoken.size(); ++i)
        switches += spoken[i].first != spoken[i - 1].first;
    EXPECT_EQ(switches, 3);

    // The highlight is always a whole word, moving forward, and the caption names the
    // language of the paragraph it is in; the Russian paragraph's first words bring the
    // note, which gives way when the reading reaches the paragraph's next line.
    const std::wstring codes[] = {L"EN", L"DE", L"FR", L"RU"};
    const size_t starts[] = {0, view.find(German), view.find(French), view.find(Russian), view.size()};
    std::vector<std::wstring> languages;
    bool noted = false;
    int previous = -1;
    for (const Sight& sight : seen) {
        noted = noted || sight.caption.find(L"no voice for Russian is installed") != std::wstring::npos;
        if (sight.start == sight.end || sight.caption.find(L" - playing ") == std::wstring::npos)
            continue;
        const std::wstring word = view.substr(sight.start, sight.end - sight.start);
        EXPECT_EQ(Words(word).size(), 1u) << "highlight " << sight.start << ".." << sight.end << ": " << Narrow(word);
        EXPECT_TRUE(sight.end == static_cast<int>(view.size()) || iswspace(view[sight.end])) << Narrow(word);
        EXPECT_GE(sight.start, previous) << "the highlight went back";
        previous = sight.start;
        const size_t paragraph = std::upper_bound(std::begin(starts), std::end(starts), static_cast<size_t>(sight.start)) -
                                 std::begin(starts) - 1;
        ASSERT_LT(paragraph, 4u);
        EXPECT_NE(sight.caption.find(L"playing " + codes[paragraph] + L"   ["), std::wstring::npos)
            << Narrow(sight.caption) << " over " << Narrow(word);
        if (languages.empty() || languages.back() != codes[paragraph])
            languages.push_back(codes[paragraph]);
    }
    EXPECT_EQ(languages, (std::vector<std::wstring>(std::begin(codes), std::end(codes))));
    EXPECT_TRUE(noted) << "no note on the language without a voice";
}

TEST_F(LanguagesEndToEnd, ChosenVoiceAndVolumeSurviveARestartAndAMissingOneIsKept)
{
    const std::wstring german = std::wstring(TokenIdRoot) + L"ClipvoceStandIn-DE";
    {
        AppProcess app;
        HWND window = app.Window(Patience);
        ASSERT_NE(window, nullptr);
        PressKey(window, 'O');
        HWND dialog = WaitForProcessWindow(app.Id(), L"#32770", L"Options", Patience);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(dialog) != FALSE; }, Patience));
        HWND page = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
        const LRESULT entry = SendDlgItemMessageW(page, IDC_VOICE_LIST, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                  reinterpret_cast<LPARAM>(L"eSpeak NG German"));
        ASSERT_NE(entry, CB_ERR);
        SendDlgItemMessageW(page, IDC_VOICE_LIST, CB_SETCURSEL, entry, 0);
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_VOICE_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_VOICE_LIST)));
        HWND volume = GetDlgItem(page, IDC_VOLUME);
        SendMessageW(volume, TBM_SETPOS, TRUE, 41);
        SendMessageW(volume, WM_KEYDOWN, VK_LEFT, 0);
        ASSERT_EQ(SendMessageW(volume, TBM_GETPOS, 0, 0), 40);
        PressDialogButton(dialog, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, Patience));
        const std::wstring saved = ReadFileUtf8(SettingsFile());
        EXPECT_EQ(IniValue(saved, L"voice"), german);
        EXPECT_EQ(IniValue(saved, L"volume"), L"40");
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(app.WaitExit(Patience), 0);
    }
    {
        // After a restart the German voice reads, at the volume chosen.
        AppProcess app;
        HWND window = PlayCopy(app, L"Guten Tag, das ist ein kurzer Text.");
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return !SpokenWords().empty() && Stopped(window); }, 60000));
        EXPECT_EQ(SpokenWords().front().first, "de");
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(app.WaitExit(Patience), 0);
        EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"volume"), L"40");
    }
    // A chosen voice that is gone: the default reads, the user is told, the file keeps it.
    std::string file = ReadBytes(SettingsFile());
    const std::string gone = Narrow(std::wstring(TokenIdRoot)) + "ClipvoceStandIn-XX";
    file.replace(file.find(Narrow(german)), Narrow(german).size(), gone);
    ASSERT_TRUE(WriteBytes(SettingsFile(), file));
    DeleteFileW(WordLog.c_str());
    {
        // Numbers are in no language: the chosen voice reads them.
        AppProcess app;
        HWND window = PlayCopy(app, L"12345 67890 13579.");
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return WindowText(window).find(L"ClipvoceStandIn-XX is not installed") != std::wstring::npos; },
                              Patience))
            << Narrow(WindowText(window));
        ASSERT_TRUE(PumpUntil([&] { return !SpokenWords().empty(); }, Patience));
        EXPECT_EQ(SpokenWords().front().first, "en");
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(app.WaitExit(Patience), 0);
    }
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"voice"), std::wstring(TokenIdRoot) + L"ClipvoceStandIn-XX");
}

} // namespace
