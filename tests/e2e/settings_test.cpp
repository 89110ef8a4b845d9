// The settings as a user meets them: clipvoce.exe is started, driven with its keys and
// ended, and what it left in the settings file and the Run key is read from outside.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "app_driver.h"
#include "file_bytes.h"

namespace {

constexpr wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t RunValueName[] = L"Clipvoce";
constexpr DWORD Patience = 20000;

std::wstring RejectedFile() { return SettingsFile() + L".rejected"; }

std::wstring RunValue()
{
    wchar_t data[1024] = L"";
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, RunKey, RunValueName, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<none>";
    return data;
}

void DeleteRunValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, RunValueName);
        RegCloseKey(key);
    }
}

bool Visible(HWND window) { return IsWindowVisible(window) != FALSE; }
bool Framed(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) != 0; }

// Started, shown and ready for keys.
HWND ShownWindow(AppProcess& app)
{
    HWND window = app.Window(Patience);
    if (!window || !PumpUntil([&] { return Visible(window); }, Patience))
        return nullptr;
    return window;
}

std::wstring SavedValue(const wchar_t* key)
{
    return IniValue(ReadFileUtf8(SettingsFile()), key);
}

class SettingsEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileW(RejectedFile().c_str());
        DeleteRunValue();
    }
    void TearDown() override
    {
        DeleteFileW(RejectedFile().c_str());
        DeleteRunValue();
    }
};

TEST_F(SettingsEndToEnd, ChangesMadeWhileRunningAreThereAfterRestart)
{
    WriteSettingsFile();
    {
        AppProcess app;
        HWND window = ShownWindow(app);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(Framed(window));
        RECT framed{};
        GetWindowRect(window, &framed);
        PressKey(window, 'B');
        ASSERT_TRUE(PumpUntil([&] { return !Framed(window); }, Patience)) << "B did not remove the frame";
        // The window is moved while hidden; once it is shown at its new size it goes on
        // taking the user's keys, with no click to give it the focus back.
        ASSERT_TRUE(PumpUntil([&] {
            RECT now{};
            GetWindowRect(window, &now);
            return now.bottom - now.top < framed.bottom - framed.top && Visible(window);
        }, Patience)) << "the borderless window was not shown at its new size";
        ASSERT_TRUE(PumpUntil([&] { return HasKeyboardFocus(window); }, Patience))
            << "after B the window does not have the keyboard focus";
        ASSERT_TRUE(TypeOnDesktop(L"ctrl+q")) << "xdotool did not start";
        ASSERT_EQ(app.WaitExit(Patience), 0) << "Ctrl+Q typed after B did not end the program";
    }
    EXPECT_EQ(SavedValue(L"border"), L"0");
    // Saved without its frame, the window is stored at the height it has with one.
    EXPECT_EQ(SavedValue(L"height"), L"150");

    {
        AppProcess app;
        HWND window = ShownWindow(app);
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(Framed(window));
        PressKey(window, 'W');
        ASSERT_TRUE(PumpUntil([&] { return !Visible(window); }, Patience));
        // Hidden, the window no longer takes keys; closing it ends the program the same way.
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(app.WaitExit(Patience), 0);
    }
    EXPECT_EQ(SavedValue(L"window"), L"0");

    // Started hidden: a W handled by the running program shows the window only if the
    // setting hid it (and it was not merely not shown yet).
    AppProcess app;
    HWND window = app.Window(Patience);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_KEYDOWN, 'W', 1);
    PostMessageW(window, WM_KEYUP, 'W', 0xC0000001);
    ASSERT_TRUE(PumpUntil([&] { return Visible(window); }, Patience));
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(Patience), 0);
    EXPECT_EQ(SavedValue(L"window"), L"1");
}

TEST_F(SettingsEndToEnd, RejectedFileIsKeptBesideTheFreshOne)
{
    // An editor indented a line with a tab: the program cannot read past it.
    const std::wstring edited = L"[window]\r\nx=100\r\n\twidth=640\r\n[settings]\r\nrate=5\r\n";
    WriteSettingsFile();
    {
        HANDLE file = CreateFileW(SettingsFile().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::string bytes(edited.begin(), edited.end());
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    AppProcess app;
    HWND window = app.Window(Patience);
    ASSERT_NE(window, nullptr);
    // Both files are in place before the window is created.
    EXPECT_EQ(ReadFileUtf8(RejectedFile()), edited);
    EXPECT_EQ(SavedValue(L"width"), L"300");
    EXPECT_EQ(SavedValue(L"rate"), L"-1");
    // A first run: the About box opens by itself and must be closed before keys count.
    HWND about = WaitForProcessWindow(app.Id(), L"#32770", nullptr, Patience);
    ASSERT_NE(about, nullptr);
    PressDialogButton(about, IDCANCEL);   // the About box's OK button is the cancel id
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(about); }, Patience));
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(Patience), 0);
}

// A backup or sync client holds the file, not sharing it, while the program starts.
TEST_F(SettingsEndToEnd, FileHeldAtStartUpIsNeverOverwritten)
{
    WriteSettingsFile({{L"rate", L"5"}, {L"x", L"100"}});
    const std::wstring mine = ReadFileUtf8(SettingsFile());
    HANDLE held = CreateFileW(SettingsFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    AppProcess app;
    HWND warning = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", Patience);
    CloseHandle(held);
    ASSERT_NE(warning, nullptr) << "no warning that the settings could not be read";
    EXPECT_NE(MessageBoxText(warning).find(SettingsFile()), std::wstring::npos) << MessageBoxText(warning);
    PressDialogButton(warning, IDOK);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(warning); }, Patience)) << "the warning did not close";

    HWND window = ShownWindow(app);
    ASSERT_NE(window, nullptr) << "the Speech window was not shown";
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(Patience), 0) << "the program did not quit";
    EXPECT_EQ(ReadFileUtf8(SettingsFile()), mine);
    EXPECT_FALSE(FileExists(RejectedFile()));
}

// Another program takes the file while Clipvoce runs: the last save fails, and the user
// learns so as the program ends instead of finding the changes gone at the next start.
TEST_F(SettingsEndToEnd, SaveThatFailsAtTheEndIsToldOnce)
{
    WriteSettingsFile();
    const std::wstring mine = ReadFileUtf8(SettingsFile());
    AppProcess app;
    HWND window = ShownWindow(app);
    ASSERT_NE(window, nullptr) << "the Speech window was not shown";
    HANDLE held = CreateFileW(SettingsFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    PressKey(window, 'Q', true);
    HWND warning = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", Patience);
    ASSERT_NE(warning, nullptr) << "no word that the settings were not saved";
    EXPECT_NE(MessageBoxText(warning).find(SettingsFile()), std::wstring::npos) << MessageBoxText(warning);
    EXPECT_NE(MessageBoxText(warning).find(L"could not be saved"), std::wstring::npos) << MessageBoxText(warning);
    PressDialogButton(warning, IDOK);
    EXPECT_EQ(app.WaitExit(Patience), 0) << "the program did not end after the warning";
    CloseHandle(held);
    EXPECT_EQ(ReadFileUtf8(SettingsFile()), mine);
}

// A copy of the program in a folder whose name has a blank, removed again afterwards.
struct CopiedProgram {
    CopiedProgram()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"Clip voce copy";
        CreateDirectoryW(folder.c_str(), nullptr);
        path = folder + L"\\clipvoce.exe";
        copied = CopyFileW(ProgramPath().c_str(), path.c_str(), FALSE) != FALSE;
    }
    ~CopiedProgram()
    {
        DeleteFileW(path.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring folder, path;
    bool copied = false;
};

TEST_F(SettingsEndToEnd, RunEntryFollowsStartSetting)
{
    ASSERT_EQ(ProgramPath().find(L' '), std::wstring::npos);
    WriteSettingsFile({{L"start", L"1"}});
    {
        AppProcess app;
        HWND window = ShownWindow(app);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return RunValue() == ProgramPath(); }, Patience)) << RunValue();
        PressKey(window, 'Q', true);
        ASSERT_EQ(app.WaitExit(Patience), 0);
    }

    // At logon an unquoted path with a blank could start some other program.
    CopiedProgram copy;
    ASSERT_TRUE(copy.copied);
    {
        AppProcess app(L"", copy.path);
        HWND window = ShownWindow(app);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return RunValue() == L"\"" + copy.path + L"\""; }, Patience)) << RunValue();
        PressKey(window, 'Q', true);
        ASSERT_EQ(app.WaitExit(Patience), 0);
    }

    WriteSettingsFile({{L"start", L"0"}});
    AppProcess app;
    HWND window = ShownWindow(app);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return RunValue() == L"<none>"; }, Patience)) << RunValue();
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(Patience), 0);
}

} // namespace
