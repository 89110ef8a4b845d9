// Export from the real program: the E key asks for a file name and the voice's
// rendering lands in that file; the folder setting is saved with its backslash. The
// wait dialog is there to cancel a long rendering, and an export leaves the reading as
// it was.
#include <gtest/gtest.h>
#include "app_driver.h"
#include <commctrl.h>
#include "file_bytes.h"
#include "resource.h"

namespace {

TEST(ExportE2E, EKeyExportsTheTextToTheChosenWavFile)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"1200");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"clipvoce_e2e_export";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\read.wav";
    DeleteFileW(file.c_str());
    WriteSettingsFile({{L"wavdir", folder}});
    EmptyTheClipboard();

    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Exported by the program itself."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > 10; }, 10000));

    PressKey(window, 'E');
    HWND save = WaitForProcessWindow(app.Id(), L"#32770", L"Save As", 10000);
    ASSERT_NE(save, nullptr);
    HWND name = GetDlgItem(save, 0x47c);
    SetWindowTextW(name ? name : GetDlgItem(save, 0x480), L"read");
    PressDialogButton(save, IDOK);

    // Complete once the wait dialog has gone and the voice has let go of the file.
    EXPECT_TRUE(PumpUntil([&] {
        const std::string bytes = ReadBytes(file);
        return bytes.size() > 44 && !bytes.compare(0, 4, "RIFF") && !bytes.compare(8, 4, "WAVE")
            && !WaitForProcessWindow(app.Id(), L"#32770", L"Saving...", 0);
    }, 10000));

    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"wavdir"), folder + L"\\");
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

// A folder of its own, emptied at the end, and a program reading from the clipboard.
class ExportWhileReading : public testing::Test {
protected:
    void SetUp() override
    {
        folder = TempFolder(L"clipvoce_e2e_export_reading");
        WriteSettingsFile({{L"wavdir", folder}});
        EmptyTheClipboard();
    }

    void TearDown() override
    {
        for (const wchar_t* name : {L"\\long.wav", L"\\paused.wav", L"\\beside.mp3"})
            DeleteFileW((folder + name).c_str());
        RemoveDirectoryW(folder.c_str());
    }

    static bool InState(HWND window, const std::wstring& state)
    {
        return PumpUntil([&] { return WindowText(window).rfind(L"Speech window - " + state, 0) == 0; }, 10000);
    }

    std::wstring folder;
};

TEST_F(ExportWhileReading, CancelEndsALongRenderingThroughTheVisibleWaitDialog)
{
    // Slow words make a rendering of hundreds of megabytes: it is still running when
    // Cancel comes, however busy the machine.
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"20");
    std::wstring text;
    for (int i = 0; i < 600; ++i)
        text += L"word" + std::to_wstring(i) + (i % 12 == 11 ? L". " : L" ");
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > text.size() / 2; }, 10000)) << "text not taken";
    ASSERT_TRUE(ExportAs(app.Id(), window, L"long")) << "no save dialog";

    HWND wait = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        wait = WaitForProcessWindow(app.Id(), L"#32770", L"Saving...", 0);
        return wait && IsWindowVisible(wait);
    }, 10000)) << "the wait dialog did not show while rendering";
    const std::wstring file = folder + L"\\long.wav";
    EXPECT_TRUE(PumpUntil([&] { return FileExists(file); }, 10000)) << "rendering did not start";
    PressDialogButton(wait, IDCANCEL);

    HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 20000);
    ASSERT_NE(box, nullptr) << "cancel was not reported";
    EXPECT_EQ(MessageBoxText(box), L"File save failed.");
    EXPECT_FALSE(FileExists(file)) << "the cancelled file was left behind";
    EXPECT_FALSE(IsWindow(wait)) << "the wait dialog stayed";
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowEnabled(window) != FALSE; }, 10000)) << "the Speech window stayed disabled";

    app.Kill();
}

TEST_F(ExportWhileReading, ExportWhilePausedFinishesAndTheReadingStaysPaused)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"60");
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"One two three four five six seven eight nine ten eleven twelve."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > 10; }, 10000)) << "text not taken";
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(InState(window, L"playing")) << "reading did not start";
    PressKey(window, 'P');
    ASSERT_TRUE(InState(window, L"paused")) << "reading did not pause";
    const std::wstring pausedCaption = WindowText(window);

    ASSERT_TRUE(ExportAs(app.Id(), window, L"paused")) << "no save dialog";
    const std::wstring file = folder + L"\\paused.wav";
    EXPECT_TRUE(PumpUntil([&] {
        const std::string bytes = ReadBytes(file);
        return bytes.size() > 44 && !bytes.compare(0, 4, "RIFF")
            && !WaitForProcessWindow(app.Id(), L"#32770", L"Saving...", 0);
    }, 20000)) << "the export did not finish while the reading was paused";
    EXPECT_EQ(WindowText(window), pausedCaption) << "the export changed the reading";
    EXPECT_TRUE(WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 0) == nullptr) << "the export failed";

    PressKey(window, 'S');
    EXPECT_TRUE(InState(window, L"stopped"));
    app.Kill();
}

// The saved library path names a file that has gone: the one beside the program is
// shown, and used, and the saved path is left as the user set it.
TEST_F(ExportWhileReading, LibraryBesideTheProgramIsUsedWhenTheSavedOneIsMissing)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"1200");
    const std::wstring saved = L"C:\\gone\\lame_enc.dll";
    WriteSettingsFile({{L"wav", L"0"}, {L"lamedir", saved}, {L"mp3dir", folder}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    PressKey(window, 'O');
    HWND options = WaitForProcessWindow(app.Id(), L"#32770", L"Options", 10000);
    ASSERT_TRUE(options && PumpUntil([&] { return IsWindowVisible(options) != FALSE; }, 10000));
    SendDlgItemMessageW(options, IDC_OPTIONS_TABS, TCM_SETCURFOCUS, 2, 0);   // Voice Export
    HWND inUse = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        return (inUse = GetDlgItem(FindWindowExW(options, nullptr, L"#32770", nullptr), IDC_EXPORT_LAME_IN_USE));
    }, 10000)) << "the Voice Export tab did not open";
    EXPECT_EQ(WindowText(inUse), L"in use: " + BinFolder() + L"\\lame_enc.dll");
    PressDialogButton(options, IDCANCEL);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(options); }, 10000));

    ASSERT_TRUE(SetClipboardText(L"Encoded by the library beside the program."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > 10; }, 10000));
    ASSERT_TRUE(ExportAs(app.Id(), window, L"beside")) << "no save dialog: the library was not found";
    EXPECT_TRUE(PumpUntil([&] {
        const std::string bytes = ReadBytes(folder + L"\\beside.mp3");
        return bytes.size() > 400 && static_cast<unsigned char>(bytes[0]) == 0xFF
            && !WaitForProcessWindow(app.Id(), L"#32770", L"Saving...", 0);
    }, 20000)) << "no MP3 file";
    EXPECT_EQ(WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 0), nullptr) << "the export failed";
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"lamedir"), saved);
}

} // namespace
