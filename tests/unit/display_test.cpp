// What the Speech window shows: font size, visible lines, auto scroll, the colour hook
// and the border toggle.
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>
#include "in_process_app.h"
#include <commctrl.h>
#include "pump.h"
#include "view_pixels.h"
#include "platform/scoped_handle.h"
#include "settings/app_settings.h"
#include "view/view_look.h"
#include "voice/speech_controller.h"
#include "view/prepared_text.h"
#include "view/text_view.h"
#include "resource.h"

namespace {

TEST(DisplayRules, FontHeightToTwips)
{
    EXPECT_EQ(TwipsFromHeight(-16, 96), 240);
    EXPECT_EQ(TwipsFromHeight(-13, 96), 200);   // 9.75 points rounds to 10
    EXPECT_EQ(TwipsFromHeight(-16, 120), 200);
}

TEST(DisplayRules, VisibleLinesRoundAndNeverDropBelowOne)
{
    EXPECT_EQ(ComputeVisibleLines(100, 30), 3);
    EXPECT_EQ(ComputeVisibleLines(105, 30), 4);   // 3.5 rounds up
    EXPECT_EQ(ComputeVisibleLines(10, 30), 1);
    EXPECT_EQ(ComputeVisibleLines(0, 30), 1);
    EXPECT_EQ(ComputeVisibleLines(100, 0), 1);
}

TEST(DisplayRules, AutoScrollOnlyBelowTheMiddle)
{
    const struct {
        int line, first, visible;
        bool scroll;
    } rows[] = {
        {5, 0, 10, false}, {6, 0, 10, true}, {15, 10, 10, false}, {16, 10, 10, true},
        {0, 5, 10, false},  // above the view
        {100, 0, 2, false}, {100, 0, 1, false}, {2, 0, 3, true}, {1, 0, 3, false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(NeedsAutoScroll(r.line, r.first, r.visible), r.scroll)
            << "line " << r.line << " first " << r.first << " visible " << r.visible;
}

POINT TextOnScreen(const InProcessApp& app)
{
    POINT origin{0, 0};
    ClientToScreen(app.view().Handle(), &origin);
    return origin;
}

TEST(Border, ToggledTwiceGivesBackTheSameRectangle)
{
    InProcessApp app(SW_SHOWNORMAL);
    RECT before;
    GetWindowRect(app.window(), &before);
    const POINT textBefore = TextOnScreen(app);

    app.Command(CMD_BORDER);
    EXPECT_FALSE(AppSettings.showBorder);
    EXPECT_FALSE(GetWindowLongW(app.window(), GWL_STYLE) & WS_CAPTION);
    const POINT textAfter = TextOnScreen(app);
    EXPECT_EQ(textAfter.x, textBefore.x);
    EXPECT_EQ(textAfter.y, textBefore.y);

    app.Command(CMD_BORDER);
    EXPECT_TRUE(AppSettings.showBorder);
    RECT after;
    GetWindowRect(app.window(), &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
}

TEST(Border, FrameHeightDeltaIsMeasuredOnceFromTheFramedWindow)
{
    InProcessApp app(SW_SHOWNORMAL);
    RECT window, client;
    GetWindowRect(app.window(), &window);
    GetClientRect(app.view().Handle(), &client);
    EXPECT_EQ(app.state().frameHeightDelta, (window.bottom - window.top) - client.bottom);
    EXPECT_GT(app.state().frameHeightDelta, 0);
}

TEST(Highlight, PlayedTextModeSelectsTheWord)
{
    InProcessApp app(SW_SHOWNORMAL);
    app.view().SetText(L"One two three four.");
    app.reader().PrepareText();
    app.speech().Play();
    app.voice.SetWord(8, 5);
    AppSettings.showFullText = true;
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    DWORD start = 0, end = 0;
    SendMessageW(app.view().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 8u);
    EXPECT_EQ(end, 13u);

    AppSettings.showFullText = false;
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    SendMessageW(app.view().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 8u) << "the selection is the word in played-text mode too";
    EXPECT_EQ(end, 13u);
    EXPECT_EQ(app.Caption().rfind(L"Speech window - playing   [ 1 / 1 ]", 0), 0u) << "caption length " << app.Caption().size();
}

// Selections the TextView receives, as (start, end) pairs.
std::vector<std::pair<int, int>> selections;

LRESULT CALLBACK RecordSelections(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == EM_SETSEL)
        selections.emplace_back(static_cast<int>(wParam), static_cast<int>(lParam));
    return DefSubclassProc(window, message, wParam, lParam);
}

// Once per word: a selection in between would let the view draw the lines before it
// blank for a moment.
TEST(Highlight, PlayedTextModeSelectsOncePerWordAndShowsTheWordsLine)
{
    InProcessApp app(SW_SHOWNORMAL);
    AppSettings.showFullText = false;
    app.view().SetText(L"First line.\rSecond line.\rThird line.");
    app.reader().PrepareText();
    app.speech().Play();
    ASSERT_TRUE(SetWindowSubclass(app.view().Handle(), RecordSelections, 1, 0));
    selections.clear();
    app.voice.SetWord(19, 5);   // "line." of the second line
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(selections, (std::vector<std::pair<int, int>>{{19, 24}}));
    EXPECT_EQ(app.Caption(), L"Speech window - playing   [ 2 / 3 ]");

    // At the end, the caption shows where the caret went, not the start of the text.
    app.voice.SetWord(31, 5);
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    RemoveWindowSubclass(app.view().Handle(), RecordSelections, 1);
    EXPECT_EQ(app.Caption(), L"Speech window - stopped   [ 3 / 3 ]");
}

TEST(Highlight, AutoScrollKeepsTheSpokenLineInView)
{
    InProcessApp app(SW_SHOWNORMAL);
    std::wstring text;
    for (int i = 0; i < 200; ++i)
        text += L"Line number " + std::to_wstring(i) + L".\r";
    app.view().SetText(text.c_str());
    app.reader().PrepareText();
    app.speech().Play();
    ASSERT_GT(ReaderProbe::VisibleLines(app.reader()), 2);
    for (int line = 0; line < 200; ++line) {
        const int start = app.view().LineIndex(line);
        app.voice.SetWord(start, 4);
        app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
        SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
        const int first = app.view().FirstVisibleLine();
        ASSERT_LE(first, line) << "line " << line;
        ASSERT_LT(line - first, ReaderProbe::VisibleLines(app.reader())) << "line " << line;
        // Until the view reaches the end, the spoken line stays in its upper half.
        if (line < 150) {
            ASSERT_LE(line - first, ReaderProbe::VisibleLines(app.reader()) / 2 + 1) << "line " << line;
        }
    }
}

} // namespace
