// The global hot keys of the real program, typed on the desktop while another program
// is in front: reading that program's selection without losing the clipboard, playing,
// pausing and stopping, and a combination another program already holds.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "resource.h"
#include <vector>

namespace {

constexpr DWORD Patience = 20000;
const std::vector<BYTE> PrivateBytes = {0x43, 0x00, 0x56, 0xFF, 0x01, 0x02};

UINT PrivateFormat()
{
    return RegisterClipboardFormatW(L"Clipvoce test private data");
}

HGLOBAL GlobalCopy(const void* bytes, size_t size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory) {
        memcpy(GlobalLock(memory), bytes, size);
        GlobalUnlock(memory);
    }
    return memory;
}

bool PutTextAndPrivateData(const std::wstring& text)
{
    bool opened = false;
    PumpUntil([&] { return opened = OpenClipboard(nullptr) != FALSE; }, 5000);
    if (!opened)
        return false;
    EmptyClipboard();
    const bool placed = SetClipboardData(CF_UNICODETEXT, GlobalCopy(text.c_str(), (text.size() + 1) * sizeof(wchar_t))) &&
                        SetClipboardData(PrivateFormat(), GlobalCopy(PrivateBytes.data(), PrivateBytes.size()));
    CloseClipboard();
    return placed;
}

bool HoldsTextAndPrivateData(const std::wstring& text)
{
    if (!OpenClipboard(nullptr))
        return false;
    bool same = false;
    HANDLE data = GetClipboardData(PrivateFormat());
    if (data && GlobalSize(data) >= PrivateBytes.size()) {
        same = memcmp(GlobalLock(data), PrivateBytes.data(), PrivateBytes.size()) == 0;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return same && GetClipboardText() == text;
}

// Another program in front, its edit control holding text that is all selected.
struct SelectionSource {
    explicit SelectionSource(const std::wstring& text) : process(text, BinFolder() + L"\\selection_window.exe")
    {
        window = WaitForProcessWindow(process.Id(), L"ClipvoceTestSelection", nullptr, Patience);
    }
    bool InFront() { return window && PumpUntil([&] { return HasKeyboardFocus(window); }, Patience); }

    AppProcess process;
    HWND window = nullptr;
};

bool CaptionSays(HWND window, const std::wstring& words)
{
    return WindowText(window).find(words) != std::wstring::npos;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class HotKeysEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"120");
        EmptyTheClipboard();
    }
};

TEST_F(HotKeysEndToEnd, ReadSelectionReadsItAtOnceAndGivesTheClipboardBack)
{
    // Auto play off: a copy is only shown. Append on: a copy taken twice would show twice.
    WriteSettingsFile({{L"append", L"1"}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    const std::wstring earlier = L"The earlier copy.";
    ASSERT_TRUE(PutTextAndPrivateData(earlier));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == earlier + L" "; }, Patience))
        << "the earlier copy was not shown";

    SelectionSource source(L"Read this selection aloud.");
    ASSERT_TRUE(source.InFront()) << "the selection's window did not come to the front";
    ASSERT_TRUE(TypeOnDesktop(L"ctrl+alt+space"));
    const std::wstring shown = earlier + L" Read this selection aloud. ";
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == shown; }, Patience))
        << "the selection was not shown after the earlier copy: " << Narrow(TextViewText(window));
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - playing"); }, Patience))
        << "the selection was not read: " << Narrow(WindowText(window));
    EXPECT_TRUE(PumpUntil([&] { return HoldsTextAndPrivateData(earlier); }, Patience))
        << "the clipboard did not get its text and private data back: " << Narrow(GetClipboardText());
    // Whatever the put-back sent the program has been handled once it answers this.
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    EXPECT_EQ(TextViewText(window), shown) << "the put-back was taken as a new copy";
}

TEST_F(HotKeysEndToEnd, NothingSelectedOnlyLeavesANote)
{
    WriteSettingsFile();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PutTextAndPrivateData(L"Still here."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == L"Still here. "; }, Patience));

    SelectionSource source(L"");
    ASSERT_TRUE(source.InFront()) << "the empty window did not come to the front";
    ASSERT_TRUE(TypeOnDesktop(L"ctrl+alt+space"));
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L"no selected text to read"); }, Patience))
        << "no note in the status line: " << Narrow(WindowText(window));
    EXPECT_EQ(TextViewText(window), L"Still here. ");
    EXPECT_TRUE(HoldsTextAndPrivateData(L"Still here."));
}

TEST_F(HotKeysEndToEnd, PlayPauseAndStopWorkWhileAnotherProgramHasTheFocus)
{
    WriteSettingsFile({{L"autoplay", L"1"}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"A long text that is read slowly enough to be paused and stopped. "
                                 L"It has a second sentence as well, and a third one after it."));
    ASSERT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - playing"); }, Patience)) << "reading did not start";

    SelectionSource source(L"Somewhere else");
    ASSERT_TRUE(source.InFront()) << "the other window did not come to the front";
    ASSERT_TRUE(TypeOnDesktop(L"ctrl+alt+p"));
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - paused"); }, Patience))
        << "Play/Pause did not pause: " << Narrow(WindowText(window));
    ASSERT_TRUE(TypeOnDesktop(L"ctrl+alt+p"));
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - playing"); }, Patience))
        << "Play/Pause did not resume: " << Narrow(WindowText(window));
    ASSERT_TRUE(TypeOnDesktop(L"ctrl+alt+s"));
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - stopped"); }, Patience))
        << "Stop did not stop: " << Narrow(WindowText(window));
    EXPECT_TRUE(HasKeyboardFocus(source.window)) << "the other program lost the focus";
}

TEST_F(HotKeysEndToEnd, ACombinationHeldByAnotherProgramIsReportedAtStart)
{
    WriteSettingsFile();
    // The test holds Ctrl+Alt+S as another program would.
    struct HeldKey {
        bool held = RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'S') != FALSE;
        ~HeldKey() { UnregisterHotKey(nullptr, 1); }
    } stop;
    ASSERT_TRUE(stop.held);
    AppProcess app;
    HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", Patience);
    ASSERT_NE(box, nullptr) << "the taken key was not reported";
    const std::wstring text = MessageBoxText(box);
    EXPECT_NE(text.find(L"+S = Stop (in any program)"), std::wstring::npos) << Narrow(text);
    EXPECT_EQ(text.find(L"Read selection"), std::wstring::npos) << Narrow(text);
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(box); }, Patience));
}

} // namespace
