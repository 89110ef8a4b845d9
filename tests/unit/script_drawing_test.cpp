// Right-to-left and joined scripts as the platform draws them: a line read word by word
// keeps every letter outside the spoken word where it was, and a highlight that cuts
// through an Arabic word leaves its letters joined.
#include <gtest/gtest.h>
#include "in_process_app.h"
#include "view_pixels.h"
#include "settings/app_settings.h"
#include "resource.h"
#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr COLORREF White = RGB(255, 255, 255);
const wchar_t* const Hebrew = L"\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD \u05D5\u05DB\u05DC "
                              L"\u05D4\u05D8\u05D5\u05D1 \u05DC\u05DB\u05DD";
const wchar_t* const Arabic = L"\u0645\u0631\u062D\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645 "
                              L"\u0643\u0644\u0647 \u0627\u0644\u064A\u0648\u0645";

std::vector<TextRange> WordsOf(const std::wstring& text)
{
    std::vector<TextRange> words;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(L' ', at), text.size());
        words.push_back({static_cast<int>(at), static_cast<int>(end)});
        at = end + 1;
    }
    return words;
}

// The box around every pixel of a colour, widened on each side by margin pixels.
RECT BoxOf(const ViewCapture& shown, COLORREF colour, int margin = 1)
{
    RECT box{shown.width, shown.height, -1, -1};
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (shown.At(x, y) == colour)
                box = RECT{std::min<LONG>(box.left, x - margin), std::min<LONG>(box.top, y - margin),
                           std::max<LONG>(box.right, x + 1 + margin), std::max<LONG>(box.bottom, y + 1 + margin)};
    return box;
}

bool Inside(const RECT& box, int x, int y)
{
    return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
}

class Scripts : public testing::Test {
protected:
    void SetUp() override
    {
        AppSettings.markSentence = false;
        app_.reader().Apply(SettingsChange::SentenceLook);
    }
    void TearDown() override { AppSettings.markSentence = true; }
    void Read(const wchar_t* text)
    {
        app_.view().SetText(text);
        app_.reader().PrepareText();
        app_.speech().Play();
    }
    void Speak(TextRange word)
    {
        app_.voice.SetWord(static_cast<ULONG>(word.start), static_cast<ULONG>(word.end - word.start));
        app_.voice.QueueEvent(SPEI_WORD_BOUNDARY);
        SendMessageW(app_.window(), WM_VOICE_EVENT, 0, 0);
    }
    ViewCapture Shown() const
    {
        RedrawWindow(app_.view().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return CaptureView(app_.view().Handle());
    }

    InProcessApp app_{SW_SHOWNORMAL};
    const COLORREF highlight_ = GetSysColor(COLOR_HIGHLIGHT);
};

TEST_F(Scripts, ReadWordByWordEveryOtherLetterStaysWhereItWas)
{
    for (const wchar_t* line : {Hebrew, Arabic}) {
        Read(line);
        std::vector<ViewCapture> shots;
        std::vector<RECT> boxes;
        for (const TextRange word : WordsOf(line)) {
            Speak(word);
            shots.push_back(Shown());
            boxes.push_back(BoxOf(shots.back(), highlight_));
            ASSERT_LT(boxes.back().left, boxes.back().right) << "word at " << word.start << " is not highlighted";
        }
        for (size_t i = 1; i < shots.size(); ++i) {
            EXPECT_LT(boxes[i].right, boxes[i - 1].left + 2) << "the words are read from right to left, word " << i;
            int moved = 0;
            int letters = 0;
            for (int y = 0; y < shots[i].height; ++y)
                for (int x = 0; x < shots[i].width; ++x) {
                    if (Inside(boxes[i], x, y) || Inside(boxes[i - 1], x, y))
                        continue;
                    letters += shots[i].At(x, y) != White;
                    moved += shots[i].At(x, y) != shots[i - 1].At(x, y);
                }
            EXPECT_GT(letters, 0) << "the other words are drawn, word " << i;
            EXPECT_EQ(moved, 0) << "pixels outside the spoken words changed between words " << i - 1 << " and " << i;
        }
    }
}

TEST_F(Scripts, AHighlightInsideAnArabicWordLeavesItsLettersJoined)
{
    Read(Arabic);
    const TextRange word = WordsOf(Arabic)[1];
    app_.view().Select(word.end, word.end);
    const ViewCapture plain = Shown();
    // Part of a word, as a voice may report it: the cut falls between joined letters.
    Speak({word.start + 2, word.end - 2});
    const ViewCapture cut = Shown();
    const RECT box = BoxOf(cut, highlight_, 0);
    ASSERT_LT(box.left, box.right) << "nothing is highlighted";
    int ink = 0;
    int differ = 0;
    for (int y = 0; y < plain.height; ++y)
        for (int x = 0; x < plain.width; ++x) {
            const bool inked = plain.At(x, y) != White;
            // The letters are drawn on the highlight inside it, on white outside.
            const bool inkedWhenCut = cut.At(x, y) != (Inside(box, x, y) ? highlight_ : White);
            ink += inked;
            differ += inked != inkedWhenCut;

        }
    ASSERT_GT(ink, 0);
    EXPECT_LE(differ * 50, ink) << differ << " of " << ink << " letter pixels changed shape under the highlight";
}

} // namespace
