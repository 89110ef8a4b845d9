// The Options dialog of the real program, opened with its keys and used from outside.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>

#include "app_driver.h"
#include "resource.h"

namespace {

constexpr DWORD Patience = 20000;

HWND OpenWithKey(AppProcess& app, WORD key)
{
    HWND window = app.Window();
    if (!window)
        return nullptr;
    PressKey(window, key);
    HWND dialog = WaitForProcessWindow(app.Id(), L"#32770", L"Options", Patience);
    // It has its caption before it is shown; its controls are used once it is on screen.
    if (dialog && !PumpUntil([&] { return IsWindowVisible(dialog) != FALSE; }, Patience))
        return nullptr;
    return dialog;
}

// The page on show is the frame's only child dialog.
HWND PageOf(HWND dialog)
{
    return FindWindowExW(dialog, nullptr, L"#32770", nullptr);
}

class OptionsEndToEnd : public testing::Test {
protected:
    void SetUp() override { WriteSettingsFile(); }
};

TEST_F(OptionsEndToEnd, SpeechTabListsTheVoicesAndOkSavesTheChange)
{
    AppProcess app;
    HWND dialog = OpenWithKey(app, 'O');
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_OPTIONS_TABS, TCM_GETCURSEL, 0, 0), 0);
    HWND page = PageOf(dialog);
    ASSERT_NE(page, nullptr);
    // The stand-in's voices, the system's default chosen.
    EXPECT_EQ(SendDlgItemMessageW(page, IDC_VOICE_LIST, CB_GETCOUNT, 0, 0), 5);
    wchar_t chosen[64] = L"";
    SendDlgItemMessageW(page, IDC_VOICE_LIST, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(chosen));
    EXPECT_STREQ(chosen, L"eSpeak NG English");

    SendDlgItemMessageW(page, IDC_REPEAT, BM_CLICK, 0, 0);
    PressDialogButton(dialog, IDOK);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, Patience));
    // OK itself saves: the file has the change while the program still runs.
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"repeat"), L"1");
}

TEST_F(OptionsEndToEnd, HelpKeyOpensTheHelpTabAndEscapeCancels)
{
    AppProcess app;
    HWND dialog = OpenWithKey(app, 'H');
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_OPTIONS_TABS, TCM_GETCURSEL, 0, 0), 3);
    HWND text = GetDlgItem(PageOf(dialog), IDC_HELP_TEXT);
    ASSERT_NE(text, nullptr);
    EXPECT_GT(SendMessageW(text, WM_GETTEXTLENGTH, 0, 0), 1900);

    PressKey(dialog, VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, Patience));
    EXPECT_TRUE(app.Running());
    PressKey(app.Window(), 'Q', true);
    EXPECT_EQ(app.WaitExit(), 0);
}

// The border is applied on OK as well; the window must still end up hidden, framed or not.
TEST_F(OptionsEndToEnd, UntickingSpeechWindowAndOkHidesIt)
{
    for (const wchar_t* border : {L"1", L"0"}) {
        SCOPED_TRACE(border[0] == L'1' ? "with border" : "without border");
        WriteSettingsFile({{L"border", border}});
        AppProcess app;
        HWND dialog = OpenWithKey(app, 'O');
        ASSERT_NE(dialog, nullptr) << "the Options dialog did not open";
        HWND window = app.Window();
        ASSERT_TRUE(IsWindowVisible(window));
        SendDlgItemMessageW(PageOf(dialog), IDC_WINDOW, BM_CLICK, 0, 0);
        PressDialogButton(dialog, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, Patience)) << "OK did not close the dialog";
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"window"), L"0");
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(app.WaitExit(Patience), 0) << "the program did not end";
    }
}

} // namespace
