// The reading history from the real program: a restart shows the last text where its
// reading stopped, the History menu takes an earlier text back at its place, a secret
// copy is never kept, nothing copied is in the file in the clear, and a damaged file is
// set aside for a new one.
#include <windows.h>
#include <gtest/gtest.h>
#include "app_driver.h"
#include "file_bytes.h"
#include "resource.h"

namespace {

const std::wstring First = L"Every morning the baker opened the shop before the sun came up over the hills.";
const std::wstring Second = L"The smell of fresh bread drew the neighbours out of their houses one by one.";
const std::wstring Third = L"By seven the shelves were empty and the baker began to plan the next day.";
const std::wstring Fourth = L"In the afternoon she walked along the river and watched the boats go by.";
const std::wstring Story = First + L" " + Second + L" " + Third + L" " + Fourth;

std::wstring HistoryFile()
{
    return SettingsFolder() + L"\\history.dat";
}

int SelectionStart(HWND window)
{
    return LOWORD(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
}

bool InState(HWND window, const std::wstring& state)
{
    return PumpUntil([&] {
        return CaptionWithoutLanguage(WindowText(window)).rfind(L"Speech window - " + state, 0) == 0;
    }, 10000);
}

// The view shows a copy with a blank after it.
bool Shows(HWND window, const std::wstring& text)
{
    return TextViewText(window) == text + L" ";
}

// Reads until the reading is in sentence, pauses there and gives the word reached.
int ReadIntoAndPause(HWND window, const std::wstring& text, const std::wstring& sentence)
{
    const int start = static_cast<int>(text.find(sentence));
    PressKey(window, VK_SPACE);
    EXPECT_TRUE(PumpUntil([&] { return SelectionStart(window) > start + 10; }, 30000)) << "the reading did not get there";
    PressKey(window, 'P');
    EXPECT_TRUE(InState(window, L"paused")) << "the reading did not pause";
    return SelectionStart(window);
}

// The files of the settings folder, each whole.
std::string SettingsFolderBytes()
{
    std::string all;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((SettingsFolder() + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return all;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            all += ReadBytes(SettingsFolder() + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return all;
}

bool Holds(const std::string& bytes, const std::wstring& marker)
{
    const std::string utf16(reinterpret_cast<const char*>(marker.data()), marker.size() * sizeof(wchar_t));
    return bytes.find(std::string(marker.begin(), marker.end())) != std::string::npos
        || bytes.find(utf16) != std::string::npos;
}

class HistoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"240");
        WriteSettingsFile();
        EmptyTheClipboard();
        DeleteSetAside();
        DeleteFileW(HistoryFile().c_str());
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", nullptr);
        DeleteSetAside();
        DeleteFileW(HistoryFile().c_str());
        EmptyTheClipboard();
    }

    static std::vector<std::wstring> SetAside()
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((HistoryFile() + L".*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do
            names.push_back(found.cFileName);
        while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }

    static void DeleteSetAside()
    {
        for (const std::wstring& name : SetAside())
            DeleteFileW((SettingsFolder() + L"\\" + name).c_str());
    }
};

TEST_F(HistoryTest, ARestartShowsTheLastTextAtTheSentenceWhereItsReadingStopped)
{
    int reached = 0;
    {
        AppProcess app;
        HWND window = app.Window();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(SetClipboardText(Story));
        ASSERT_TRUE(PumpUntil([&] { return Shows(window, Story); }, 10000)) << "the copy was not taken";
        reached = ReadIntoAndPause(window, Story, Third);
        PressKey(window, 'Q', true);
        ASSERT_EQ(app.WaitExit(), 0);
    }
    const int third = static_cast<int>(Story.find(Third));
    ASSERT_GE(reached, third);
    ASSERT_LT(reached, static_cast<int>(Story.find(Fourth))) << "paused past the third sentence";

    // The clipboard still holds the text: it stays where its reading was.
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return Shows(window, Story) && SelectionStart(window) == third; }, 10000))
        << "not shown at the third sentence; the caret is at " << SelectionStart(window);
    EXPECT_TRUE(InState(window, L"stopped"));
    PressKey(window, VK_SPACE);
    EXPECT_TRUE(InState(window, L"playing"));
    EXPECT_TRUE(PumpUntil([&] {
        const DWORD selection = static_cast<DWORD>(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
        return LOWORD(selection) == third && HIWORD(selection) > third;
    }, 10000)) << "Space did not go on from the third sentence";
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(), 0);
}

TEST_F(HistoryTest, TheHistoryMenuTakesBackAnEarlierTextAtItsPlaceAndKeepsNoSecretNorAnythingInTheClear)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(Story));
    ASSERT_TRUE(PumpUntil([&] { return Shows(window, Story); }, 10000)) << "the story was not taken";
    ReadIntoAndPause(window, Story, Second);
    PressKey(window, 'S');
    ASSERT_TRUE(InState(window, L"stopped"));
    const std::wstring plain = L"Plainmarker seven one seven is kept, but never in the clear.";
    ASSERT_TRUE(SetClipboardText(plain));
    ASSERT_TRUE(PumpUntil([&] { return Shows(window, plain); }, 10000)) << "the second copy was not taken";
    const std::wstring secret = L"Secretmarker nine nine nine";
    ASSERT_TRUE(SetClipboardText(secret, L"ExcludeClipboardContentFromMonitorProcessing"));
    ASSERT_FALSE(PumpUntil([&] { return !Shows(window, plain); }, 1000)) << "the secret copy was shown";

    // The second newest entry is the story, where its reading stopped.
    PostMessageW(window, WM_COMMAND, CMD_HISTORY_FIRST + 1, 0);
    const int second = static_cast<int>(Story.find(Second));
    EXPECT_TRUE(PumpUntil([&] { return Shows(window, Story) && SelectionStart(window) == second; }, 10000))
        << "the story was not taken back at its second sentence";
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);

    const std::string kept = SettingsFolderBytes();
    EXPECT_TRUE(FileExists(HistoryFile()));
    EXPECT_FALSE(Holds(kept, L"Secretmarker")) << "the secret copy was kept";
    EXPECT_FALSE(Holds(kept, L"Plainmarker")) << "a copy is in the history file in the clear";
}

TEST_F(HistoryTest, ADamagedHistoryIsSetAsideAndANewOneBegun)
{
    ASSERT_TRUE(WriteBytes(HistoryFile(), std::string(300, '\x5a')));
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return WindowText(window).find(L"set aside") != std::wstring::npos; }, 10000))
        << "the user was not told";
    ASSERT_EQ(SetAside().size(), 1u) << "the damaged file was not set aside";
    const std::wstring text = L"A new history begins with this copy.";
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return Shows(window, text); }, 10000));
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    const std::string written = ReadBytes(HistoryFile());
    EXPECT_NE(written, std::string(300, '\x5a'));
    EXPECT_GT(written.size(), 16u);
}

} // namespace
