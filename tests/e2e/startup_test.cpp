// Start-up, single instance, restart hand-over and the window-level commands, driven
// from outside like a user.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "resource.h"
#include "settings/program_info.h"

namespace {

std::wstring LogFile()
{
    return SettingsFolder() + L"\\clipvoce.log";
}

class StartupTest : public testing::Test {
protected:
    void SetUp() override
    {
        WriteSettingsFile();
        DeleteFileW(LogFile().c_str());
    }
};

// A second copy must show exactly one warning and end with code 0.
void ExpectRefusedAsSecondCopy(const std::wstring& arguments)
{
    AppProcess second(arguments);
    ASSERT_TRUE(second.Started());
    HWND box = WaitForProcessWindow(second.Id(), L"#32770", L"Warning", 20000);
    ASSERT_NE(box, nullptr) << "no warning for arguments '" << std::string(arguments.begin(), arguments.end()) << "'";
    EXPECT_EQ(MessageBoxText(box), L"Another instance of program is already running.");
    EXPECT_EQ(ProcessWindows(second.Id(), L"#32770").size(), 1u);
    EXPECT_TRUE(ProcessWindows(second.Id(), L"Clipvoce").empty());
    PressDialogButton(box, IDOK);
    EXPECT_EQ(second.WaitExit(), 0);
}

// The system's speech voice cannot be loaded: the user is told why the program does not
// start, and the program ends with a code that says it failed.
TEST_F(StartupTest, WithoutAVoiceItSaysSoAndEndsWithAFailure)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_UNAVAILABLE", L"1");
    AppProcess app;
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_UNAVAILABLE", nullptr);
    HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", 20000);
    ASSERT_NE(box, nullptr) << "no word that the voice is missing";
    EXPECT_NE(MessageBoxText(box).find(L"no speech voice could be used"), std::wstring::npos) << MessageBoxText(box);
    PressDialogButton(box, IDOK);
    EXPECT_EQ(app.WaitExit(), 2) << "the program did not end with a failure";
    const std::wstring log = ReadFileUtf8(LogFile());
    EXPECT_NE(log.find(L"Clipvoce " + ProgramInfo.versionText + L" starts"), std::wstring::npos);
    EXPECT_NE(log.find(L"Creating the speech voice failed: 0x"), std::wstring::npos);
}

TEST_F(StartupTest, ShowsSpeechWindowAndQuitsWithCtrlQ)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(window).rfind(L"Speech window", 0), 0u) << "caption: " << WindowText(window).size();
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 20000)) << "the window was not shown";
    EXPECT_NE(TextViewOf(window), nullptr);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED);

    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(), 0);
    const std::wstring log = ReadFileUtf8(LogFile());
    const size_t voice = log.find(L"Voice: ");
    ASSERT_NE(voice, std::wstring::npos) << "the log names no voice";
    EXPECT_NE(log[voice + 7], L'\r') << "the voice's name is empty";
}

TEST_F(StartupTest, SecondCopyIsRefusedAndFirstKeepsRunning)
{
    AppProcess first;
    HWND window = first.Window();
    ASSERT_NE(window, nullptr);

    ExpectRefusedAsSecondCopy(L"");
    // Only exactly "/r" is the restart form.
    ExpectRefusedAsSecondCopy(L"/R");
    ExpectRefusedAsSecondCopy(L"/r x");

    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindow(window));
}

// Whoever starts the program again is looking for it: the running copy's window comes
// forward, shown even when it was hidden, and then the second start says why it ends.
TEST_F(StartupTest, SecondStartBringsTheRunningWindowForwardFirst)
{
    WriteSettingsFile({{L"window", L"0"}, {L"top", L"0"}});
    AppProcess first;
    HWND window = first.Window();
    ASSERT_NE(window, nullptr);
    // Created visible, as every Speech window is, and hidden once start-up has read that it
    // is not to be shown.
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(window); }, 10000)) << "the window did not start hidden";
    // A window of another program in front, as the user's editor would be.
    HWND other = CreateWindowExW(0, L"Static", L"in front", WS_POPUP | WS_VISIBLE, 0, 0, 1280, 1024, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    PumpPending();

    AppProcess second;
    HWND box = WaitForProcessWindow(second.Id(), L"#32770", L"Warning", 20000);
    ASSERT_NE(box, nullptr) << "no message from the second start";
    EXPECT_TRUE(IsWindowVisible(window)) << "the running copy's window was not shown before the message";
    const auto above = [](HWND upper, HWND lower) {
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            if (w == upper || w == lower)
                return w == upper;
        }
        return false;
    };
    EXPECT_TRUE(above(window, other)) << "the running copy's window stayed behind the other program's";
    EXPECT_EQ(MessageBoxText(box), L"Another instance of program is already running.");
    PressDialogButton(box, IDOK);
    EXPECT_EQ(second.WaitExit(), 0);
    DestroyWindow(other);

    PressKey(window, 'Q', true);
    ASSERT_EQ(first.WaitExit(), 0);
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"window"), L"1") << "shown, the window is kept shown";
}

TEST_F(StartupTest, RestartWaitsForTheOldCopyWithoutWarning)
{
    AppProcess first;
    ASSERT_NE(first.Window(), nullptr);

    // Stand in for the old copy that is about to exit.
    HANDLE resetMutex = CreateMutexW(nullptr, TRUE, L"Clipvoce_RESET");
    ASSERT_NE(resetMutex, nullptr);
    AppProcess restarted(L"/r");
    ASSERT_TRUE(restarted.Started());
    // While the mutex is held the new copy shows nothing.
    EXPECT_EQ(WaitForProcessWindow(restarted.Id(), L"Clipvoce", nullptr, 1500), nullptr);
    EXPECT_TRUE(restarted.Running());

    ReleaseMutex(resetMutex);
    CloseHandle(resetMutex);
    EXPECT_NE(restarted.Window(), nullptr);
    EXPECT_EQ(WaitForProcessWindow(restarted.Id(), L"#32770", L"Warning", 500), nullptr);
}

// After a reset the restarted copy is the one that runs: a normal start beside it
// would take and read every copied text a second time.
TEST_F(StartupTest, RestartedCopyRefusesALaterStart)
{
    AppProcess restarted(L"/r");
    ASSERT_NE(restarted.Window(), nullptr) << "the restarted copy did not show its window";
    ExpectRefusedAsSecondCopy(L"");
    EXPECT_TRUE(restarted.Running());
}

TEST_F(StartupTest, SpeakerWindowKeyHidesTheWindow)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    PressKey(window, 'W');
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(window); }, 5000));
    // Hidden, the window no longer takes keys; the menu command shows it again.
    SendMessageW(window, WM_COMMAND, CMD_SPEAKER_WINDOW, 0);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 5000));
    EXPECT_TRUE(app.Running());
}

TEST_F(StartupTest, CaptionDoubleClickHidesWithoutMaximising)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    RECT before;
    GetWindowRect(window, &before);
    POINT caption{(before.left + before.right) / 2, before.top + GetSystemMetrics(SM_CYFRAME) + 4};
    PostMessageW(window, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(caption.x, caption.y));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(window); }, 5000));
    EXPECT_FALSE(IsZoomed(window));
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
}

TEST_F(StartupTest, RateStopsAtTenAndIsKept)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 15; ++i)
        PressKey(window, VK_ADD);
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"rate"), L"10");
}

// Six quarters up from 1.0 give 2.5, ten down stop at 0.5, and each is kept.
TEST_F(StartupTest, CtrlUpAndDownChangeTheSpeedWithinItsBoundsAndItIsKept)
{
    {
        AppProcess app;
        HWND window = app.Window();
        ASSERT_NE(window, nullptr);
        for (int i = 0; i < 6; ++i)
            PressKey(window, VK_UP, true);
        PressKey(window, 'Q', true);
        ASSERT_EQ(app.WaitExit(), 0);
    }
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"speed"), L"2.5");

    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 10; ++i)
        PressKey(window, VK_DOWN, true);
    PressKey(window, 'Q', true);
    ASSERT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(IniValue(ReadFileUtf8(SettingsFile()), L"speed"), L"0.5");
}

TEST_F(StartupTest, SettingsAreSavedWhenTheSessionEnds)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 15; ++i)
        PressKey(window, VK_ADD);
    // The system ends the process right after this message, without WM_DESTROY. The keys
    // may still be on their way, so the message is sent until their last effect is saved.
    const bool saved = PumpUntil(
        [&] {
            SendMessageW(window, WM_ENDSESSION, TRUE, 0);
            return IniValue(ReadFileUtf8(SettingsFile()), L"rate") == L"10";
        },
        20000);
    EXPECT_TRUE(saved) << "the session's end did not save the rate the keys set";
    EXPECT_TRUE(app.Running());
}

TEST_F(StartupTest, EveryCommandOnceInAnyOrderKeepsItRunning)
{
    WriteSettingsFile({{L"delete", L"0"}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"One sentence. Another one."));
    // Everything but quitting, and the dialogs that wait for the user.
    const UINT commands[] = {CMD_RATE_DOWN, CMD_SCROLL_HOME, CMD_PASTE, CMD_NEXT_SENTENCE, CMD_PLAY_PAUSE,
                             CMD_PREVIOUS_SENTENCE, CMD_PAUSE, CMD_BORDER, CMD_COPY, CMD_CLIPBOARD_MONITOR,
                             CMD_APPEND_TEXT, CMD_STOP, CMD_SCROLL_END, CMD_PLAY_STOP, CMD_SPEAKER_WINDOW,
                             CMD_DELETE_ALL, CMD_RATE_UP, CMD_FOCUS_MODE, CMD_FASTER, CMD_SLOWER, 0,
                             // Shown again, so that it can take the keys that quit it.
                             CMD_SPEAKER_WINDOW};
    for (UINT command : commands) {
        DWORD_PTR result;
        ASSERT_TRUE(SendMessageTimeoutW(window, WM_COMMAND, command, 0, SMTO_BLOCK, 10000, &result))
            << "command " << command << " did not return";
        ASSERT_TRUE(app.Running()) << "ended after command " << command;
    }
    // The commands that open a window wait for the user; close what they open.
    PostMessageW(window, WM_COMMAND, CMD_ABOUT, 0);
    HWND about = WaitForProcessWindow(app.Id(), L"#32770", L"About", 10000);
    ASSERT_NE(about, nullptr);
    PressDialogButton(about, IDCANCEL);   // the About box's OK button is the cancel id
    PostMessageW(window, WM_COMMAND, CMD_EXPORT, 0);
    HWND save = WaitForProcessWindow(app.Id(), L"#32770", L"Save As", 10000);
    ASSERT_NE(save, nullptr);
    PressDialogButton(save, IDCANCEL);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(save); }, 5000));
    for (UINT command : {CMD_OPTIONS, CMD_HELP}) {
        PostMessageW(window, WM_COMMAND, command, 0);
        HWND options = WaitForProcessWindow(app.Id(), L"#32770", L"Options", 10000);
        ASSERT_NE(options, nullptr) << "command " << command;
        PressDialogButton(options, IDCANCEL);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(options); }, 5000));
    }
    PostMessageW(window, WM_COMMAND, CMD_CONTEXT_MENU, 0);
    HWND menu = WaitForProcessWindow(app.Id(), L"#32768", nullptr, 10000);
    ASSERT_NE(menu, nullptr);
    // The menu window exists a moment before it is shown and takes keys.
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(menu) != FALSE; }, 5000));
    PressKey(menu, VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(menu); }, 5000));

    ASSERT_TRUE(IsWindowVisible(window));
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(ReadFileUtf8(LogFile()).find(L"Another one"), std::wstring::npos) << "the log holds the copied text";
}

TEST_F(StartupTest, QuitAsksWhenConfirmIsOn)
{
    WriteSettingsFile({{L"confirm", L"1"}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    PressKey(window, 'Q', true);
    HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Confirmation", 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Are you sure want to quit?");
    PressDialogButton(box, IDNO);
    PumpUntil([&] { return !IsWindow(box); }, 5000);
    EXPECT_TRUE(app.Running());

    PressKey(window, 'Q', true);
    box = WaitForProcessWindow(app.Id(), L"#32770", L"Confirmation", 10000);
    ASSERT_NE(box, nullptr);
    PressDialogButton(box, IDYES);
    EXPECT_EQ(app.WaitExit(), 0);
}

} // namespace
