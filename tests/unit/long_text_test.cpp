// Long copies: where the view breaks its lines, how much of a long text it lays out at
// once, and how a long copy comes in between messages, a newer copy winning, a too large
// one refused.
#include <gtest/gtest.h>
#include <random>
#include "in_process_app.h"
#include "app_driver.h"
#include "copy_watch.h"
#include "pump.h"
#include "clipboard/clipboard_monitor.h"
#include "settings/app_settings.h"
#include "reading/reader.h"
#include "view/text_layout.h"
#include "view/text_view.h"
#include "resource.h"

namespace {

// Every character 10 pixels wide, tabs every 40.
void TenPixelsEach(CharWidths& widths)
{
    widths.Reset([](wchar_t, int count, int* out) { std::fill(out, out + count, 10); },
                 [](wchar_t, wchar_t) { return 10; }, 40);
}

std::vector<int> LineStarts(TextLayout& layout)
{
    std::vector<int> starts;
    for (int line = 0; line < layout.LineCount(); ++line)
        starts.push_back(layout.LineStart(line));
    return starts;
}

TEST(TextLayout, BreaksAfterBlanksAndHyphensInsideLongWordsAndAroundEastAsianTextNeverBeforeAMark)
{
    const struct {
        const wchar_t* text;
        std::vector<int> starts;
    } cases[] = {
        {L"aaaa bbbb cccc", {0, 10}},                // the blank at the edge hangs
        {L"xxxxxxxxxxxxxxxxxxxxxxxxx", {0, 10, 20}}, // a word longer than a line
        {L"aaaa-bbbb-cccc", {0, 10}},
        {L"ab\rcd\r", {0, 3, 6}},                    // a last, empty line after a break
        {L"", {0}},
        {L"\x4e2d\x4e2d\x4e2d\x4e2d\x4e2d\x4e2d\x4e2d\x4e2d\x4e2d\x4e2d\x4e2d", {0, 10}},
        {L"aaaa                    b", {0, 24}},
        {L"a\tbbbbbb c", {0, 9}},                    // the tab ends at 40
        {L"xxxxxxxxxx\x0301\x0302yy", {0, 12}},      // marks stay with their letter
    };
    std::wstring text;
    CharWidths widths;
    TenPixelsEach(widths);
    TextLayout layout(widths);
    for (const auto& c : cases) {
        text = c.text;
        layout.Reset(text, 100);
        EXPECT_EQ(LineStarts(layout), c.starts) << "text of " << text.size() << " characters";
    }
    text = L"ab\rcd\r";
    layout.Reset(text, 100);
    EXPECT_EQ(layout.LineOf(2), 0);
    EXPECT_EQ(layout.LineOf(3), 1);
    EXPECT_EQ(layout.LineOf(99), 2);
    EXPECT_EQ(layout.LineStart(3), -1);
}

// Lines found a piece at a time, and found again only after a change, are the lines of
// a layout made from scratch.
TEST(TextLayout, PiecesAndChangesGiveTheWholeLayout)
{
    std::mt19937 random(2024);
    const wchar_t alphabet[] = {L'a', L'a', L'a', L' ', L'-', L'\r', L'\x4e2d', L'\t'};
    std::wstring text, fresh;
    CharWidths widths;
    TenPixelsEach(widths);
    TextLayout layout(widths), reference(widths);
    for (int round = 0; round < 200; ++round) {
        text.assign(random() % 400, L'a');
        for (wchar_t& c : text)
            c = alphabet[random() % std::size(alphabet)];
        const int width = 30 + static_cast<int>(random() % 150);
        layout.Reset(text, width);
        layout.LayOutMore(static_cast<int>(random() % 50));
        for (int change = 0; change < 3; ++change) {
            const size_t at = text.empty() ? 0 : random() % text.size();
            text.insert(at, std::wstring(random() % 12, alphabet[random() % std::size(alphabet)]));
            layout.TextChangedFrom(text, static_cast<int>(at));
            layout.LineOf(static_cast<int>(random() % (text.size() + 1)));
        }
        fresh = text;
        reference.Reset(fresh, width);
        ASSERT_EQ(LineStarts(layout), LineStarts(reference)) << "round " << round;
    }
}

std::wstring Lines(size_t characters)
{
    std::wstring text;
    while (text.size() < characters)
        text += L"A sentence of a long copied text.\r\n";
    return text;
}

// A long text shows its first lines at once and counts the rest between messages; a
// question about a line that is not counted yet counts as far as it needs.
TEST(TextViewLayout, ALongTextIsCountedBetweenMessagesAndTheCaptionSaysSo)
{
    InProcessApp app;
    app.view().SetText(Lines(3 << 20).c_str());
    app.reader().ReportStatusChange();
    EXPECT_FALSE(app.view().CountedLines().complete);
    EXPECT_NE(app.Caption().find(L"\x2026 ]"), std::wstring::npos) << "caption " << app.Caption().size();
    ASSERT_TRUE(PumpUntil([&] { return app.view().CountedLines().complete; }, 20000));
    const int lines = app.view().LineCount();
    EXPECT_EQ(CaptionLineCount(app.Caption()), lines) << "the caption is told when the count is complete";
    EXPECT_EQ(app.view().LineIndex(lines - 1), static_cast<int>(app.view().Text().size()));

    app.view().SetText(Lines(3 << 20).c_str());
    const int beforeLastBreak = static_cast<int>(app.view().Text().size()) - 2;
    EXPECT_EQ(app.view().LineFromChar(beforeLastBreak), lines - 2) << "counted on demand";
}

// The view answers as the platform's rich edit does for what the program asks.
TEST(TextViewLayout, AnswersLikeARichEdit)
{
    InProcessApp app(SW_SHOWNORMAL);
    TextView& view = app.view();
    view.SetText(L"a\nb\r\r\nc");
    EXPECT_EQ(view.GetText(), L"a\rb\r\rc");
    EXPECT_EQ(view.WindowTextLength(), 9);
    std::wstring text;
    for (int i = 0; i < 100; ++i)
        text += L"line " + std::to_wstring(i) + L"\r";
    view.SetText(text.c_str());
    // A selection puts its end in sight, and no further than needed.
    view.Select(view.LineIndex(50), view.LineIndex(50) + 4);
    const int first = view.FirstVisibleLine();
    EXPECT_LE(first, 50);
    EXPECT_GT(first + ReaderProbe::VisibleLines(app.reader()), 50);
    view.Select(0, 0);
    EXPECT_EQ(view.FirstVisibleLine(), 0);
    view.Select(5, 100000);
    EXPECT_EQ(view.SelectionEnd(), static_cast<int>(view.Text().size()));
    // Both forms of the position question.
    const POINT at = view.PosFromChar(view.LineIndex(2) + 1);
    const auto packed = static_cast<DWORD>(SendMessageW(view.Handle(), EM_POSFROMCHAR, view.LineIndex(2) + 1, 0));
    EXPECT_EQ(at.x, static_cast<short>(LOWORD(packed)));
    EXPECT_EQ(at.y, static_cast<short>(HIWORD(packed)));
    EXPECT_EQ(at.y, 2 * view.LineHeight() - view.FirstVisibleLine() * view.LineHeight());
}

// A long copy without its trailing line break, as the clipboard monitor hands it over.
std::wstring LongCopy()
{
    return Lines(4 << 20) + L"End";
}

// The window gets its messages between the two copies while the first is still being
// prepared; the second, newer one is the one shown and read.
TEST(LongCopy, ANewerCopyReplacesOneStillBeingPrepared)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    app.reader().TakeCopy(LongCopy(), false);
    ASSERT_TRUE(ReaderProbe::Loading(app.reader())) << "a long copy is prepared between messages";
    PumpUntil([] { return false; }, 20);
    app.reader().TakeCopy(L"The newer copy.", false);
    ASSERT_TRUE(PumpUntil([&] { return !ReaderProbe::Loading(app.reader()); }, 20000));
    EXPECT_EQ(app.reader().Text().Text(), L"The newer copy. ");
    EXPECT_EQ(app.view().Text(), L"The newer copy. ");
    EXPECT_EQ(app.voice.lastSpoken, L"The newer copy. ");
}

// In append mode the newer copy goes after the one being prepared and is read from its
// start; the text is what taking both at once would give.
TEST(LongCopy, AnAppendedCopyFollowsOneStillBeingPrepared)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    AppSettings.appendCopies = true;
    app.reader().TakeCopy(L"First.", true);
    const std::wstring longCopy = LongCopy();
    app.reader().TakeCopy(longCopy, true);
    ASSERT_TRUE(ReaderProbe::Loading(app.reader()));
    PumpUntil([] { return false; }, 20);
    app.reader().TakeCopy(L"\nLast", true);
    ASSERT_TRUE(PumpUntil([&] { return !ReaderProbe::Loading(app.reader()); }, 20000));
    const std::wstring expected = PreparedCopy(L"First. " + longCopy + L" \nLast");
    EXPECT_TRUE(app.reader().Text().Text() == expected)
        << "lengths " << app.reader().Text().Text().size() << " and " << expected.size();
    EXPECT_TRUE(app.view().Text() == expected);
    EXPECT_EQ(app.voice.lastSpoken, L".\rLast ");
}

// A command sees the text as if the copy had come in at once.
TEST(LongCopy, ACommandFinishesThePreparationFirst)
{
    InProcessApp app;
    const std::wstring longCopy = LongCopy();
    app.reader().TakeCopy(longCopy, false);
    ASSERT_TRUE(ReaderProbe::Loading(app.reader()));
    app.Command(CMD_PLAY_STOP);
    EXPECT_FALSE(ReaderProbe::Loading(app.reader()));
    EXPECT_EQ(app.speech().State(), Playing);
    EXPECT_TRUE(app.voice.lastSpoken == PreparedCopy(longCopy));
}

TEST(LongCopy, ACopyLargerThanTheLimitIsNotTakenAndTheCaptionSaysWhy)
{
    InProcessApp app;
    const std::wstring tooLarge(LargestCopyBytes / sizeof(wchar_t) + 1, L'x');
    for (const std::wstring& copy : {std::wstring(L"Kept."), tooLarge}) {
        ASSERT_TRUE(SetClipboardText(copy));
        PumpPending();
        ASSERT_TRUE(PumpUntil([&] { return !ClipboardReadPending(app.state().clipboard); }, 10000))
            << "the copy's text was not fetched";
    }
    EXPECT_FALSE(ReaderProbe::Loading(app.reader()));
    EXPECT_EQ(app.view().Text(), L"Kept. ");
    EXPECT_EQ(app.Caption(), L"Speech window - copy of 20.1 MB not taken: it is larger than 20 MB");
}

} // namespace
