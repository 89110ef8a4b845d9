// Text preparation: full stops before bare line breaks, slashes to blanks, and the
// sentence count, including the in-place algorithm the single pass must agree with.
#include <gtest/gtest.h>
#include <random>
#include "in_process_app.h"
#include "view/normalise.h"
#include "view/sentences.h"
#include "view/text_view.h"

namespace {

// The in-place form: insert each full stop and shift the rest of the buffer.
std::wstring NormaliseInPlace(const std::wstring& text)
{
    std::vector<wchar_t> buffer(2 * text.size() + 1, L'\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    for (size_t i = 0; buffer[i] != L'\0'; ++i) {
        wchar_t& c = buffer[i];
        if (c == L'/' || c == L'\\') {
            c = L' ';
        } else if (c == L'\r' && i > 0) {
            const wchar_t before = buffer[i - 1];
            if (before != L'!' && before != L'?' && before != L'.' && before != L'\r') {
                size_t end = i;
                while (buffer[end] != L'\0')
                    ++end;
                for (size_t j = end + 1; j > i; --j)
                    buffer[j] = buffer[j - 1];
                buffer[i] = L'.';
                ++i;
            }
        }
    }
    return std::wstring(buffer.data());
}

TEST(Normalise, Cases)
{
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L"Hello\rWorld", L"Hello.\rWorld"},
        {L"Done!\rReally?\rEnd.\rNext", L"Done!\rReally?\rEnd.\rNext"},
        {L"a\r\rb", L"a.\r\rb"},
        {L"\rstarts with a break", L"\rstarts with a break"},
        {L"a/b\\c", L"a b c"},
        {L"path/\rnext", L"path .\rnext"},
        {L"tab\there\nlf", L"tab\there\nlf"},
        {L"", L""},
        {L"\r\r\r", L"\r\r\r"},
        {L"x\r", L"x.\r"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormaliseText(std::wstring(c.in)), c.out) << "input length " << wcslen(c.in);
}

TEST(Normalise, SinglePassEqualsInPlaceInsertion)
{
    std::mt19937 random(12345);
    const wchar_t alphabet[] = {L'a', L' ', L'\r', L'\r', L'.', L'!', L'?', L'/', L'\\', L'\n', L'\x00e9', L'\x4e2d'};
    for (int round = 0; round < 500; ++round) {
        std::wstring text(random() % 200, L' ');
        for (wchar_t& c : text)
            c = alphabet[random() % (sizeof alphabet / sizeof alphabet[0])];
        ASSERT_EQ(NormaliseText(text), NormaliseInPlace(text)) << "round " << round;
    }
}

// Appended text is prepared on its own, continuing from the character before it.
TEST(Normalise, TwoPartsEqualTheWhole)
{
    std::mt19937 random(54321);
    const wchar_t alphabet[] = {L'a', L' ', L'\r', L'\r', L'.', L'!', L'/', L'\n'};
    for (int round = 0; round < 500; ++round) {
        std::wstring text(1 + random() % 100, L' ');
        for (wchar_t& c : text)
            c = alphabet[random() % (sizeof alphabet / sizeof alphabet[0])];
        const size_t split = 1 + random() % text.size();
        const std::wstring head = NormaliseText(text.substr(0, split));
        std::wstring tail(2 * (text.size() - split) + 1, L'\0');
        tail.resize(NormaliseText(text.c_str() + split, tail.data(), head.back()));
        ASSERT_EQ(head + tail, NormaliseText(text)) << "round " << round;
    }
}

TEST(SentenceStart, IsAfterTheLastSentenceEndBeforeThePosition)
{
    const struct {
        const wchar_t* text;
        int index;
        int start;
    } cases[] = {
        {L"One. Two three", 9, 5},
        {L"Pi is 3.14 or so", 14, 0},
        {L"Wait... what now", 13, 8},
        {L"End.\r\rNext", 6, 6},
        {L"Why?\rBecause", 10, 5},
        {L"No end at all", 7, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SentenceStartBefore(c.text, c.index), c.start) << "index " << c.index << " of length " << wcslen(c.text);
}

TEST(SentenceCount, Cases)
{
    EXPECT_EQ(CountSentences(L"One. Two! Three?"), 2);
    EXPECT_EQ(CountSentences(L"One. Two! Three? "), 3);
    EXPECT_EQ(CountSentences(L"Line.\rNext"), 1);
    EXPECT_EQ(CountSentences(L"No terminator at all"), 0);
    EXPECT_EQ(CountSentences(L"Dots... and more"), 1);
    EXPECT_EQ(CountSentences(L"a.b.c"), 0);
    EXPECT_EQ(CountSentences(L""), 0);
    EXPECT_EQ(CountSentences((std::wstring(120, L' ') + L". ").c_str()), 3);
    std::wstring words;
    for (int i = 0; i < 120; ++i)
        words += L"word ";
    EXPECT_EQ(CountSentences(words.c_str()), 0);
}

TEST(SentenceCount, TerminatorsCountWhateverFollows)
{
    EXPECT_EQ(CountTerminators(L"a.b!c?d", 7), 3);
    EXPECT_EQ(CountTerminators(L"a.b!c?d", 3), 1);
    EXPECT_EQ(CountTerminators(L"...", 2), 2);
}

TEST(Preparation, RewritesTheViewAndCountsThePreviousText)
{
    InProcessApp app;
    app.view().SetText(L"One. Two. \rThree");
    app.reader().PrepareText();
    EXPECT_EQ(app.reader().Text().Text(), L"One. Two. .\rThree");
    EXPECT_EQ(app.view().GetText(), app.reader().Text().Text());
    const int countBefore = app.reader().Text().PreviousSentenceCount();

    app.view().SetText(L"Another/text");
    app.reader().PrepareText();
    // The count describes the text prepared before, not the new one.
    EXPECT_EQ(app.reader().Text().PreviousSentenceCount(), CountSentences(L"One. Two. .\rThree"));
    EXPECT_NE(app.reader().Text().PreviousSentenceCount(), countBefore);
    EXPECT_EQ(app.reader().Text().Text(), L"Another text");
    EXPECT_EQ(app.view().SelectionEnd(), 0);
}

TEST(Preparation, LeavesTheViewAtTheTopWhetherOrNotTheTextChanged)
{
    InProcessApp app;
    for (const wchar_t* line : {L"Line.\r", L"Line\r"}) {
        std::wstring text;
        for (int i = 0; i < 200; ++i)
            text += line;
        app.view().SetText(text.c_str());
        app.view().ScrollLines(app.view().LineCount());
        ASSERT_GT(app.view().FirstVisibleLine(), 0);
        app.reader().PrepareText();
        EXPECT_EQ(app.view().FirstVisibleLine(), 0) << (text == app.reader().Text().Text() ? "unchanged text" : "changed text");
    }
}

} // namespace
