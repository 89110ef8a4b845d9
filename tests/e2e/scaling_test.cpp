// The program at another DPI of the screen: the Speech window keeps its place and size
// on the screen and the text its size in points, while the settings file keeps the
// values it always had, as at 96 dpi.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "dialog_fit.h"
#include "view_pixels.h"
#include <string>

namespace {

constexpr DWORD Patience = 20000;
constexpr COLORREF Black = RGB(0, 0, 0);

struct Shown {
    RECT window{};
    int capHeight = 0;   // rows from the top of the capitals to their foot
};

std::wstring SavedValue(const wchar_t* key)
{
    return IniValue(ReadFileUtf8(SettingsFile()), key);
}

// The program started at the prefix's DPI with the settings file as it stands, showing
// a copy of capitals; it quits as a user quits it.
Shown ShowCapitals()
{
    Shown shown;
    EmptyTheClipboard();
    RemoveHistoryFile();
    AppProcess app;
    HWND window = app.Window(Patience);
    EXPECT_NE(window, nullptr) << "the program did not start";
    if (!window)
        return shown;
    EXPECT_TRUE(SetClipboardText(L"HHHH HHHH"));
    EXPECT_TRUE(PumpUntil([&] { return TextViewText(window) == L"HHHH HHHH "; }, Patience)) << "the copy did not come";
    ViewCapture capture;
    PumpUntil([&] { return (capture = CaptureView(TextViewOf(window))).Count(Black) > 0; }, Patience);
    const int top = capture.TopMost(Black);
    int bottom = -1;
    for (int y = 0; y < capture.height; ++y)
        if (capture.CountInRows(Black, y, y + 1) > 0)
            bottom = y;
    shown.capHeight = top < 0 ? 0 : bottom - top + 1;
    GetWindowRect(window, &shown.window);
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(Patience), 0) << "Ctrl+Q did not end the program";
    return shown;
}

TEST(Scaling, At144DpiTheWindowAndTheTextAreHalfAgainAsLarge)
{
    // Capitals large enough that a row more or less is no measure of the scaling.
    WriteSettingsFile({{L"x", L"100"}, {L"y", L"60"}, {L"point", L"-24"}});
    Shown at96;
    {
        PrefixDpi dpi(96);
        ASSERT_TRUE(dpi.set);
        at96 = ShowCapitals();
    }
    EXPECT_EQ(at96.window.right - at96.window.left, 300);
    EXPECT_EQ(at96.window.bottom - at96.window.top, 150);
    ASSERT_GT(at96.capHeight, 10);

    Shown at144;
    {
        PrefixDpi dpi(144);
        ASSERT_TRUE(dpi.set);
        at144 = ShowCapitals();
    }
    EXPECT_EQ(at144.window.left, 150);
    EXPECT_EQ(at144.window.top, 90);
    EXPECT_EQ(at144.window.right - at144.window.left, 450);
    EXPECT_EQ(at144.window.bottom - at144.window.top, 225);
    EXPECT_NEAR(at144.capHeight, at96.capHeight * 1.5, 1.5)
        << at96.capHeight << " rows at 96 dpi, " << at144.capHeight << " at 144";
    // Saved as the program unaware of scaling always saved them.
    EXPECT_EQ(SavedValue(L"x"), L"100");
    EXPECT_EQ(SavedValue(L"y"), L"60");
    EXPECT_EQ(SavedValue(L"width"), L"300");
    EXPECT_EQ(SavedValue(L"height"), L"150");
    EXPECT_EQ(SavedValue(L"point"), L"-24");
}

TEST(Scaling, AFirstRunAt144DpiOpensTheFirstRunSizeHalfAgainAsLarge)
{
    PrefixDpi dpi(144);
    ASSERT_TRUE(dpi.set);
    RemoveSettingsFile();
    EmptyTheClipboard();
    AppProcess app;
    HWND window = app.Window(Patience);
    ASSERT_NE(window, nullptr);
    RECT r{};
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 450);
    EXPECT_EQ(r.bottom - r.top, 225);
    // The first-run file is written before the window is made.
    EXPECT_EQ(SavedValue(L"width"), L"300");
    EXPECT_EQ(SavedValue(L"height"), L"150");
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    EXPECT_NEAR(r.right, workArea.right, 2) << "in the work area's corner";
    EXPECT_NEAR(r.bottom, workArea.bottom, 2);
}

} // namespace
