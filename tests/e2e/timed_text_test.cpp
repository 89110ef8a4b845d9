// Timed text beside an export, from the real program: chosen on the Voice Export tab,
// written beside the WAV with the same name, its cues the shown sentences, each starting
// where its speech starts in the WAV; and none is left by a failed export.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <regex>
#include <sstream>
#include "app_driver.h"
#include "espeak_reference.h"
#include "file_bytes.h"
#include "resource.h"

namespace {

const std::wstring English1 = L"The committee will publish its final report after the summer holidays are over.";
const std::wstring English2 = L"It will then be read by every member of the council.";
const std::wstring German1 = L"Die Kommission veröffentlicht ihren Bericht nach den Sommerferien im August.";
const std::wstring German2 = L"Danach wird er von allen Mitgliedern des Rates gelesen.";
const std::wstring WordLog = L"C:\\clipvoce-words.log";

std::wstring Wide(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                                                        static_cast<int>(text.size()))));
    return text;
}

// The timed text beside an export, once it is there: it comes whole, after the recording.
std::string TimedTextOnceWritten(const std::wstring& path)
{
    PumpUntil([&] { return FileExists(path); }, 20000);
    return ReadBytes(path);
}

struct ParsedCue {
    long long startMs = 0;
    long long endMs = 0;
    std::wstring text{};
    std::vector<long long> wordMs{};   // WebVTT's timestamp tags
};

long long Ms(const std::wsmatch& m, int first)
{
    return ((std::stoll(m[first].str()) * 60 + std::stoll(m[first + 1].str())) * 60 + std::stoll(m[first + 2].str())) * 1000
         + std::stoll(m[first + 3].str());
}

// The cues of an SRT or WebVTT file; a line that is neither a cue's number, its times nor
// its text fails the test.
std::vector<ParsedCue> ParseCues(const std::wstring& file, wchar_t separator)
{
    const std::wstring t = L"(\\d\\d):(\\d\\d):(\\d\\d)" + std::wstring(1, separator) + L"(\\d\\d\\d)";
    const std::wregex times(t + L" --> " + t);
    const std::wregex tag(L"<(\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d\\d\\d)>");
    std::vector<ParsedCue> cues;
    std::wistringstream lines(file);
    std::wstring line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        std::wsmatch m;
        if (std::regex_match(line, m, times)) {
            cues.push_back({Ms(m, 1), Ms(m, 5)});
        } else if (!cues.empty() && !line.empty() && cues.back().text.empty()) {
            for (auto it = std::wsregex_iterator(line.begin(), line.end(), tag); it != std::wsregex_iterator(); ++it)
                cues.back().wordMs.push_back(Ms(*it, 1));
            cues.back().text = std::regex_replace(line, tag, L"");
        } else {
            EXPECT_TRUE(line.empty() || std::all_of(line.begin(), line.end(), iswdigit)) << "stray line: " << line.size();
        }
    }
    return cues;
}

// Where speech starts after each pause of at least 150 ms, in ms.
std::vector<long long> SpeechOnsets(const PcmAudio& audio)
{
    std::vector<long long> onsets;
    int quiet = 1000;
    const std::vector<bool> voiced = VoicedWindows(audio);
    for (size_t i = 0; i < voiced.size(); ++i) {
        if (voiced[i] && quiet >= 15)
            onsets.push_back(static_cast<long long>(i * kVoicedWindowSeconds * 1000));
        quiet = voiced[i] ? 0 : quiet + 1;
    }
    return onsets;
}

void ExpectCuesOfTheSentences(const std::vector<ParsedCue>& cues, const PcmAudio& audio)
{
    const std::vector<std::wstring> sentences = {English1, English2, German1, German2};
    ASSERT_EQ(cues.size(), sentences.size());
    const std::vector<long long> onsets = SpeechOnsets(audio);
    for (size_t i = 0; i < cues.size(); ++i) {
        EXPECT_EQ(cues[i].text, sentences[i]) << "cue " << i;
        EXPECT_LT(cues[i].startMs, cues[i].endMs) << "cue " << i;
        if (i > 0) {
            EXPECT_LE(cues[i - 1].endMs, cues[i].startMs) << "cue " << i << " overlaps the one before";
        }
        // The speech that starts last by the cue's start (and a little after) must start
        // with it: a cue that came too early would find the sentence before.
        long long onset = -1;
        for (long long at : onsets) {
            if (at <= cues[i].startMs + 80)
                onset = at;
        }
        EXPECT_NEAR(static_cast<double>(onset), static_cast<double>(cues[i].startMs), 80) << "cue " << i;
    }
    EXPECT_LE(cues.back().endMs, DurationMs(audio) + 1);
}

class TimedTextExport : public testing::Test {
protected:
    void SetUp() override
    {
        folder = TempFolder(L"clipvoce_e2e_timed_text");
        WriteSettingsFile({{L"wavdir", folder}});
        EmptyTheClipboard();
        DeleteFileW(WordLog.c_str());
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WORD_LOG", WordLog.c_str());
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WORD_LOG", nullptr);
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", nullptr);
        DeleteFileW(WordLog.c_str());
        for (const wchar_t* name : {L"\\told.wav", L"\\told.srt", L"\\heard.wav", L"\\heard.vtt", L"\\blocked.wav", L"\\long.wav"})
            DeleteFileW((folder + name).c_str());
        RemoveDirectoryW((folder + L"\\blocked.srt").c_str());
        RemoveDirectoryW(folder.c_str());
    }

    // Chooses the timed text on the Voice Export tab, as the user would, and closes the
    // Options with OK.
    static void ChooseTimedText(AppProcess& app, HWND window, int choice)
    {
        PressKey(window, 'O');
        HWND options = WaitForProcessWindow(app.Id(), L"#32770", L"Options", 10000);
        ASSERT_TRUE(options && PumpUntil([&] { return IsWindowVisible(options) != FALSE; }, 10000)) << "no Options";
        SendDlgItemMessageW(options, IDC_OPTIONS_TABS, TCM_SETCURFOCUS, 2, 0);
        HWND list = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            return (list = GetDlgItem(FindWindowExW(options, nullptr, L"#32770", nullptr), IDC_EXPORT_TIMED_TEXT));
        }, 10000)) << "the Voice Export tab has no timed text choice";
        SendMessageW(list, CB_SETCURSEL, choice, 0);
        SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_EXPORT_TIMED_TEXT, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        PressDialogButton(options, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(options); }, 10000)) << "the Options stayed";
    }

    std::wstring folder;
};

TEST_F(TimedTextExport, SubRipAndWebVttCuesAreTheShownSentencesStartingWithTheirSpeech)
{
    // Real speech, whose pauses between sentences the cues must meet.
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
    AppProcess app;
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    const std::wstring text = English1 + L" " + English2 + L"\r\n\r\n" + German1 + L" " + German2;
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() >= text.size() - 2; }, 10000)) << "text not taken";

    ChooseTimedText(app, window, 1);   // SubRip
    ASSERT_TRUE(ExportAs(app.Id(), window, L"told")) << "no save dialog";
    const PcmAudio audio = WaitForExportedWave(app.Id(), folder + L"\\told.wav");
    ASSERT_FALSE(audio.samples.empty()) << "no WAV";
    const std::string srt = TimedTextOnceWritten(folder + L"\\told.srt");
    ASSERT_EQ(srt.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no SubRip file with a byte order mark";
    ExpectCuesOfTheSentences(ParseCues(Wide(srt.substr(3)), L','), audio);
    const std::string spoken = ReadSharedBytes(WordLog);
    EXPECT_NE(spoken.find("Kommission"), std::string::npos);
    EXPECT_NE(spoken.find("\tde"), std::string::npos) << "the German sentences were not read by the German voice";

    ChooseTimedText(app, window, 2);   // WebVTT
    ASSERT_TRUE(ExportAs(app.Id(), window, L"heard")) << "no save dialog";
    const PcmAudio again = WaitForExportedWave(app.Id(), folder + L"\\heard.wav");
    const std::string vtt = TimedTextOnceWritten(folder + L"\\heard.vtt");
    ASSERT_EQ(vtt.compare(0, 6, "WEBVTT"), 0);
    const std::vector<ParsedCue> cues = ParseCues(Wide(vtt.substr(6)), L'.');
    ExpectCuesOfTheSentences(cues, again);
    for (const ParsedCue& cue : cues) {
        EXPECT_GT(cue.wordMs.size(), 4u) << "no word tags";
        long long last = cue.startMs;
        for (long long at : cue.wordMs) {
            EXPECT_GT(at, last) << "a word tag does not follow the one before";
            EXPECT_LT(at, cue.endMs) << "a word tag lies past its cue";
            last = at;
        }
    }

    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"timedtext"), L"vtt");
}

TEST_F(TimedTextExport, AFailedOrCancelledExportLeavesNoTimedText)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"20");
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ChooseTimedText(app, window, 1);
    ASSERT_TRUE(SetClipboardText(English1));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > 10; }, 10000)) << "text not taken";

    // A folder stands where the timed text would go: the recording is kept, the user told.
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\blocked.srt").c_str(), nullptr));
    ASSERT_TRUE(ExportAs(app.Id(), window, L"blocked")) << "no save dialog";
    HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 60000);
    ASSERT_NE(box, nullptr) << "the timed text's failure was not told";
    EXPECT_EQ(MessageBoxText(box).rfind(L"The timed text could not be saved to\n" + folder + L"\\blocked.srt\n", 0), 0u)
        << "told: " << MessageBoxText(box).size();
    PressDialogButton(box, IDOK);
    EXPECT_FALSE(ParsePcmWave(ReadBytes(folder + L"\\blocked.wav")).samples.empty()) << "the recording was not kept";

    // Slow words: the rendering is still going when Cancel comes.
    std::wstring text;
    for (int i = 0; i < 600; ++i)
        text += L"word" + std::to_wstring(i) + (i % 12 == 11 ? L". " : L" ");
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > text.size() / 2; }, 10000)) << "text not taken";
    ASSERT_TRUE(ExportAs(app.Id(), window, L"long")) << "no save dialog";
    HWND wait = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        wait = WaitForProcessWindow(app.Id(), L"#32770", L"Saving...", 0);
        return wait && IsWindowVisible(wait) && FileExists(folder + L"\\long.wav");
    }, 10000)) << "the rendering did not start";
    PressDialogButton(wait, IDCANCEL);
    box = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 20000);
    ASSERT_NE(box, nullptr) << "cancel was not reported";
    EXPECT_FALSE(FileExists(folder + L"\\long.srt")) << "a cancelled export left a timed text";
    EXPECT_FALSE(FileExists(folder + L"\\long.wav"));
    app.Kill();
}

} // namespace
