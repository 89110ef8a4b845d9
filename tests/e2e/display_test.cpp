// What the Speech window shows while it reads, read back from the screen's pixels.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "resource.h"
#include "view_pixels.h"
#include <algorithm>
#include <functional>
#include <set>

namespace {

using Capture = ViewCapture;

// The TextView's client area as the screen shows it.
Capture CaptureTextView(HWND speechWindow)
{
    return CaptureView(TextViewOf(speechWindow));
}

// Keys travel through the input queue: wait for the key's effect, not for the key.
bool StartedPlaying(HWND window)
{
    return PumpUntil([&] { return WindowText(window).rfind(L"Speech window - playing", 0) == 0; }, 10000);
}

constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF DarkBlue = RGB(0, 0, 128);

const wchar_t* const Words = L"Every word appears as it is spoken and not a moment before it.";

class DisplayTest : public testing::Test {
protected:
    void Start(std::map<std::wstring, std::wstring> settings)
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"150");
        WriteSettingsFile(settings);
        EmptyTheClipboard();
        app_ = std::make_unique<AppProcess>();
        window_ = app_->Window();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(SetClipboardText(Words));
        ASSERT_TRUE(PumpUntil([&] { return TextViewText(window_).size() > 10; }, 10000));
    }
    // The screen follows the text with its next repaint.
    Capture CaptureWhen(const std::function<bool(const Capture&)>& shown)
    {
        Capture capture;
        PumpUntil([&] { return shown(capture = CaptureTextView(window_)); }, 10000);
        return capture;
    }
    bool Stopped() { return WindowText(window_).rfind(L"Speech window - stopped", 0) == 0; }

    std::unique_ptr<AppProcess> app_;
    HWND window_ = nullptr;
};

TEST_F(DisplayTest, PlayedTextAppearsWordByWord)
{
    Start({{L"fulltext", L"0"}, {L"autoscroll", L"0"}, {L"text", std::to_wstring(White)},
           {L"background", std::to_wstring(DarkBlue)}});
    Capture before = CaptureWhen([](const Capture& c) { return c.Count(DarkBlue) == c.width * c.height; });
    EXPECT_EQ(before.Count(DarkBlue), before.width * before.height) << "nothing is visible before playing";

    PressKey(window_, VK_SPACE);
    ASSERT_TRUE(StartedPlaying(window_));
    std::set<int> seen;
    int last = 0, growths = 0, drops = 0;
    PumpUntil([&] {
        const int white = CaptureTextView(window_).Count(White);
        growths += white > last;
        // A capture can catch the control in the middle of repainting.
        drops += white < last;
        last = white;
        if (white > 0)
            seen.insert(white);
        return Stopped();
    }, 30000);
    EXPECT_GE(seen.size(), 4u) << "the text grows in several steps";
    EXPECT_LE(drops * 2, growths) << "what was spoken stays visible";

    ASSERT_TRUE(Stopped());
    // The last repaint may still be on its way when the caption says stopped.
    Capture after = CaptureWhen([](const Capture& c) { return c.Count(DarkBlue) == c.width * c.height; });
    EXPECT_EQ(after.Count(DarkBlue), after.width * after.height) << "empty again at the end";
}

TEST_F(DisplayTest, FullTextShowsTheSpokenWordInSelectionColours)
{
    Start({{L"fulltext", L"1"}});
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    Capture before = CaptureWhen([](const Capture& c) { return c.Count(RGB(0, 0, 0)) > 0; });
    EXPECT_GT(before.Count(RGB(0, 0, 0)), 0) << "the text is shown";
    EXPECT_EQ(before.Count(highlight), 0);

    PressKey(window_, VK_SPACE);
    ASSERT_TRUE(StartedPlaying(window_));
    std::set<int> positions;
    PumpUntil([&] {
        const Capture now = CaptureTextView(window_);
        const int left = now.LeftMost(highlight);
        if (left >= 0)
            positions.insert(now.TopMost(highlight) * 10000 + left);
        return Stopped();
    }, 30000);
    EXPECT_GE(positions.size(), 4u) << "the highlight moves from word to word";
}

// F dims what is not being read, the sentence read keeps its colour, and the choice is
// kept in the settings file.
TEST(FocusMode, TheKeyDimsAllButTheSentenceBeingReadAndIsKept)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"100");
    WriteSettingsFile({{L"fulltext", L"1"}});
    EmptyTheClipboard();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"The first sentence is here. The second one is read after it. A third one ends."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > 10; }, 10000));
    PressKey(window, 'F');
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(StartedPlaying(window));
    const COLORREF dimmed = RGB(165, 165, 165);   // black 65% of the way to white
    Capture shown;
    EXPECT_TRUE(PumpUntil([&] {
        shown = CaptureTextView(window);
        return shown.Count(dimmed) > 0 && shown.Count(RGB(0, 0, 0)) > 0;
    }, 10000)) << "nothing dimmed while reading (" << shown.Count(dimmed) << " dimmed pixels)";
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"focus"), L"1");
}

} // namespace

namespace {

TEST(AutoScroll, TheSpokenLineStaysInView)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"3000");
    WriteSettingsFile({{L"fulltext", L"1"}, {L"autoscroll", L"1"}, {L"height", L"200"}});
    EmptyTheClipboard();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    std::wstring text;
    for (int i = 0; i < 200; ++i)
        text += L"Line " + std::to_wstring(i) + L".\r\n";
    ASSERT_TRUE(SetClipboardText(text));
    HWND view = TextViewOf(window);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(view, EM_GETLINECOUNT, 0, 0) >= 200; }, 20000));
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(StartedPlaying(window));

    int checks = 0, outOfView = 0, deepest = 0;
    PumpUntil([&] {
        const auto selection = static_cast<DWORD>(SendMessageW(view, EM_GETSEL, 0, 0));
        const int line = static_cast<int>(SendMessageW(view, EM_LINEFROMCHAR, LOWORD(selection), 0));
        const int first = static_cast<int>(SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0));
        RECT client;
        GetClientRect(view, &client);
        // From another process only the packed answer can come back.
        const auto packed = static_cast<DWORD>(SendMessageW(view, EM_POSFROMCHAR, LOWORD(selection), 0));
        const POINT at{static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))};
        // The program may take its next word between these questions; only a view that
        // stood still while it was asked tells where the word was shown.
        if (static_cast<DWORD>(SendMessageW(view, EM_GETSEL, 0, 0)) != selection ||
            SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0) != first)
            return false;
        ++checks;
        // The word's line is never above the view, and its top lies inside it.
        outOfView += line < first || at.y < 0 || at.y >= client.bottom;
        deepest = std::max(deepest, line);
        return WindowText(window).rfind(L"Speech window - stopped", 0) == 0 || deepest >= 150;
    }, 60000);
    EXPECT_GE(deepest, 150) << "speech got far into the text";
    EXPECT_EQ(outOfView, 0) << "of " << checks << " checks";
}

// Magnifiers follow the system caret: while the active window reads, another process
// finds it on the highlighted word, and it moves with the words.
TEST_F(DisplayTest, TheCaretStandsOnTheHighlightedWordAndMovesWithIt)
{
    Start({{L"autoscroll", L"0"}});
    PressKey(window_, VK_SPACE);
    ASSERT_TRUE(StartedPlaying(window_));
    const HWND view = TextViewOf(window_);
    const DWORD thread = GetWindowThreadProcessId(window_, nullptr);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    std::set<LONG> places;
    bool seenCaret = false;
    PumpUntil([&] {
        GUITHREADINFO before{};
        before.cbSize = sizeof before;
        if (!GetGUIThreadInfo(thread, &before) || before.hwndCaret != view)
            return Stopped();
        seenCaret = true;
        const Capture shown = CaptureTextView(window_);
        GUITHREADINFO after{};
        after.cbSize = sizeof after;
        // The word moved on while the screen was read: the next look decides.
        if (!GetGUIThreadInfo(thread, &after) || !EqualRect(&before.rcCaret, &after.rcCaret))
            return false;
        const RECT& caret = before.rcCaret;
        int covered = 0;
        for (LONG y = std::max(caret.top, 0L); y < std::min<LONG>(caret.bottom, shown.height); ++y)
            for (LONG x = std::max(caret.left, 0L); x < std::min<LONG>(caret.right, shown.width); ++x)
                covered += shown.At(x, y) == highlight;
        if (covered > 0)
            places.insert(caret.left);
        return places.size() >= 3 || Stopped();
    }, 30000);
    EXPECT_TRUE(seenCaret) << "the view never held the caret while its window was active";
    EXPECT_GE(places.size(), 3u) << "the caret was not seen on the highlighted word at three places";
}

} // namespace
