// The global hot keys of the real program, typed on the desktop while another program
// is in front: reading that program's selection without losing the clipboard, playing,
// pausing and stopping, and a combination another program already holds.
#include <gtest/gtest.h>
#include "app_driver.h"
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
    memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    return memory;
}

// Copies text and private data as one program's copy would.
bool CopyWithPrivateData(const std::wstring& text)
{
    if (!PumpUntil([] { return OpenClipboard(nullptr) != FALSE; }, 5000))
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
    HANDLE data = GetClipboardData(PrivateFormat());
    const bool same = data && GlobalSize(data) >= PrivateBytes.size() &&
                      memcmp(GlobalLock(data), PrivateBytes.data(), PrivateBytes.size()) == 0;
    if (data)
        GlobalUnlock(data);
    CloseClipboard();
    return same && GetClipboardText() == text;
}

// Another program in front, its edit control holding text that is all selected.
struct SelectionSource {
    explicit SelectionSource(const std::wstring& text) : process(text, BinFolder() + L"\\selection_window.exe") {}
    bool InFront()
    {
        window = WaitForProcessWindow(process.Id(), L"Edit", nullptr, Patience);
        return window && PumpUntil([&] { return HasKeyboardFocus(window); }, Patience);
    }
    AppProcess process;
    HWND window = nullptr;
};

bool CaptionSays(HWND window, const std::wstring& words)
{
    return WindowText(window).find(words) != std::wstring::npos;
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
    ASSERT_TRUE(CopyWithPrivateData(earlier));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == earlier + L" "; }, Patience)) << "no earlier copy";

    SelectionSource source(L"Read this selection aloud.");
    ASSERT_TRUE(source.InFront()) << "the selection's window did not come to the front";
    ASSERT_TRUE(TypeOnDesktop(L"ctrl+alt+space"));
    const std::wstring shown = earlier + L" Read this selection aloud. ";
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == shown; }, Patience))
        << "the selection was not shown after the earlier copy: " << TextViewText(window);
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - playing"); }, Patience))
        << "the selection was not read: " << WindowText(window);
    EXPECT_TRUE(PumpUntil([&] { return HoldsTextAndPrivateData(earlier); }, Patience))
        << "the clipboard did not get its text and private data back: " << GetClipboardText();
    // Whatever the put-back sent the program has been handled once it answers this.
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    EXPECT_EQ(TextViewText(window), shown) << "the put-back was taken as a new copy";
}

TEST_F(HotKeysEndToEnd, PlayPauseStopAndAnEmptySelectionWhileAnotherProgramHasTheFocus)
{
    WriteSettingsFile({{L"autoplay", L"1"}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    const std::wstring text = L"A text read slowly enough to be paused. It has a second sentence as well.";
    ASSERT_TRUE(CopyWithPrivateData(text));
    ASSERT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - playing"); }, Patience)) << "reading did not start";
    SelectionSource source(L"");   // nothing selected in it
    ASSERT_TRUE(source.InFront()) << "the other window did not come to the front";
    const struct {
        const wchar_t* keys;
        const wchar_t* state;
    } steps[] = {{L"ctrl+alt+p", L" - paused"}, {L"ctrl+alt+p", L" - playing"}, {L"ctrl+alt+s", L" - stopped"},
                 {L"ctrl+alt+space", L" - no selected text to read"}};
    for (const auto& step : steps) {
        // Brought back before each step: after some Ctrl+Alt combinations Wine leaves no
        // window in front, even when the hot key does nothing.
        SetForegroundWindow(source.window);
        ASSERT_TRUE(source.InFront()) << "the other program did not have the focus before " << step.keys;
        ASSERT_TRUE(TypeOnDesktop(step.keys));
        EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, step.state); }, Patience))
            << step.keys << " did not lead to" << step.state << ": " << WindowText(window);
    }
    EXPECT_EQ(TextViewText(window), text + L" ");
    EXPECT_TRUE(HoldsTextAndPrivateData(text));
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
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L"hot keys used by another program: "); }, Patience))
        << "the taken key was not reported: " << WindowText(window);
    EXPECT_TRUE(CaptionSays(window, L"+S (Stop)")) << WindowText(window);
    EXPECT_FALSE(CaptionSays(window, L"Read selection")) << WindowText(window);
}

} // namespace
