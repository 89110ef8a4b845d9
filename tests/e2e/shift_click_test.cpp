// Shift+click in the Speech window's text reads from the word clicked, unless a reading
// goes on or no word follows the click.
#include <gtest/gtest.h>
#include <richedit.h>
#include <algorithm>
#include "app_driver.h"

namespace {

const std::wstring Copied = L"The first sentence is here. The second sentence has a middle word. The third one ends it.";

class ShiftClickTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Slow enough that the first word read stays highlighted while it is looked at.
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"200");
        WriteSettingsFile();
        EmptyTheClipboard();
        window_ = app_.Window();
        ASSERT_NE(window_, nullptr);
        view_ = TextViewOf(window_);
        ASSERT_TRUE(SetClipboardText(Copied));
        ASSERT_TRUE(PumpUntil([&] { return TextViewText(window_).size() > Copied.size(); }, 10000))
            << "the copy was not shown";
        text_ = TextViewText(window_);
    }

    bool StateIs(const std::wstring& state) const
    {
        return CaptionWithoutLanguage(WindowText(window_)).rfind(L"Speech window - " + state + L"   [", 0) == 0;
    }
    bool Becomes(const std::wstring& state) const
    {
        return PumpUntil([&] { return StateIs(state); }, 10000);
    }

    // Where the view's character at index is drawn: its left edge, just below the top of
    // its line's text.
    POINT PointOf(size_t index) const
    {
        const auto packed = static_cast<DWORD>(SendMessageW(view_, EM_POSFROMCHAR, index, 0));
        return {static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed)) + 2};
    }
    // The first character of word's first occurrence in the text.
    size_t Find(const std::wstring& word) const
    {
        const size_t at = text_.find(word);
        EXPECT_NE(at, std::wstring::npos) << "a word of the test is not in the view's text";
        return at;
    }

    // Handled by the program when this returns, as a user's click is before the next one.
    void ShiftClick(POINT at) const
    {
        SendMessageW(view_, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(at.x, at.y));
        SendMessageW(view_, WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(at.x, at.y));
    }

    // The view's highlight: the word being read, or the caret.
    std::pair<size_t, size_t> Highlight() const
    {
        const auto packed = static_cast<DWORD>(SendMessageW(view_, EM_GETSEL, 0, 0));
        return {LOWORD(packed), HIWORD(packed)};
    }
    std::string HighlightedText() const
    {
        const auto [start, end] = Highlight();
        const std::wstring word = text_.substr(start, end - start);
        return std::string(word.begin(), word.end());
    }
    // Waits for the highlight to leave where it was, and tells where it went.
    std::pair<size_t, size_t> NextHighlight(std::pair<size_t, size_t> from) const
    {
        PumpUntil([&] { return Highlight() != from && Highlight().second > Highlight().first; }, 10000);
        return Highlight();
    }

    AppProcess app_;
    HWND window_ = nullptr;
    HWND view_ = nullptr;
    std::wstring text_;
};

TEST_F(ShiftClickTest, ReadsFromTheClickedWordWhenStoppedOrPaused)
{
    ASSERT_TRUE(StateIs(L"stopped"));
    // On the right half of the word's last letter, nearer the blank after it than its left.
    const size_t middle = Find(L"middle");
    const POINT blankAfter = PointOf(middle + 6);
    const auto caret = Highlight();
    ShiftClick({blankAfter.x - 1, blankAfter.y});
    ASSERT_TRUE(Becomes(L"playing")) << "a Shift+click when stopped did not start the reading";
    EXPECT_EQ(NextHighlight(caret).first, middle) << "the reading began at \"" << HighlightedText() << "\"";

    PressKey(window_, 'P');
    ASSERT_TRUE(Becomes(L"paused")) << "P did not pause";
    const auto pausedAt = Highlight();
    // On the blank between two words: the word after it.
    const size_t sentence = Find(L"sentence");
    const POINT before = PointOf(sentence - 1);
    ShiftClick({(before.x + PointOf(sentence).x) / 2, before.y});
    EXPECT_TRUE(Becomes(L"playing")) << "a Shift+click when paused did not start the reading";
    EXPECT_EQ(NextHighlight(pausedAt).first, sentence) << "the reading began at \"" << HighlightedText() << "\"";
}

TEST_F(ShiftClickTest, DoesNothingWhilePlayingOrPastTheEnd)
{
    PressKey(window_, VK_SPACE);
    ASSERT_TRUE(Becomes(L"playing")) << "Space did not start the reading";
    // Past the first words, so that a reading started again at one would go back.
    const size_t sentence = Find(L"sentence");
    ASSERT_TRUE(PumpUntil([&] { return Highlight().first >= sentence; }, 10000)) << "the reading did not reach \"sentence\"";
    ShiftClick(PointOf(Find(L"first")));
    // Neither at once nor after the reading it would have waited for.
    size_t furthest = 0;
    std::string wentBackTo;
    EXPECT_TRUE(PumpUntil([&] {
        const size_t start = Highlight().first;
        if (start < furthest && wentBackTo.empty())
            wentBackTo = HighlightedText();
        furthest = std::max(furthest, start);
        return StateIs(L"stopped");
    }, 20000)) << "the reading did not end";
    EXPECT_EQ(wentBackTo, "") << "after a Shift+click while playing the reading went back";

    const POINT end = PointOf(Find(L"it.") + 3);
    ShiftClick({end.x + 20, end.y});
    EXPECT_TRUE(StateIs(L"stopped")) << "a Shift+click past the text's end started a reading";
}

} // namespace
