// Export from the real program: the E key asks for a file name and the voice's
// rendering lands in that file; the folder setting is saved with its backslash.
#include <gtest/gtest.h>
#include "app_driver.h"
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

} // namespace
