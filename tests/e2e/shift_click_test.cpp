// Shift+click in the Speech window's text reads from the word clicked, unless a reading
// goes on or no word follows the click.
#include <gtest/gtest.h>
#include <richedit.h>
#include <algorithm>
#include "app_driver.h"

namespace {

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
        const std::wstring copied = L"The first sentence is here. The second sentence has a middle word. The third one ends it.";
        ASSERT_TRUE(SetClipboardText(copied));
        ASSERT_TRUE(PumpUntil([&] { return TextViewText(window_).size() > copied.size(); }, 10000)) << "no copy shown";
        text_ = TextViewText(window_);
    }

    bool StateIs(const std::wstring& state) const
    {
        return CaptionWithoutLanguage(WindowText(window_)).rfind(L"Speech window - " + state + L"   [", 0) == 0;
    }
    bool Becomes(const std::wstring& state) const { return PumpUntil([&] { return StateIs(state); }, 10000); }

    // The left edge of the character at index, just below the top of its line's text.
    POINT PointOf(size_t index) const
    {
        const auto packed = static_cast<DWORD>(SendMessageW(view_, EM_POSFROMCHAR, index, 0));
        return {static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed)) + 2};
    }
    // Handled by the program when this returns.
    void ShiftClick(POINT at) const
    {
        SendMessageW(view_, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(at.x, at.y));
    }

    // The view's highlight: the word being read, or the caret.
    std::pair<size_t, size_t> Highlight() const
    {
        const auto packed = static_cast<DWORD>(SendMessageW(view_, EM_GETSEL, 0, 0));
        return {LOWORD(packed), HIWORD(packed)};
    }
    std::string Highlighted() const
    {
        const auto [start, end] = Highlight();
        std::string word(1, '"');
        for (size_t i = start; i < end && i < text_.size(); ++i)
            word += static_cast<char>(text_[i]);
        return word + '"';
    }
    // Where the highlight goes when it leaves from.
    size_t NextWord(std::pair<size_t, size_t> from) const
    {
        PumpUntil([&] { return Highlight() != from && Highlight().second > Highlight().first; }, 10000);
        return Highlight().first;
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
    const size_t middle = text_.find(L"middle");
    const POINT blankAfter = PointOf(middle + 6);
    const auto caret = Highlight();
    ShiftClick({blankAfter.x - 1, blankAfter.y});
    ASSERT_TRUE(Becomes(L"playing")) << "a Shift+click when stopped did not start the reading";
    EXPECT_EQ(NextWord(caret), middle) << "the reading began at " << Highlighted();

    PressKey(window_, 'P');
    ASSERT_TRUE(Becomes(L"paused")) << "P did not pause";
    const auto pausedAt = Highlight();
    // On the blank between two words: the word after it.
    const size_t sentence = text_.find(L"sentence");
    ShiftClick({(PointOf(sentence - 1).x + PointOf(sentence).x) / 2, PointOf(sentence).y});
    EXPECT_TRUE(Becomes(L"playing")) << "a Shift+click when paused did not start the reading";
    EXPECT_EQ(NextWord(pausedAt), sentence) << "the reading began at " << Highlighted();
}

TEST_F(ShiftClickTest, DoesNothingWhilePlayingOrPastTheEnd)
{
    PressKey(window_, VK_SPACE);
    ASSERT_TRUE(Becomes(L"playing")) << "Space did not start the reading";
    // Past the first words, so that a reading started at one would go back.
    ASSERT_TRUE(PumpUntil([&] { return Highlight().first >= text_.find(L"sentence"); }, 10000))
        << "the reading did not reach the first sentence's third word";
    ShiftClick(PointOf(text_.find(L"first")));
    // Neither at once nor after the reading it would have waited for.
    size_t furthest = 0;
    std::string wentBackTo;
    EXPECT_TRUE(PumpUntil([&] {
        if (Highlight().first < furthest && wentBackTo.empty())
            wentBackTo = Highlighted();
        furthest = std::max(furthest, Highlight().first);
        return StateIs(L"stopped");
    }, 20000)) << "the reading did not end";
    EXPECT_EQ(wentBackTo, "") << "after a Shift+click while playing the reading went back";

    const POINT end = PointOf(text_.find(L"it.") + 3);
    ShiftClick({end.x + 20, end.y});
    EXPECT_TRUE(StateIs(L"stopped")) << "a Shift+click past the text's end started a reading";
}

} // namespace
