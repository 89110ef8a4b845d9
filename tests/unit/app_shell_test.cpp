// The settings record's first-run values, the TextView operations on a real rich-edit
// control, and the window-level commands run inside the test process.
#include <gtest/gtest.h>
#include <richedit.h>
#include "in_process_app.h"
#include "app_driver.h"
#include "file_bytes.h"
#include "pump.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "settings/app_settings.h"
#include "view/view_look.h"
#include "view/text_view.h"
#include "voice/speech_controller.h"
#include "reading/reader.h"
#include "app/restart.h"
#include "app/tray_icon.h"
#include "app/window_placement.h"
#include "resource.h"
#include <climits>
#include <thread>

namespace {

TEST(FirstRunSettings, RecordHoldsTheFirstRunValues)
{
    const AppSettingsRecord s;
    EXPECT_EQ(s.width, 300);
    EXPECT_EQ(s.height, 150);
    EXPECT_TRUE(s.showBorder && s.speechWindowShown && s.closeQuits && s.confirmDeleteAll && s.alwaysOnTop);
    EXPECT_EQ(s.opacity, 255);
    EXPECT_EQ(s.backgroundColour, 0x00FFFFFFu);
    EXPECT_EQ(s.textColour, 0u);
    EXPECT_TRUE(s.bold);
    EXPECT_FALSE(s.italic);
    EXPECT_EQ(s.fontHeightPixels, -13);
    EXPECT_STREQ(s.fontFace, L"Courier New");
    EXPECT_FALSE(s.confirmQuit || s.startWithWindows || s.appendCopies || s.repeatReading || s.autoPlay);
    EXPECT_TRUE(s.monitorClipboard && s.autoScroll && s.showFullText && s.exportAsWav);
    EXPECT_EQ(s.speechRate, -1);
    EXPECT_EQ(s.mp3BitRate, 128);
    EXPECT_STREQ(s.wavFolder, L"");
    EXPECT_STREQ(s.encoderFolder, L"");
    EXPECT_STREQ(s.mp3Folder, L"");
}

// A saved place no screen shows is brought into the primary work area; a place that any
// monitor shows, even in part, is kept.
TEST(StartUpPlace, WindowOffEveryMonitorMovesIntoThePrimaryWorkArea)
{
    const RECT primary{0, 0, 1920, 1040};
    const RECT left{-1280, 0, 0, 984};   // a second monitor left of the primary one
    struct Case {
        const char* what;
        WindowPlace saved;
        WindowPlace expected;
    };
    const Case cases[] = {
        {"on the primary monitor", {1620, 890, 300, 150}, {1620, 890, 300, 150}},
        {"on the second monitor", {-900, 100, 300, 150}, {-900, 100, 300, 150}},
        {"one pixel on a monitor", {1919, 1039, 300, 150}, {1919, 1039, 300, 150}},
        {"size 0 at the origin", {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"far to the left", {-50000, 300, 300, 150}, {0, 300, 300, 150}},
        {"below the screens", {400, 5000, 300, 150}, {400, 890, 300, 150}},
        {"above and right", {3000, -700, 300, 150}, {1620, 0, 300, 150}},
        {"just past the right edge", {1920, 100, 300, 150}, {1620, 100, 300, 150}},
        {"under the second monitor", {-900, 990, 300, 150}, {0, 890, 300, 150}},
        {"larger than the work area", {5000, 5000, 4000, 3000}, {0, 0, 1920, 1040}},
        {"numbers at the limits", {INT_MAX, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 1920, 1040}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WindowPlace placed = ReachablePlace(c.saved, {primary, left}, primary);
        EXPECT_EQ(placed.x, c.expected.x);
        EXPECT_EQ(placed.y, c.expected.y);
        EXPECT_EQ(placed.width, c.expected.width);
        EXPECT_EQ(placed.height, c.expected.height);
    }
}

TEST(FirstRunSettings, FontIsTheGuiFontInBoldCourierNew)
{
    LOGFONTW gui{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    const LOGFONTW font = FirstRunLogFont();
    EXPECT_STREQ(font.lfFaceName, L"Courier New");
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(font.lfCharSet, gui.lfCharSet);
    EXPECT_EQ(font.lfItalic, gui.lfItalic);
}

TEST(FirstRunSettings, PositionIsTheBottomRightOfTheWorkArea)
{
    EXPECT_EQ(FirstRunPosition(RECT{0, 0, 1920, 1040}).x, 1620);
    EXPECT_EQ(FirstRunPosition(RECT{0, 0, 1920, 1040}).y, 890);
    // The rule subtracts the work area's origin as well (a taskbar at the top or left).
    const POINT shifted = FirstRunPosition(RECT{100, 50, 1920, 1040});
    EXPECT_EQ(shifted.x, 1920 - 300 - 100);
    EXPECT_EQ(shifted.y, 1040 - 150 - 50);
}

TEST(FirstRunSettings, Mp3BitRatesAreTheFourteenRates)
{
    ASSERT_EQ(std::size(Mp3BitRates), 14u);
    EXPECT_EQ(Mp3BitRates[0].kbitPerSecond, 32);
    EXPECT_EQ(Mp3BitRates[13].kbitPerSecond, 320);
    EXPECT_STREQ(Mp3BitRates[8].label, L"128");
    EXPECT_EQ(Mp3BitRates[8].kbitPerSecond, 128);
}

class TextViewTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(RegisterTextViewClass());
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(view_.Create(parent_, RECT{0, 0, 400, 200}));
        // Scrolling by line works only on a control that is shown.
        ShowWindow(parent_, SW_SHOWNOACTIVATE);
    }
    void TearDown() override
    {
        DestroyWindow(parent_);
    }
    HWND parent_ = nullptr;
    TextView view_;
};

TEST_F(TextViewTest, ParagraphBreakIsOneCharacter)
{
    view_.SetText(L"Hello.\r\nWorld \rThird");
    EXPECT_EQ(view_.GetText(), L"Hello.\rWorld \rThird");
    EXPECT_EQ(view_.Length(), 19);
    // The window-text length counts each break as two.
    EXPECT_EQ(view_.WindowTextLength(), 21);
    EXPECT_EQ(view_.LineCount(), 3);
    EXPECT_EQ(view_.LineIndex(1), 7);
    EXPECT_EQ(view_.LineIndex(2), 14);
    EXPECT_EQ(view_.LineIndex(3), -1);
}

TEST_F(TextViewTest, SelectionCaretAndLines)
{
    view_.SetText(L"one\rtwo\rthree");
    view_.Select(4, 7);
    EXPECT_EQ(view_.SelectionEnd(), 7);
    EXPECT_EQ(view_.SelectionLine(), 1);
    view_.Select(9, 9);
    EXPECT_EQ(view_.SelectionLine(), 2);
    view_.Select(3, 3);
    view_.ReplaceSelection(L"!");
    EXPECT_EQ(view_.GetText(), L"one!\rtwo\rthree");
    const POINT first = view_.PosFromChar(0);
    const POINT second = view_.PosFromChar(view_.LineIndex(1));
    EXPECT_GT(second.y, first.y);
}

TEST_F(TextViewTest, ScrollingMovesTheFirstVisibleLine)
{
    std::wstring text;
    for (int i = 0; i < 100; ++i)
        text += L"line " + std::to_wstring(i) + L"\r";
    view_.SetText(text.c_str());
    PumpPending();
    EXPECT_EQ(view_.FirstVisibleLine(), 0);
    view_.ScrollLines(5);
    EXPECT_EQ(view_.FirstVisibleLine(), 5);
    view_.ScrollOneLine(false);
    EXPECT_EQ(view_.FirstVisibleLine(), 6);
    view_.ScrollOneLine(true);
    EXPECT_EQ(view_.FirstVisibleLine(), 5);
}

// A long text is dropped by starting from a fresh control; nothing of the view's look
// or behaviour may go with the old one.
TEST(LongText, ReplacingItKeepsTheViewsLookAndInput)
{
    InProcessApp app;
    AppSettings.backgroundColour = RGB(0, 0, 128);
    AppSettings.textColour = RGB(255, 255, 255);
    app.reader().Apply(SettingsChange::FontAndColours);
    std::wstring longText;
    while (longText.size() < 40000)
        longText += L"A sentence of a long copied text.\r";
    app.view().SetText(longText.c_str());
    CHARFORMAT2W before{};
    before.cbSize = sizeof before;
    SendMessageW(app.view().Handle(), EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&before));
    RECT rectBefore;
    GetWindowRect(app.view().Handle(), &rectBefore);
    const LRESULT eventsBefore = SendMessageW(app.view().Handle(), EM_GETEVENTMASK, 0, 0);

    app.view().SetText(L"Short. Text.");
    EXPECT_EQ(app.view().GetText(), L"Short. Text.");
    EXPECT_EQ(GetParent(app.view().Handle()), app.window());
    RECT rectAfter;
    GetWindowRect(app.view().Handle(), &rectAfter);
    EXPECT_TRUE(EqualRect(&rectBefore, &rectAfter));
    EXPECT_EQ(SendMessageW(app.view().Handle(), EM_GETEVENTMASK, 0, 0), eventsBefore);
    CHARFORMAT2W after{};
    after.cbSize = sizeof after;
    SendMessageW(app.view().Handle(), EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&after));
    EXPECT_STREQ(after.szFaceName, before.szFaceName);
    EXPECT_EQ(after.yHeight, before.yHeight);
    EXPECT_EQ(after.crTextColor, before.crTextColor);
    EXPECT_EQ(after.dwEffects & (CFE_BOLD | CFE_ITALIC), before.dwEffects & (CFE_BOLD | CFE_ITALIC));
    EXPECT_EQ(SendMessageW(app.view().Handle(), EM_SETBKGNDCOLOR, 0, AppSettings.backgroundColour), AppSettings.backgroundColour);

    // The window still filters the view's input: a plain click leaves the caret alone.
    app.view().Select(3, 3);
    SendMessageW(app.view().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 5));
    SendMessageW(app.view().Handle(), WM_LBUTTONUP, 0, MAKELPARAM(60, 5));
    EXPECT_EQ(app.view().SelectionEnd(), 3);
    // Exactly one view is left in the window.
    int children = 0;
    EnumChildWindows(app.window(), [](HWND, LPARAM count) { ++*reinterpret_cast<int*>(count); return TRUE; },
                     reinterpret_cast<LPARAM>(&children));
    EXPECT_EQ(children, 1);
}

TEST(WindowCommands, EndAndHomeScrollToTheEnds)
{
    InProcessApp app(SW_SHOWNORMAL);
    std::wstring text;
    for (int i = 0; i < 100; ++i)
        text += L"line " + std::to_wstring(i) + L"\r";
    app.view().SetText(text.c_str());
    app.Command(CMD_SCROLL_END);
    EXPECT_GT(app.view().FirstVisibleLine(), 90);
    app.Command(CMD_SCROLL_HOME);
    EXPECT_EQ(app.view().FirstVisibleLine(), 0);
}

TEST(WindowCommands, RateStopsAtTenAndMinusTen)
{
    InProcessApp app;
    for (int i = 0; i < 15; ++i)
        app.Command(CMD_RATE_UP);
    EXPECT_EQ(AppSettings.speechRate, 10);
    EXPECT_EQ(app.voice.rate, 10);
    for (int i = 0; i < 25; ++i)
        app.Command(CMD_RATE_DOWN);
    EXPECT_EQ(AppSettings.speechRate, -10);
    EXPECT_EQ(app.voice.rate, -10);
}

TEST(WindowCommands, StartUpMenuFollowsTheSettings)
{
    InProcessApp app;
    EXPECT_EQ(app.MenuText(CMD_PLAY_STOP), L"&Play");
    EXPECT_FALSE(app.MenuEnabled(CMD_PAUSE));
    EXPECT_TRUE(app.MenuChecked(CMD_CLIPBOARD_MONITOR));
    EXPECT_TRUE(app.MenuEnabled(CMD_APPEND_TEXT));
    EXPECT_FALSE(app.MenuChecked(CMD_APPEND_TEXT));
    EXPECT_TRUE(app.MenuChecked(CMD_SPEAKER_WINDOW));
    EXPECT_EQ(app.Caption().rfind(L"Speech window - stopped   [ ", 0), 0u);
}

TEST(WindowCommands, MonitorAppendAndSpeakerWindowToggles)
{
    InProcessApp app(SW_SHOWNORMAL);
    app.Command(CMD_APPEND_TEXT);
    EXPECT_TRUE(AppSettings.appendCopies);
    EXPECT_TRUE(app.MenuChecked(CMD_APPEND_TEXT));

    app.Command(CMD_CLIPBOARD_MONITOR);
    EXPECT_FALSE(AppSettings.monitorClipboard);
    EXPECT_FALSE(app.MenuChecked(CMD_CLIPBOARD_MONITOR));
    EXPECT_FALSE(app.MenuEnabled(CMD_APPEND_TEXT));
    app.Command(CMD_CLIPBOARD_MONITOR);
    EXPECT_TRUE(app.MenuEnabled(CMD_APPEND_TEXT));

    app.Command(CMD_SPEAKER_WINDOW);
    EXPECT_FALSE(AppSettings.speechWindowShown);
    EXPECT_FALSE(IsWindowVisible(app.window()));
    EXPECT_FALSE(app.MenuChecked(CMD_SPEAKER_WINDOW));
    app.Command(CMD_SPEAKER_WINDOW);
    EXPECT_TRUE(AppSettings.speechWindowShown);
    EXPECT_TRUE(IsWindowVisible(app.window()));
    EXPECT_TRUE(app.MenuChecked(CMD_SPEAKER_WINDOW));
}

TEST(WindowCommands, CloseHidesWhenCloseIsOff)
{
    InProcessApp app(SW_SHOWNORMAL);
    AppSettings.closeQuits = false;
    SendMessageW(app.window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(app.window()));
    EXPECT_FALSE(IsWindowVisible(app.window()));
    EXPECT_FALSE(AppSettings.speechWindowShown);
    EXPECT_FALSE(app.MenuChecked(CMD_SPEAKER_WINDOW));
}

TEST(WindowCommands, WheelScrollsOneLinePerNotch)
{
    InProcessApp app(SW_SHOWNORMAL);
    std::wstring text;
    for (int i = 0; i < 100; ++i)
        text += L"Line.\r";
    app.view().SetText(text.c_str());
    POINT inside{5, 5};
    ClientToScreen(app.view().Handle(), &inside);
    for (HWND target : {app.view().Handle(), app.window()}) {
        app.view().ScrollLines(-app.view().LineCount());
        SendMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(inside.x, inside.y));
        EXPECT_EQ(app.view().FirstVisibleLine(), 1) << (target == app.view().Handle() ? "in the text" : "in the window");
        SendMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), MAKELPARAM(inside.x, inside.y));
        EXPECT_EQ(app.view().FirstVisibleLine(), 0);
    }
}

TEST(StatusLine, EmptyViewCountsOneLine)
{
    InProcessApp app;
    EXPECT_EQ(app.Caption(), L"Speech window - stopped   [ 1 / 1 ]");
    app.Command(CMD_CLIPBOARD_MONITOR);
    EXPECT_TRUE(GetMenuState(app.menu(), CMD_APPEND_TEXT, MF_BYCOMMAND) & MF_GRAYED) << "disabled must also look so";
}

TEST(StatusLine, CaptionAndTipFollowTheState)
{
    EXPECT_EQ(FormatCaption(L"Speech window", L"playing", 3, 12), L"Speech window - playing   [ 3 / 12 ]");
    InProcessApp app;
    app.view().SetText(L"First.\rSecond.\rThird.");
    app.Reach(PendingPlay);
    RefreshStatusLine(app.state());
    EXPECT_EQ(app.Caption(), L"Speech window - playing   [ 1 / 3 ]");
    EXPECT_STREQ(app.state().trayIcon.record.szTip, L"Clipvoce - playing");
    app.Reach(Paused);
    app.view().Select(9, 9);
    RefreshStatusLine(app.state());
    EXPECT_EQ(app.Caption(), L"Speech window - paused   [ 2 / 3 ]");
    EXPECT_STREQ(app.state().trayIcon.record.szTip, L"Clipvoce - paused");
    EXPECT_EQ(app.state().trayIcon.record.cbSize, NOTIFYICONDATAW_V3_SIZE);
    EXPECT_EQ(app.state().trayIcon.record.uID, 107u);
    EXPECT_EQ(app.state().trayIcon.record.uCallbackMessage, static_cast<UINT>(WM_USER + 1));
}

TEST(TrayIcon, LeftClickShowsTheHiddenWindow)
{
    InProcessApp app(SW_SHOWNORMAL);
    app.Command(CMD_SPEAKER_WINDOW);
    ASSERT_FALSE(IsWindowVisible(app.window()));
    SendMessageW(app.window(), WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(app.window()));
    EXPECT_TRUE(AppSettings.speechWindowShown);
    EXPECT_TRUE(app.MenuChecked(CMD_SPEAKER_WINDOW));
    // Another icon's clicks are not ours.
    app.Command(CMD_SPEAKER_WINDOW);
    SendMessageW(app.window(), WM_TRAYICON, TRAY_ICON_ID + 1, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(app.window()));
}

} // namespace

// The shell may lose the icon (a restart) or refuse it early in a logon; the next change
// of the status line puts it back rather than leave the program without its icon.
TEST(TrayIcon, AnIconTheShellLostIsAddedAgainAtTheNextStatusChange)
{
    InProcessApp app;
    TrayIcon& icon = app.state().trayIcon;
    ASSERT_TRUE(icon.added) << "the shell did not take the icon at start-up";
    DeleteTrayIcon(icon);
    ASSERT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &icon.record)) << "the icon was not removed";
    app.reader().ReportStatusChange();
    EXPECT_TRUE(icon.added);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon.record)) << "the icon was not added again";
}

namespace {

// What a warning box says while the action runs; a second thread reads and closes it.
std::wstring WarningWhile(const std::function<void()>& action)
{
    std::wstring text;
    std::thread user([&] {
        if (HWND box = WaitForProcessWindow(GetCurrentProcessId(), L"#32770", L"Warning", 10000)) {
            text = MessageBoxText(box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    });
    action();
    user.join();
    return text;
}

std::wstring TempFile(const wchar_t* name)
{
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + name;
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".1").c_str());
    return path;
}

// A copy that cannot be started leaves this one running, and the user is told why.
TEST(Restart, AFailedStartKeepsTheProgramRunningAndSaysWhy)
{
    InProcessApp app;
    bool restarted = true;
    const std::wstring warning =
        WarningWhile([&] { restarted = RestartSelf(app.window(), L"C:\\no such folder\\clipvoce.exe"); });
    EXPECT_FALSE(restarted);
    EXPECT_EQ(warning.rfind(L"Clipvoce could not restart itself: ", 0), 0u) << "the box said: " << warning;
    EXPECT_GT(warning.size(), std::wstring(L"Clipvoce could not restart itself: ").size()) << "no reason given";
    EXPECT_TRUE(IsWindow(app.window()));
    app.view().SetText(L"Still here.");
    app.reader().PrepareText();
    app.Command(CMD_PLAY_STOP);
    EXPECT_EQ(app.speech().State(), Playing) << "the program no longer reads";
}

// The log names each failure with its code and the system's words for it; what the
// user copied and had read never goes into it.
TEST(Log, NamesAFailureButNoCopiedText)
{
    const std::wstring path = TempFile(L"clipvoce_test.log");
    StartLog(path);
    {
        InProcessApp app;
        AppSettings.autoPlay = true;
        ASSERT_TRUE(SetClipboardText(L"Private words 7Q3X."));
        ASSERT_TRUE(PumpUntil([&] { return app.speech().State() == Playing; }, 5000)) << "the copy was not read";
        app.voice.refuses = L"Pause";
        app.Command(CMD_PAUSE);
        EXPECT_EQ(app.speech().State(), Playing);
    }
    StartLog(L"");
    const std::string log = ReadBytes(path);
    const std::wstring reason = SystemErrorText(static_cast<DWORD>(E_FAIL));
    ASSERT_NE(reason, L"2147500037") << "the system has no words for the code";
    EXPECT_NE(log.find("ISpVoice::Pause failed: 0x80004005 " + std::string(reason.begin(), reason.end())),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("7Q3X"), std::string::npos) << log;
    DeleteFileW(path.c_str());
}

TEST(Log, KeepsThePreviousFileOnceFull)
{
    const std::wstring path = TempFile(L"clipvoce_full.log");
    StartLog(path);
    const std::wstring line(1000, L'x');
    for (DWORD written = 0; written < MaxLogBytes + MaxLogBytes / 2; written += 1000)
        LogLine(line);
    LogLine(L"last line");
    StartLog(L"");
    const std::string current = ReadBytes(path);
    const std::string previous = ReadBytes(path + L".1");
    EXPECT_LE(current.size(), MaxLogBytes);
    EXPECT_LE(previous.size(), MaxLogBytes);
    EXPECT_GT(previous.size(), MaxLogBytes - 2000) << "the previous file was not kept whole";
    EXPECT_NE(current.find("last line"), std::string::npos);
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".1").c_str());
}

} // namespace
