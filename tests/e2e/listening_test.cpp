// A paragraph as it comes from a PDF, read by the real program with eSpeak NG: wrapped
// and hyphenated lines, a tracking link and citation marks. The voice hears whole
// sentences, Right steps by sentence, the highlight stays off what is not heard, and the
// exported sound is much shorter than with the listening filters off.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "espeak_reference.h"
#include "file_bytes.h"
#include <functional>
#include <vector>

namespace {

const std::wstring Paragraph =
    L"The study of reading aloud began with a simple question about how peo-\r\n"
    L"ple follow a text by ear, and its findings are kept at https://www.example.org/papers/2020/reading-"
    L"aloud/full-text.html?utm_source=newsletter&utm_medium=email&utm_campaign=spring_2020&ref=8f3a9c2e71\r\n"
    L"for anyone to read [12]. Listeners remember more when sentences are not\r\n"
    L"broken at every line end, as later work confirmed (Smith et al., 2020;\r\n"
    L"Lee 2019). The third sentence is short.";

struct Span {
    DWORD start;
    DWORD end;
};

// The view's text, its paragraph breaks as single CRs.
std::wstring ViewText(HWND window)
{
    std::wstring text = TextViewText(window);
    for (size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;)
        text.erase(at + 1, 1);
    return text;
}

Span Selection(HWND window)
{
    const LRESULT selection = SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0);
    return {LOWORD(selection), HIWORD(selection)};
}

class ListeningTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"300");
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"clipvoce_e2e_listening";
        CreateDirectoryW(folder_.c_str(), nullptr);
        EmptyTheClipboard();
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
        for (const wchar_t* name : {L"\\filtered.wav", L"\\unfiltered.wav"})
            DeleteFileW((folder_ + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // The settings of a user who has turned every listening filter off.
    void TurnFiltersOff()
    {
        std::string content = ReadBytes(SettingsFile());
        content += "[listening]\r\njoinlines=0\r\nhyphens=0\r\nlinks=0\r\ncitations=0\r\nmarkdown=0\r\nemoji=0\r\n\r\n";
        ASSERT_TRUE(WriteBytes(SettingsFile(), content));
    }

    // Copies the text into a new program and exports it; the WAV's length in ms. lastWord
    // tells when the view holds the copy.
    double ExportCopy(const std::wstring& text, const wchar_t* lastWord, const wchar_t* name)
    {
        AppProcess app;
        HWND window = app.Window();
        EXPECT_NE(window, nullptr);
        if (!window)
            return 0;
        EXPECT_TRUE(SetClipboardText(text));
        EXPECT_TRUE(PumpUntil([&] { return ViewText(window).find(lastWord) != std::wstring::npos; }, 10000))
            << "the copy was not taken";
        return ExportWaveAndQuit(app, window, folder_, name);
    }

    double ExportParagraph(const wchar_t* name) { return ExportCopy(Paragraph, L"short.", name); }

    std::wstring folder_;
};

TEST_F(ListeningTest, APdfParagraphIsHeardSentenceBySentenceAndExportedShorter)
{
    WriteSettingsFile({{L"wavdir", folder_}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(Paragraph));
    ASSERT_TRUE(PumpUntil([&] { return ViewText(window).find(L"short.") != std::wstring::npos; }, 10000))
        << "the copy was not taken";
    // The view shows the prepared text; these stretches of it are not heard.
    const std::wstring view = ViewText(window);
    const auto at = [&](const wchar_t* part) { return static_cast<DWORD>(view.find(part)); };
    const std::vector<Span> skipped = {
        {at(L"example.org") + 11, at(L"ref=8f3a9c2e71") + 14},
        {at(L" [12]"), at(L" [12]") + 5},
        {at(L" (Smith"), at(L"2019)") + 5},
    };
    const DWORD secondLine = at(L"ple follow");
    const DWORD secondSentence = at(L"Listeners");
    const DWORD thirdSentence = at(L"The third");

    std::vector<Span> highlighted;
    const auto watch = [&](const std::function<bool(Span)>& until, DWORD timeoutMs) {
        return PumpUntil([&] {
            const Span now = Selection(window);
            if (now.end > now.start && (highlighted.empty() || highlighted.back().start != now.start))
                highlighted.push_back(now);
            return until(now);
        }, timeoutMs);
    };
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(watch([&](Span s) { return s.start >= at(L"simple"); }, 10000)) << "the first line was not read";

    // Right leaves the first sentence for the second, not for the next line.
    const size_t beforeRight = highlighted.size();
    PressKey(window, VK_RIGHT);
    ASSERT_TRUE(watch([&](Span s) { return s.start >= secondSentence; }, 3000))
        << "Right did not reach the second sentence at once";
    for (size_t i = beforeRight; i < highlighted.size(); ++i)
        EXPECT_FALSE(highlighted[i].start >= secondLine && highlighted[i].start < secondSentence)
            << "Right stepped to the next line: highlight at " << highlighted[i].start;
    PressKey(window, VK_RIGHT);
    ASSERT_TRUE(watch([&](Span s) { return s.start >= thirdSentence; }, 3000))
        << "Right did not reach the third sentence at once";
    PressKey(window, VK_LEFT);
    EXPECT_TRUE(watch([&](Span s) { return s.start >= secondSentence && s.start < thirdSentence; }, 3000))
        << "Left did not go back to the second sentence";
    ASSERT_TRUE(watch([&](Span) { return WindowText(window).rfind(L"Speech window - stopped", 0) == 0; }, 30000))
        << "the reading did not end";

    EXPECT_GT(highlighted.size(), 15u) << "the highlight did not follow the words";
    for (const Span& word : highlighted)
        for (const Span& gap : skipped)
            EXPECT_FALSE(word.start < gap.end && gap.start < word.end)
                << "the highlight [" << word.start << ", " << word.end << ") lies on text that is not heard ["
                << gap.start << ", " << gap.end << ")";
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);

    // The same paragraph exported with and without the filters.
    const double filtered = ExportParagraph(L"filtered");
    TurnFiltersOff();
    const double unfiltered = ExportParagraph(L"unfiltered");
    ASSERT_GT(unfiltered, 0.0);
    EXPECT_LE(filtered, 0.75 * unfiltered) << "filtered " << filtered << " ms, unfiltered " << unfiltered << " ms";
}

// A link that a PDF wrapped at the line's end is heard as the sentence a listener wants,
// not as its tracking parameters spelled out.
TEST_F(ListeningTest, ALinkWrappedAtTheLineEndIsHeardAsOneLink)
{
    WriteSettingsFile({{L"wavdir", folder_}});
    const double wrapped = ExportCopy(L"Read the report at https://www.example.com/reports/2024/annual-report-\r\n"
                                      L"final-version.pdf?utm_source=newsletter&utm_medium=email&utm_campaign=winter today [12].",
                                      L"today", L"filtered");
    const double cleaned = ExportCopy(L"Read the report at link, example.com today.", L"today", L"unfiltered");
    ASSERT_GT(cleaned, 0.0);
    EXPECT_LE(wrapped, 1.35 * cleaned) << "wrapped " << wrapped << " ms, cleaned " << cleaned << " ms";
}

} // namespace
