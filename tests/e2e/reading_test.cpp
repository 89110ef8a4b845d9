// The road of a copied text through the real program with the stand-in voice: taken
// from the clipboard, prepared, read aloud with the spoken word highlighted.
#include <gtest/gtest.h>
#include <richedit.h>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include "app_driver.h"
#include "copy_watch.h"
#include "espeak_reference.h"
#include "played_audio.h"
#include "resource.h"

namespace {

class ReadingTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Fast speech, so a whole text is read within a moment.
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"600");
        WriteSettingsFile(settings_);
        EmptyTheClipboard();
    }
    std::map<std::wstring, std::wstring> settings_;
};

// Whatever language the text is read in.
std::wstring Caption(HWND window)
{
    return CaptionWithoutLanguage(WindowText(window));
}

bool CaptionIs(HWND window, const std::wstring& expected, DWORD timeoutMs = 10000)
{
    return PumpUntil([&] { return Caption(window) == expected; }, timeoutMs);
}

// The state word alone, whatever line is being spoken.
bool StateIs(HWND window, const std::wstring& state, DWORD timeoutMs = 10000)
{
    return PumpUntil([&] { return Caption(window).rfind(L"Speech window - " + state + L"   [", 0) == 0; }, timeoutMs);
}

DWORD SelectionEnd(HWND window)
{
    return HIWORD(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
}

// The text as the TextView holds it, each paragraph break as CR.
std::wstring ViewText(HWND window)
{
    std::wstring text = TextViewText(window);
    for (size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;)
        text.erase(at + 1, 1);
    return text;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Copies through the X selection, as a Linux program would.
void CopyFromX(const std::wstring& text)
{
    const std::wstring file = L"Z:\\tmp\\clipvoce-xclip.txt";
    {
        std::ofstream out(file.c_str(), std::ios::binary);
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(size - 1, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
        out << utf8;
    }
    std::wstring commandLine = L"/usr/bin/xclip -selection clipboard -i /tmp/clipvoce-xclip.txt";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(L"Z:\\usr\\bin\\xclip", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

TEST_F(ReadingTest, CopiedTextIsReadToTheEnd)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Hello\r\nWorld"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window) == L"Hello.\rWorld "; }, 10000)) << ViewText(window).size();
    EXPECT_TRUE(CaptionIs(window, L"Speech window - stopped   [ 1 / 2 ]"));

    PressKey(window, VK_SPACE);
    EXPECT_TRUE(CaptionIs(window, L"Speech window - playing   [ 1 / 2 ]"));
    EXPECT_TRUE(CaptionIs(window, L"Speech window - playing   [ 2 / 2 ]"));
    EXPECT_TRUE(CaptionIs(window, L"Speech window - stopped   [ 2 / 2 ]"));
    // The caret sits after the last word.
    EXPECT_TRUE(PumpUntil([&] { return SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0) == MAKELONG(12, 12); }, 5000))
        << std::hex << SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0);
}

TEST_F(ReadingTest, TextCopiedInXIsTakenToo)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    CopyFromX(L"Hello\r\nWorld");
    EXPECT_TRUE(PumpUntil([&] { return ViewText(window) == L"Hello.\rWorld "; }, 10000)) << ViewText(window).size();
}

TEST_F(ReadingTest, PauseResumeAndStop)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"60");
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"One two three four five six seven eight nine ten."));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window).size() > 10; }, 10000));
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(StateIs(window, L"playing"));

    PressKey(window, 'P');
    ASSERT_TRUE(StateIs(window, L"paused"));
    const DWORD pausedAt = SelectionEnd(window);
    PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(SelectionEnd(window), pausedAt) << "no words while paused";

    // A double click in the text resumes, and pauses again.
    PostMessageW(TextViewOf(window), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 5));
    EXPECT_TRUE(StateIs(window, L"playing"));
    EXPECT_TRUE(PumpUntil([&] { return SelectionEnd(window) > pausedAt; }, 10000));
    PostMessageW(TextViewOf(window), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 5));
    EXPECT_TRUE(StateIs(window, L"paused"));
    PressKey(window, VK_SPACE);
    EXPECT_TRUE(StateIs(window, L"playing"));

    PressKey(window, 'S');
    EXPECT_TRUE(StateIs(window, L"stopped"));
}

TEST_F(ReadingTest, ContinuousSpeechStartsAgain)
{
    settings_[L"repeat"] = L"1";
    SetUp();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"First line\r\nsecond line"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window).size() > 10; }, 10000));
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(CaptionIs(window, L"Speech window - playing   [ 2 / 2 ]"));
    EXPECT_TRUE(CaptionIs(window, L"Speech window - playing   [ 1 / 2 ]"));
    EXPECT_TRUE(CaptionIs(window, L"Speech window - playing   [ 2 / 2 ]"));
    PressKey(window, 'S');
    EXPECT_TRUE(StateIs(window, L"stopped"));
}

// Copies read within moments, before any timer, end their reading themselves: with
// continuous speech the text goes round again and again.
TEST_F(ReadingTest, ShortCopyWithAutoPlayIsReadRoundAndRound)
{
    settings_[L"autoplay"] = L"1";
    settings_[L"repeat"] = L"1";
    SetUp();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Hi.\r\nYou."));
    ASSERT_TRUE(CaptionIs(window, L"Speech window - playing   [ 2 / 2 ]")) << "the second line was not read";
    EXPECT_TRUE(CaptionIs(window, L"Speech window - playing   [ 1 / 2 ]")) << "the reading did not start again";
    EXPECT_TRUE(CaptionIs(window, L"Speech window - playing   [ 2 / 2 ]")) << "the second round did not go on";
    PressKey(window, 'S');
    EXPECT_TRUE(StateIs(window, L"stopped")) << "S did not stop";
}

TEST_F(ReadingTest, AppendWhileSpeakingGoesOnWithTheNewText)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"120");
    settings_[L"append"] = L"1";
    SetUp();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"One one one. Two two two. Three three three."));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window).size() > 10; }, 10000));
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return SelectionEnd(window) > 0; }, 10000));
    const DWORD newTextStart = static_cast<DWORD>(ViewText(window).size());
    ASSERT_TRUE(SetClipboardText(L"Four four."));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window) == L"One one one. Two two two. Three three three. Four four. "; }, 10000))
        << Narrow(ViewText(window));
    // Speech goes on at the first new sentence, not from the start.
    EXPECT_TRUE(PumpUntil([&] { return SelectionEnd(window) > newTextStart; }, 10000))
        << "selection ends at " << SelectionEnd(window) << ", new text at " << newTextStart;
}

TEST_F(ReadingTest, DeleteAsksAndNoKeepsTheText)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Keep this text."));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window) == L"Keep this text. "; }, 10000));
    PressKey(window, VK_DELETE);
    HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Confirmation", 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Are you sure want to delete all text?");
    PressDialogButton(box, IDNO);
    PumpUntil([&] { return !IsWindow(box); }, 5000);
    EXPECT_EQ(ViewText(window), L"Keep this text. ");

    PressKey(window, VK_DELETE);
    box = WaitForProcessWindow(app.Id(), L"#32770", L"Confirmation", 10000);
    ASSERT_NE(box, nullptr);
    PressDialogButton(box, IDYES);
    EXPECT_TRUE(PumpUntil([&] { return ViewText(window) == L" "; }, 10000));
}

TEST_F(ReadingTest, CopyAndPasteKeys)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Copy me\r\nplease"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window) == L"Copy me.\rplease "; }, 10000));
    PressKey(window, 'C', true);
    EXPECT_TRUE(PumpUntil([&] { return GetClipboardText() == L"Copy me.\r\nplease "; }, 10000))
        << "the copy does not carry CR LF line breaks";
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(ViewText(window), L"Copy me.\rplease ") << "the copy is not taken again";

    // With monitoring off a copy leaves the text; V takes it anyway.
    SendMessageW(window, WM_COMMAND, CMD_CLIPBOARD_MONITOR, 0);
    ASSERT_TRUE(SetClipboardText(L"Pasted text"));
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(ViewText(window), L"Copy me.\rplease ");
    PressKey(window, 'V');
    EXPECT_TRUE(PumpUntil([&] { return ViewText(window) == L"Pasted text "; }, 10000));
}

TEST_F(ReadingTest, FirstRunGreetsWithAboutAndTakesWhatWasCopiedMeanwhile)
{
    RemoveSettingsFile();
    ASSERT_TRUE(SetClipboardText(L"Not taken on the first run."));
    // A note stands for 5 s; long enough here to be seen however busy the machine.
    SetEnvironmentVariableW(L"CLIPVOCE_STATUS_NOTE_MS", L"3000");
    AppProcess app;
    SetEnvironmentVariableW(L"CLIPVOCE_STATUS_NOTE_MS", nullptr);
    HWND about = WaitForProcessWindow(app.Id(), L"#32770", L"About - first run", 20000);
    ASSERT_NE(about, nullptr) << "the first notification opens About";
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ViewText(window), L" ");
    // No menu from the tray while that dialog is open.
    PostMessageW(window, WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN);
    EXPECT_EQ(WaitForProcessWindow(app.Id(), L"#32768", nullptr, 1500), nullptr);
    // A further copy while it is open opens no second one, and is taken once it closes.
    ASSERT_TRUE(SetClipboardText(L"Copied while About is open."));
    EXPECT_FALSE(PumpUntil([&] { return ProcessWindows(app.Id(), L"#32770").size() > 1; }, 1500))
        << "a second About dialog opened";
    EXPECT_EQ(ViewText(window), L" ");
    PressDialogButton(about, IDCANCEL);   // the About box's OK button is the cancel id
    EXPECT_TRUE(PumpUntil([&] { return ViewText(window) == L"Copied while About is open. "; }, 10000))
        << "the copy made while About was open was not taken: " << Narrow(ViewText(window));

    // Auto play is off on a first run: the newcomer learns how to hear it, once, in a note
    // that gives way to the state after its time.
    EXPECT_TRUE(CaptionIs(window, L"Speech window - press Space to hear the text"))
        << "no note on hearing the copy: " << Narrow(Caption(window));
    EXPECT_TRUE(CaptionIs(window, L"Speech window - stopped   [ 1 / 1 ]")) << "the note stayed";
    ASSERT_TRUE(SetClipboardText(L"Taken now."));
    EXPECT_TRUE(PumpUntil([&] { return ViewText(window) == L"Taken now. "; }, 10000));
    EXPECT_EQ(Caption(window), L"Speech window - stopped   [ 1 / 1 ]") << "the note came again";
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    EXPECT_NE(ReadFileUtf8(SettingsFile()).find(L"\r\n[notes]\r\nhearcopies=1\r\n"), std::wstring::npos)
        << "the note was not remembered";
}

TEST_F(ReadingTest, StatusNoteGivesWayAtTheNextChange)
{
    WriteSettingsFile({{L"hearcopies", L"0"}});
    SetEnvironmentVariableW(L"CLIPVOCE_STATUS_NOTE_MS", L"600000");
    AppProcess app;
    SetEnvironmentVariableW(L"CLIPVOCE_STATUS_NOTE_MS", nullptr);
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Shown, not read."));
    ASSERT_TRUE(CaptionIs(window, L"Speech window - press Space to hear the text")) << "no note: " << Narrow(Caption(window));
    PressKey(window, VK_SPACE);
    EXPECT_TRUE(StateIs(window, L"playing")) << "the note stayed: " << Narrow(Caption(window));
}

// The voice speaks with eSpeak NG for the length of one test.
struct EspeakSpeech {
    EspeakSpeech() { SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak"); }
    ~EspeakSpeech() { SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones"); }
};

TEST_F(ReadingTest, WithEspeakTheHighlightFollowsTheSoundRightStepsAndSStops)
{
    EspeakSpeech espeak;
    const int wordsPerMinute = 300;
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", std::to_wstring(wordsPerMinute).c_str());
    const std::wstring first = L"The first line is read at an easy pace, from its very start to its very end.";
    const std::wstring second = L"The second line is just as long as the first, but Right leaves it at once.";
    const std::wstring third = L"The third line is the last.";
    const double firstMs = DurationMs(EspeakReference(first, wordsPerMinute));
    const double secondMs = DurationMs(EspeakReference(second, wordsPerMinute));
    ASSERT_GT(firstMs, 2000.0) << "espeak-ng did not render the reference";
    ASSERT_GT(secondMs, 2000.0) << "espeak-ng did not render the reference";

    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(first + L"\r\n" + second + L"\r\n" + third));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window).size() > first.size() + second.size(); }, 10000))
        << "the copied text was not taken";
    // Positions in the view text, whose line breaks are single CRs.
    const DWORD secondStart = static_cast<DWORD>(first.size() + 1);
    const DWORD thirdStart = static_cast<DWORD>(secondStart + second.size() + 1);
    const auto lineOfCaption = [&] {
        const std::wstring caption = Caption(window);
        const size_t open = caption.find(L"[ ");
        return open == std::wstring::npos ? 0 : _wtoi(caption.c_str() + open + 2);
    };
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(StateIs(window, L"playing")) << "reading did not start: " << Narrow(Caption(window));
    ASSERT_TRUE(PumpUntil([&] { return SelectionEnd(window) > 0; }, 10000)) << "no word was highlighted";
    EXPECT_EQ(lineOfCaption(), 1);

    // The first line is highlighted word by word for as long as eSpeak NG takes to say it.
    const ULONGLONG lineStart = GetTickCount64();
    std::set<DWORD> highlighted;
    ASSERT_TRUE(PumpUntil([&] {
        highlighted.insert(SelectionEnd(window));
        return SelectionEnd(window) > secondStart;
    }, 15000)) << "the second sentence was not reached";
    const double lineMs = static_cast<double>(GetTickCount64() - lineStart);
    EXPECT_NEAR(lineMs / firstMs, 1.0, 0.25) << "the first sentence took " << lineMs << " ms, eSpeak NG says it in " << firstMs;
    EXPECT_GE(highlighted.size(), 10u) << "the highlight did not follow the words";
    EXPECT_TRUE(PumpUntil([&] { return lineOfCaption() > 1; }, 2000)) << "the caption's line stayed at "
                                                                     << Narrow(Caption(window));

    // Right leaves the second sentence long before its sound would have ended.
    const DWORD secondLineWord = SelectionEnd(window);
    ASSERT_TRUE(PumpUntil([&] { return SelectionEnd(window) != secondLineWord; }, 5000))
        << "no further word of the second sentence was highlighted";
    PressKey(window, VK_RIGHT);
    EXPECT_TRUE(PumpUntil([&] { return SelectionEnd(window) > thirdStart; }, static_cast<DWORD>(secondMs / 2)))
        << "Right did not step to the third sentence at once";

    PressKey(window, 'S');
    ASSERT_TRUE(StateIs(window, L"stopped")) << "S did not stop the reading";
    const DWORD stoppedAt = SelectionEnd(window);
    EXPECT_FALSE(PumpUntil([&] { return SelectionEnd(window) != stoppedAt; }, 500)) << "words went on after S";
}

// Every word start of text, a word being a run of non-blanks.
std::vector<DWORD> WordStarts(const std::wstring& text)
{
    std::vector<DWORD> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != L' ' && (i == 0 || text[i - 1] == L' '))
            starts.push_back(static_cast<DWORD>(i));
    return starts;
}

DWORD SelectionStart(HWND window)
{
    return LOWORD(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
}

// The played audio and its highlight, at a whole-number speed: every word highlighted
// within 60 ms of where its sound is in the stretched audio.
void ExpectWordsOnTime(const PlayedAudio& reading, int speed)
{
    const std::vector<PlayedNote> words = reading.Notes("word");
    ASSERT_GE(words.size(), 20u) << "at " << speed << "x few words were recorded as heard";
    const PlayedNote& start = reading.notes.front();
    for (const PlayedNote& word : words) {
        const double dueMs = 1000.0 * static_cast<double>(word.voiceFrame - start.voiceFrame) / speed / reading.audio.sampleRate;
        const double firedMs = 1000.0 * static_cast<double>(word.outputFrame - start.outputFrame) / reading.audio.sampleRate;
        EXPECT_NEAR(firedMs, dueMs, 60.0) << "at " << speed << "x the word at voice frame " << word.voiceFrame;
    }
}

// The program plays the voice's audio itself: faster than the voice can speak, pitch
// kept, the highlight on time and the reading ending when the stretched sound does.
TEST_F(ReadingTest, AtTwiceAndThriceTheSpeedTheReadingTakesAHalfAndAThirdOfTheTime)
{
    EspeakSpeech espeak;
    const int wordsPerMinute = 180;
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", std::to_wstring(wordsPerMinute).c_str());
    const std::wstring played = L"Z:\\tmp\\clipvoce-played-speed.raw";
    SetEnvironmentVariableW(L"CLIPVOCE_PLAYED_AUDIO", played.c_str());
    const std::wstring text = L"A long sentence is read here at an easy pace, with a pause now and then, so that "
                              L"the time it takes to hear it is long enough to be measured well, from the first "
                              L"word it says to the very last one of all the words it has. Then a second sentence "
                              L"follows, about the weather by the sea, the boats in the harbour and the gulls that "
                              L"circle over them all day long until the sun goes down.";
    const double plainMs = DurationMs(EspeakReference(text, wordsPerMinute));
    ASSERT_GT(plainMs, 15000.0) << "espeak-ng did not render the reference";

    AppProcess app;
    HWND window = app.Window();
    SetEnvironmentVariableW(L"CLIPVOCE_PLAYED_AUDIO", nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window).size() >= text.size(); }, 10000)) << "the copy was not taken";
    double plainTookMs = 0, plainCrossings = 0;
    for (const int speed : {1, 2, 3}) {
        // Ctrl+Up raises the speed by a quarter.
        for (int press = 0; speed > 1 && press < 4; ++press)
            PressKey(window, VK_UP, true);
        PressKey(window, VK_SPACE);
        ASSERT_TRUE(StateIs(window, L"playing")) << "reading did not start at " << speed << "x";
        const ULONGLONG start = GetTickCount64();
        ASSERT_TRUE(StateIs(window, L"stopped", static_cast<DWORD>(plainMs * 2))) << "the reading at " << speed << "x did not end";
        const double tookMs = static_cast<double>(GetTickCount64() - start);
        const PlayedAudio reading = ReadPlayedAudio(played).LastReading();
        ASSERT_FALSE(reading.notes.empty()) << "nothing was recorded as played at " << speed << "x";
        ExpectWordsOnTime(reading, speed);
        const double crossings = VoicedCrossingRate(reading.audio);
        if (speed == 1) {
            plainTookMs = tookMs;
            plainCrossings = crossings;
            EXPECT_NEAR(tookMs / plainMs, 1.0, 0.25) << "the reading took " << tookMs << " ms; eSpeak NG says it in " << plainMs;
            continue;
        }
        EXPECT_NEAR(tookMs * speed / plainTookMs, 1.0, 0.1)
            << "at " << speed << "x the reading took " << tookMs << " ms, at 1x " << plainTookMs;
        EXPECT_NEAR(crossings / plainCrossings, 1.0, 0.1)
            << "the pitch at " << speed << "x: " << crossings << " zero crossings a second, at 1x " << plainCrossings;
    }
}

// A pause holds the sound where it is at once, and the sound goes on from there.
TEST_F(ReadingTest, PauseStopsTheSoundAtOnceAndResumeGoesOnFromTheSameSample)
{
    EspeakSpeech espeak;
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"200");
    const std::wstring played = L"Z:\\tmp\\clipvoce-played-pause.raw";
    SetEnvironmentVariableW(L"CLIPVOCE_PLAYED_AUDIO", played.c_str());
    AppProcess app;
    HWND window = app.Window();
    SetEnvironmentVariableW(L"CLIPVOCE_PLAYED_AUDIO", nullptr);
    ASSERT_NE(window, nullptr);
    const std::wstring text = L"Some words are read before the pause, and some more of them after it, to the end.";
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window).size() >= text.size(); }, 10000)) << "the copy was not taken";
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return ReadPlayedAudio(played).Notes("word").size() >= 3; }, 10000))
        << "three words were not heard";
    SetForegroundWindow(window);
    ASSERT_TRUE(PumpUntil([&] { return HasKeyboardFocus(window); }, 5000)) << "the window did not take the focus";
    const double pressed = NowMs();
    TypeKey(window, 'P');
    ASSERT_TRUE(StateIs(window, L"paused")) << "the reading did not pause";
    // A while of silence, which the played audio must not move through.
    PumpUntil([] { return false; }, 300);
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(StateIs(window, L"stopped", 20000)) << "the reading did not go on to the end";

    const PlayedAudio reading = ReadPlayedAudio(played).LastReading();
    const std::vector<PlayedNote> pauses = reading.Notes("pause"), resumes = reading.Notes("resume");
    ASSERT_EQ(pauses.size(), 1u) << "the pause was not played as one (or the reading started afresh)";
    ASSERT_EQ(resumes.size(), 1u) << "the resume was not played as one";
    EXPECT_LE(pauses[0].ms - pressed, 50.0) << "the sound paused that long after the key";
    const double frameMs = 1000.0 / reading.audio.sampleRate;
    EXPECT_LE(std::abs(static_cast<double>(resumes[0].voiceFrame) - static_cast<double>(pauses[0].voiceFrame)) * frameMs, 20.0)
        << "the voice's audio resumed elsewhere than where it paused";
    EXPECT_LE(std::abs(static_cast<double>(resumes[0].outputFrame) - static_cast<double>(pauses[0].outputFrame)) * frameMs, 20.0)
        << "the played audio resumed elsewhere than where it paused";
}

// The word marks heard between one sentence mark and the next, sentence by sentence.
std::vector<size_t> WordsBySentence(const PlayedAudio& reading)
{
    std::vector<size_t> counts;
    for (const PlayedNote& note : reading.notes) {
        if (note.what == "sentence")
            counts.push_back(0);
        else if (note.what == "word" && !counts.empty())
            ++counts.back();
    }
    return counts;
}

// A voice that tells only where sentences begin, or nothing at all, still has its words
// highlighted, each in turn and within its sentence's time, at times estimated from its
// audio. The longer text is read in more than one run.
TEST_F(ReadingTest, AVoiceTellingOnlyOfSentencesOrNothingHasEveryWordHighlightedInOrder)
{
    EspeakSpeech espeak;
    // Slow enough that a busy machine still shows each estimated word for a while.
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"250");
    const std::wstring played = L"Z:\\tmp\\clipvoce-played-estimated.raw";
    const std::vector<std::wstring> sentences = {
        L"The first sentence has a few words to show.",
        L"The second one has some more words in it than the first had.",
        L"The third is short.",
        L"A fourth sentence follows with words enough to make the text longer than a run of a voice "
        L"that tells of nothing, so that the reading goes on from one run into the next.",
        L"The fifth one is not quite the last.", L"Then the reading ends here and now."};
    std::wstring text;
    for (const std::wstring& sentence : sentences)
        text += (text.empty() ? L"" : L" ") + sentence;
    for (const wchar_t* events : {L"sentences", L"none"}) {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_EVENTS", events);
        SetEnvironmentVariableW(L"CLIPVOCE_PLAYED_AUDIO", played.c_str());
        AppProcess app;
        HWND window = app.Window();
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_EVENTS", nullptr);
        SetEnvironmentVariableW(L"CLIPVOCE_PLAYED_AUDIO", nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(SetClipboardText(text));
        ASSERT_TRUE(PumpUntil([&] { return ViewText(window).size() >= text.size(); }, 10000)) << "the copy was not taken";
        PressKey(window, VK_SPACE);
        ASSERT_TRUE(StateIs(window, L"playing")) << "reading did not start";
        std::vector<DWORD> seen;
        ASSERT_TRUE(PumpUntil([&] {
            const DWORD start = SelectionStart(window);
            if (SelectionEnd(window) > start && (seen.empty() || seen.back() != start))
                seen.push_back(start);
            return StateIs(window, L"stopped", 0);
        }, 60000)) << "the reading did not end, telling of " << Narrow(events);
        const std::vector<DWORD> words = WordStarts(text);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "the highlight went back, telling of " << Narrow(events);
        size_t found = 0;
        for (const DWORD word : words)
            found += std::find(seen.begin(), seen.end(), word) != seen.end();
        EXPECT_GE(found * 10, words.size() * 9)
            << found << " of " << words.size() << " words were highlighted, telling of " << Narrow(events);
        if (std::wstring(events) != L"sentences")
            continue;
        std::vector<size_t> expected;
        for (const std::wstring& sentence : sentences)
            expected.push_back(WordStarts(sentence).size());
        EXPECT_EQ(WordsBySentence(ReadPlayedAudio(played).LastReading()), expected)
            << "words were heard outside their sentence's time";
    }
}

} // namespace
