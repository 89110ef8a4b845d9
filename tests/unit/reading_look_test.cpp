// How the text being read looks: the sentence and the word, focus mode, line spacing, the
// theme's colours in high contrast, another DPI, and the settings that keep the choices.
#include <gtest/gtest.h>
#include "in_process_app.h"
#include "pump.h"
#include "view_pixels.h"
#include "platform/high_contrast.h"
#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "settings/view_settings.h"
#include "view/view_look.h"
#include "resource.h"
#include <string>

namespace {

constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Yellow = RGB(255, 255, 0);
constexpr COLORREF DarkBlue = RGB(0, 0, 128);

// One sentence a line: "One." [0, 4), "Two words here." [5, 20), "Three." [21, 27).
const wchar_t* const ThreeSentences = L"One.\rTwo words here.\rThree.";
constexpr TextRange SecondSentence{5, 20};

class ReadingLook : public testing::Test {
protected:
    void Read(const wchar_t* text)
    {
        app_.view().SetText(text);
        app_.reader().PrepareText();
        ASSERT_EQ(ReaderProbe::Spoken(app_.reader())->Text(), app_.view().Text()) << "the voice hears the text as shown";
        app_.speech().Play();
    }
    void Speak(ULONG position, ULONG length)
    {
        app_.voice.SetWord(position, length);
        app_.voice.QueueEvent(SPEI_WORD_BOUNDARY);
        SendMessageW(app_.window(), WM_VOICE_EVENT, 0, 0);
    }
    ViewCapture Shown() const
    {
        RedrawWindow(app_.view().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return CaptureView(app_.view().Handle());
    }
    // Pixels of a colour in the rows of a line (the view shows the text from its top).
    static int InLine(const ViewCapture& shown, int line, COLORREF colour, int lineHeight)
    {
        return shown.CountInRows(colour, line * lineHeight, (line + 1) * lineHeight);
    }
    int LineHeight() const { return app_.view().LineHeight(); }

    InProcessApp app_{SW_SHOWNORMAL};
};

TEST_F(ReadingLook, TheSentenceIsTintedAndTheWordHighlightedInIt)
{
    Read(ThreeSentences);
    Speak(9, 5);   // "words"
    EXPECT_EQ(app_.view().Sentence().start, SecondSentence.start);
    EXPECT_EQ(app_.view().Sentence().end, SecondSentence.end);

    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF tint = SentenceTint(White, highlight);
    ASSERT_NE(tint, White);
    ViewCapture shown = Shown();
    const int h = LineHeight();
    EXPECT_GT(InLine(shown, 1, tint, h), 0) << "the sentence's line is tinted";
    EXPECT_GT(InLine(shown, 1, highlight, h), 0) << "the word is highlighted";
    EXPECT_GT(shown.LeftMost(highlight), shown.LeftMost(tint)) << "the word lies inside the tinted sentence";
    for (int other : {0, 2}) {
        EXPECT_EQ(InLine(shown, other, tint, h), 0) << "line " << other;
        EXPECT_EQ(InLine(shown, other, highlight, h), 0) << "line " << other;
    }

    // The top row of a line holds no letter, only what lies behind them; the edges of
    // the highlighted letters may take any shade between their colours.
    EXPECT_GT(shown.CountInRows(tint, h, h + 1), 0);

    AppSettings.markSentence = false;
    app_.reader().Apply(SettingsChange::SentenceLook);
    shown = Shown();
    EXPECT_EQ(shown.CountInRows(tint, h, h + 1), 0) << "the mark is off";
    EXPECT_GT(shown.Count(highlight), 0);

    // In played-text mode what was read is the mark: no tint shows the rest.
    AppSettings.markSentence = true;
    AppSettings.showFullText = false;
    app_.reader().Apply(SettingsChange::FontAndColours);
    Speak(9, 5);
    shown = Shown();
    EXPECT_EQ(shown.CountInRows(tint, h, h + 1), 0);
    EXPECT_GT(shown.Count(Black), 0) << "what was read shows";
    AppSettings.showFullText = true;
}

// The voice's sentence, where it tells one that holds the word, is the one marked; else
// the program's own rule finds it.
TEST_F(ReadingLook, TheVoicesSentenceWhenItTellsOne)
{
    Read(ThreeSentences);
    app_.voice.status.ulInputSentPos = 0;
    app_.voice.status.ulInputSentLen = 20;
    Speak(9, 5);
    EXPECT_EQ(app_.view().Sentence().start, 0);
    EXPECT_EQ(app_.view().Sentence().end, 20);

    app_.voice.status.ulInputSentPos = 21;   // a sentence that does not hold the word
    app_.voice.status.ulInputSentLen = 6;
    Speak(15, 5);
    EXPECT_EQ(app_.view().Sentence().start, SecondSentence.start);
    EXPECT_EQ(app_.view().Sentence().end, SecondSentence.end);
}

TEST_F(ReadingLook, FocusModeDimsAllButTheSentenceWhileReading)
{
    AppSettings.markSentence = false;
    app_.reader().Apply(SettingsChange::FontAndColours);
    app_.Command(CMD_FOCUS_MODE);
    EXPECT_TRUE(AppSettings.focusMode);
    EXPECT_TRUE(app_.MenuChecked(CMD_FOCUS_MODE));
    Read(ThreeSentences);
    Speak(9, 5);

    const COLORREF dimmed = FocusDimmedColour(Black, White);
    ViewCapture shown = Shown();
    const int h = LineHeight();
    EXPECT_GT(InLine(shown, 1, Black, h), 0) << "the sentence keeps its colour";
    for (int other : {0, 2}) {
        EXPECT_EQ(InLine(shown, other, Black, h), 0) << "line " << other;
        EXPECT_GT(InLine(shown, other, dimmed, h), 0) << "line " << other;
    }

    // Stopped, the whole text is there to see again.
    app_.Command(CMD_STOP);
    shown = Shown();
    EXPECT_EQ(shown.Count(dimmed), 0);
    for (int line : {0, 1, 2})
        EXPECT_GT(InLine(shown, line, Black, h), 0) << "line " << line;

    app_.Command(CMD_FOCUS_MODE);
    EXPECT_FALSE(AppSettings.focusMode);
    EXPECT_FALSE(app_.MenuChecked(CMD_FOCUS_MODE));
}

TEST_F(ReadingLook, DoubleSpacingDoublesTheDistanceBetweenBaselines)
{
    Read(L"HHHH.\rHHHH.\rHHHH.");
    const std::vector<int> single = Shown().BandTops(Black);
    ASSERT_EQ(single.size(), 3u);

    AppSettings.lineSpacingPercent = 200;
    app_.reader().Apply(SettingsChange::FontAndColours);
    const std::vector<int> twice = Shown().BandTops(Black);
    ASSERT_EQ(twice.size(), 3u);
    EXPECT_EQ(twice[1] - twice[0], 2 * (single[1] - single[0]));
    EXPECT_EQ(twice[2] - twice[1], 2 * (single[2] - single[1]));
    EXPECT_EQ(app_.view().LineCount(), 3) << "spacing adds no lines";
}

// The spoken line stays in sight with widened lines, and the caption counts the text's
// lines, not the room they take.
TEST_F(ReadingLook, AutoScrollAndTheLineCountHoldWithWidenedLines)
{
    AppSettings.lineSpacingPercent = 150;
    app_.reader().Apply(SettingsChange::FontAndColours);
    std::wstring text;
    for (int i = 0; i < 60; ++i)
        text += L"Line " + std::to_wstring(i) + L".\r";
    Read(text.c_str());
    ASSERT_GT(ReaderProbe::VisibleLines(app_.reader()), 2);
    RECT client{};
    GetClientRect(app_.view().Handle(), &client);
    const int lines = app_.view().LineCount();
    ASSERT_GE(lines, 60);
    for (int line = 0; line < 60; ++line) {
        const int start = app_.view().LineIndex(line);
        Speak(static_cast<ULONG>(start), 4);
        const int first = app_.view().FirstVisibleLine();
        ASSERT_LE(first, line);
        ASSERT_LT(app_.view().PosFromChar(start).y + LineHeight() * 2 / 3, client.bottom) << "line " << line;
        const std::wstring count = L"[ " + std::to_wstring(line + 1) + L" / " + std::to_wstring(lines) + L" ]";
        ASSERT_NE(app_.Caption().find(count), std::wstring::npos) << "line " << line;
    }
}

// The theme's colours while high contrast is on; the saved ones come back when it goes,
// without a restart.
TEST_F(ReadingLook, HighContrastShowsTheThemesColoursAndGivesTheSavedOnesBack)
{
    AppSettings.textColour = Yellow;
    AppSettings.backgroundColour = DarkBlue;
    app_.reader().Apply(SettingsChange::FontAndColours);
    Read(ThreeSentences);
    ASSERT_GT(Shown().Count(DarkBlue), 0);

    SetHighContrastQuery([] { return true; });
    SendMessageW(app_.window(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    ViewCapture shown = Shown();
    EXPECT_EQ(shown.Count(DarkBlue), 0);
    EXPECT_EQ(shown.Count(Yellow), 0);
    EXPECT_GT(shown.Count(GetSysColor(COLOR_WINDOW)), 0);
    EXPECT_GT(shown.Count(GetSysColor(COLOR_WINDOWTEXT)), 0);
    // Played-text mode reveals the words in the theme's colours as well.
    AppSettings.showFullText = false;
    app_.reader().Apply(SettingsChange::Colours);
    Speak(5, 3);
    shown = Shown();
    EXPECT_GT(shown.Count(GetSysColor(COLOR_WINDOWTEXT)), 0);
    EXPECT_EQ(shown.Count(Yellow), 0);
    AppSettings.showFullText = true;
    app_.reader().Apply(SettingsChange::Colours);

    SetHighContrastQuery(nullptr);
    SendMessageW(app_.window(), WM_SYSCOLORCHANGE, 0, 0);
    shown = Shown();
    EXPECT_GT(shown.Count(DarkBlue), 0);
    EXPECT_GT(shown.Count(Yellow), 0);
    EXPECT_EQ(AppSettings.textColour, Yellow);
    EXPECT_EQ(AppSettings.backgroundColour, DarkBlue);
}

// On a monitor scaled otherwise the window takes the rectangle the system suggests and
// the text keeps its size in points; back again, all is as it was.
TEST_F(ReadingLook, AnotherDpiMovesTheWindowAndKeepsTheTextsPoints)
{
    RECT before{};
    GetWindowRect(app_.window(), &before);
    const int lineHeight = LineHeight();
    const int frame = app_.state().frameHeightDelta;
    const int dpi = app_.state().dpi;
    const RECT larger{before.left, before.top, before.left + (before.right - before.left) * 3 / 2,
                      before.top + (before.bottom - before.top) * 3 / 2};
    SendMessageW(app_.window(), WM_DPICHANGED, MAKEWPARAM(dpi * 3 / 2, dpi * 3 / 2), reinterpret_cast<LPARAM>(&larger));
    RECT now{};
    GetWindowRect(app_.window(), &now);
    EXPECT_TRUE(EqualRect(&now, &larger));
    EXPECT_GE(LineHeight() * 10, lineHeight * 14);
    EXPECT_LE(LineHeight() * 10, lineHeight * 17);
    EXPECT_EQ(app_.state().frameHeightDelta, MulDiv(frame, 3, 2));

    SendMessageW(app_.window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&before));
    GetWindowRect(app_.window(), &now);
    EXPECT_TRUE(EqualRect(&now, &before));
    EXPECT_EQ(LineHeight(), lineHeight);
}

// The tray shows the icon's own small image, not the large one shrunk.
TEST_F(ReadingLook, TheTrayIconHasTheSmallIconSizeOfTheScreen)
{
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(app_.state().trayIcon.record.hIcon, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, GetSystemMetrics(SM_CXSMICON));
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST(ViewSettings, WrittenOnlyWhenChangedAndReadStrictly)
{
    CIniFile file;
    AppSettingsRecord settings;
    WriteViewSettings(file, settings);
    EXPECT_EQ(file.FindSection(L"view"), -1) << "a file with the first-run values stays as it was";

    settings.markSentence = false;
    settings.focusMode = true;
    settings.lineSpacingPercent = 150;
    WriteViewSettings(file, settings);
    EXPECT_EQ(file.GetValue(L"view", L"sentence", L"?"), L"0");
    EXPECT_EQ(file.GetValue(L"view", L"focus", L"?"), L"1");
    EXPECT_EQ(file.GetValue(L"view", L"linespacing", L"?"), L"1.5");
    AppSettingsRecord read;
    ReadViewSettings(file, read);
    EXPECT_FALSE(read.markSentence);
    EXPECT_TRUE(read.focusMode);
    EXPECT_EQ(read.lineSpacingPercent, 150);

    // Changed back, the keys say so rather than keep the old values.
    WriteViewSettings(file, AppSettingsRecord{});
    EXPECT_EQ(file.GetValue(L"view", L"sentence", L"?"), L"1");
    EXPECT_EQ(file.GetValue(L"view", L"linespacing", L"?"), L"1");

    // What the program does not offer reads as the first-run value.
    file.SetValue(L"view", L"linespacing", L"3");
    file.SetValue(L"view", L"focus", L"yes");
    file.SetValue(L"view", L"sentence", L"2");
    ReadViewSettings(file, read);
    EXPECT_TRUE(read.markSentence);
    EXPECT_FALSE(read.focusMode);
    EXPECT_EQ(read.lineSpacingPercent, 100);
}

} // namespace
