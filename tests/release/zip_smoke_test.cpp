// A download zip as a user meets it: clipvoce.exe unpacked into a folder whose name
// has a blank, with the voice and encoder library of its own architecture. The
// program and the library come from the environment (see tests/CMakeLists.txt).
#include <gtest/gtest.h>
#include "app_driver.h"
#include "file_bytes.h"
#include <cstdint>

namespace {

std::wstring FromEnvironment(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? value : L"";
}

// Paths and captions here are ASCII; enough for a failure message.
std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool CaptionStartsWith(HWND window, const std::wstring& start)
{
    return WindowText(window).rfind(start, 0) == 0;
}

// The first frame header of an MPEG-1 Layer III file at 48 kHz, as exported.
bool LooksLikeExportedMp3(const std::string& bytes)
{
    if (bytes.size() < 4096)
        return false;
    const auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    return at(0) == 0xFF && (at(1) & 0xFE) == 0xFA && (at(2) & 0x0C) == 0x04;
}

TEST(ReleaseZip, ReadsAloudExportsMp3AndQuitsWithItsSettingsSaved)
{
    const std::wstring program = FromEnvironment(L"CLIPVOCE_SMOKE_PROGRAM");
    const std::wstring library = FromEnvironment(L"CLIPVOCE_SMOKE_LAME");
    ASSERT_TRUE(FileExists(program)) << "no unpacked clipvoce.exe at \"" << Narrow(program) << "\"";
    ASSERT_TRUE(FileExists(library)) << "no lame_enc.dll of this architecture at \"" << Narrow(library) << "\"";

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"clipvoce smoke export";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring mp3 = folder + L"\\read aloud.mp3";
    DeleteFileW(mp3.c_str());
    WriteSettingsFile({{L"wav", L"0"}, {L"lamedir", library}, {L"mp3dir", folder}});
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"600");
    EmptyTheClipboard();

    AppProcess app(L"", program);
    ASSERT_TRUE(app.Started()) << "clipvoce.exe from the zip did not start";
    HWND window = app.Window();
    ASSERT_NE(window, nullptr) << "the Speech window did not appear";

    ASSERT_TRUE(SetClipboardText(L"A copied text, read aloud by the program from the zip."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).size() > 10; }, 10000)) << "the copied text was not shown";
    PressKey(window, VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return CaptionStartsWith(window, L"Speech window - playing"); }, 15000))
        << "the copied text was not read aloud; the caption is still \""
        << Narrow(WindowText(window)) << "\"";
    ASSERT_TRUE(PumpUntil([&] { return CaptionStartsWith(window, L"Speech window - stopped"); }, 20000))
        << "reading did not come to its end (no end of speech from a voice of this architecture?); the caption is \"" << Narrow(WindowText(window)) << "\"";

    PressKey(window, 'E');
    HWND save = WaitForProcessWindow(app.Id(), L"#32770", L"Save As", 10000);
    ASSERT_NE(save, nullptr) << "E did not open the export's Save As dialog (is lame_enc.dll loadable?)";
    HWND name = GetDlgItem(save, 0x47c);
    SetWindowTextW(name ? name : GetDlgItem(save, 0x480), L"read aloud");
    PressDialogButton(save, IDOK);
    EXPECT_TRUE(PumpUntil([&] {
        return LooksLikeExportedMp3(ReadBytes(mp3)) && !WaitForProcessWindow(app.Id(), L"#32770", L"Saving...", 0);
    }, 30000)) << "no MP3 file was written by the encoder library";

    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0) << "Ctrl+Q did not end the program";
    const std::wstring settings = ReadFileUtf8(SettingsFile());
    EXPECT_EQ(IniValue(settings, L"lamedir"), library);
    EXPECT_EQ(IniValue(settings, L"mp3dir"), folder + L"\\");
    EXPECT_EQ(IniValue(settings, L"wav"), L"0");
    EXPECT_FALSE(IniValue(settings, L"width").empty()) << "the window's size was not saved";
    DeleteFileW(mp3.c_str());
    RemoveDirectoryW(folder.c_str());
}

} // namespace
