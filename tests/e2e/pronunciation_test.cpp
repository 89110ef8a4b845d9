// The real program with eSpeak NG and a pronunciation dictionary that says "Clipvoce" as
// "clip voice": the voice is given both words, the highlight covers "Clipvoce" for each,
// the view keeps the text as copied, and the export says the longer form.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "espeak_reference.h"
#include "file_bytes.h"
#include <string>
#include <vector>

namespace {

// The name three times, so that the longer form says clearly in the exported sound.
const std::wstring Copied = L"Clipvoce reads aloud what you copy. Clipvoce shows it, and Clipvoce exports it.";

struct Span {
    DWORD start;
    DWORD end;
    bool operator==(const Span&) const = default;
};

Span Selection(HWND window)
{
    const LRESULT selection = SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0);
    return {LOWORD(selection), HIWORD(selection)};
}

// The words of the voice's log, without the voice that spoke each after its tab.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        lines.push_back(line.substr(0, line.find('\t')));
    }
    return lines;
}

class PronunciationTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"clipvoce_e2e_pronunciation";
        CreateDirectoryW(folder_.c_str(), nullptr);
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"300");
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WORD_LOG", WordLog().c_str());
        EmptyTheClipboard();
        WriteSettingsFile({{L"wavdir", folder_}});
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WORD_LOG", nullptr);
        DeleteFileW(Dictionary().c_str());
        for (const wchar_t* name : {L"\\with.wav", L"\\without.wav", L"\\words.txt"})
            DeleteFileW((folder_ + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring WordLog() const { return folder_ + L"\\words.txt"; }
    static std::wstring Dictionary() { return SettingsFolder() + L"\\clipvoce.dic"; }

    // A new program takes the copy; its window, or null (the failure is reported).
    HWND StartWithCopy(AppProcess& app)
    {
        HWND window = app.Window();
        EXPECT_NE(window, nullptr) << "the program did not start";
        if (!window)
            return nullptr;
        EXPECT_TRUE(SetClipboardText(Copied));
        const bool taken = PumpUntil([&] { return TextViewText(window).find(L"exports it.") != std::wstring::npos; }, 10000);
        EXPECT_TRUE(taken) << "the copy was not taken";
        return taken ? window : nullptr;
    }

    // The copy exported to a WAV file of that name; its length in ms.
    double ExportCopy(const wchar_t* name)
    {
        AppProcess app;
        HWND window = StartWithCopy(app);
        if (!window)
            return 0;
        return ExportWaveAndQuit(app, window, folder_, name);
    }

    std::wstring folder_;
};

TEST_F(PronunciationTest, TheVoiceSaysTheReplacementWhileTheHighlightCoversTheWordAsWritten)
{
    ASSERT_TRUE(WriteBytes(Dictionary(), "# said as two words\r\nClipvoce\tclip voice\t0\t0\r\n"));
    {
        AppProcess app;
        HWND window = StartWithCopy(app);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(TextViewText(window).rfind(Copied, 0), 0u) << "the view does not show the text as copied";

        // The words are heard in order: every highlight before the one on "reads" is shown
        // while "clip" or "voice" is heard.
        std::vector<Span> whileReplaced;
        bool passedIt = false;
        PressKey(window, VK_SPACE);
        ASSERT_TRUE(PumpUntil([&] {
            const Span highlight = Selection(window);
            const std::vector<std::string> words = Lines(ReadSharedBytes(WordLog()));
            passedIt = passedIt || highlight.start >= 9;
            if (!passedIt && highlight.end > highlight.start)
                whileReplaced.push_back(highlight);
            return words.size() >= 3 && WindowText(window).rfind(L"Speech window - stopped", 0) == 0;
        }, 30000)) << "the reading did not end";
        const std::vector<std::string> words = Lines(ReadSharedBytes(WordLog()));
        ASSERT_GE(words.size(), 3u);
        EXPECT_EQ(words[0], "clip");
        EXPECT_EQ(words[1], "voice");
        EXPECT_EQ(words[2], "reads");
        ASSERT_FALSE(whileReplaced.empty()) << "no highlight was seen while the replacement was spoken";
        for (const Span& highlight : whileReplaced)
            EXPECT_EQ(highlight, (Span{0, 8})) << "highlight [" << highlight.start << ", " << highlight.end << ")";
        EXPECT_EQ(TextViewText(window).rfind(Copied, 0), 0u) << "reading changed the view";
        PressKey(window, 'Q', true);
        ASSERT_EQ(app.WaitExit(), 0);
    }

    const double with = ExportCopy(L"with");
    DeleteFileW(Dictionary().c_str());
    const double without = ExportCopy(L"without");
    ASSERT_GT(without, 0.0);
    EXPECT_GT(with, without) << "with the entry " << with << " ms, without " << without << " ms";
}

} // namespace
