// The global hot keys of the real program, typed on the desktop while another program
// is in front: reading that program's selection without losing the clipboard (also when
// it holds a secret, a format its program never renders, or a program copies late or
// holds the clipboard open), playing, pausing and stopping, and a combination another
// program already holds.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "responsiveness.h"
#include "resource.h"
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr DWORD Patience = 20000;
// A copy's text is taken a moment after its notification: this long without it, it is
// not taken.
constexpr DWORD SettleMs = 500;
// How long the window may take to answer beyond what the machine's load costs an idle one.
constexpr DWORD AnswerBudgetMs = 100;
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

using Environment = std::vector<std::pair<const wchar_t*, const wchar_t*>>;

// Variables that the program started next inherits, until Clear.
struct InheritedEnvironment {
    explicit InheritedEnvironment(const Environment& variables) : variables(variables)
    {
        for (const auto& [name, value] : variables)
            SetEnvironmentVariableW(name, value);
    }
    void Clear()
    {
        for (const auto& [name, value] : variables)
            SetEnvironmentVariableW(name, nullptr);
    }
    Environment variables;
};

// Another program in front, its edit control holding text that is all selected; the
// environment changes how it copies (selection_window.cpp).
struct SelectionSource {
    explicit SelectionSource(const std::wstring& text, const Environment& environment = {})
        : inherited(environment), process(text, BinFolder() + L"\\selection_window.exe")
    {
        inherited.Clear();
    }
    // Asked for again while it is not: a program started meanwhile (the Speech window
    // on a loaded machine) may have taken the front after it.
    bool InFront()
    {
        window = WaitForProcessWindow(process.Id(), L"Edit", nullptr, Patience);
        return window && PumpUntil([&] { return HasKeyboardFocus(window) || (SetForegroundWindow(window), false); }, Patience);
    }
    InheritedEnvironment inherited;
    AppProcess process;
    HWND window = nullptr;
};

// The test's clipboard owner (clipboard_owner.cpp), its copy on the clipboard.
struct ClipboardOwner {
    explicit ClipboardOwner(const std::wstring& how) : process(how, BinFolder() + L"\\clipboard_owner.exe") {}
    bool Ready() { return WaitForProcessWindow(process.Id(), L"ClipvoceTestOwner", L"ready", Patience) != nullptr; }
    AppProcess process;
};

bool ClipboardOwnedBy(DWORD process)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(GetClipboardOwner(), &owner);
    return owner == process;
}

// V, given as the menu command: the keyboard state the Speech window keeps may still hold
// the Ctrl and Alt of a hot key whose release another window received.
void Paste(HWND window)
{
    PostMessageW(window, WM_COMMAND, CMD_PASTE, 0);
}

void ExpectAnsweredMeanwhile(ResponsivenessProbe& probe, const char* stretch)
{
    probe.Stop();
    EXPECT_TRUE(probe.AnsweredWithin(AnswerBudgetMs)) << stretch << ": " << probe.Summary();
}

// The tests of what happens to the clipboard press the keys through the input queue:
// what they show does not depend on how the keys came.
void PressReadSelection()
{
    PressTogether({VK_CONTROL, VK_MENU, VK_SPACE});
}

UINT SecretMark()
{
    return RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
}

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
    // Long enough to be still playing when the other program has come to the front on a
    // busy machine.
    const std::wstring text = L"A text read slowly enough to be paused. It has a second sentence as well. A third "
                              L"one follows it, and a fourth sentence, longer than the others, comes after that one. "
                              L"The fifth sentence ends the text.";
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

// A password manager's copy: its mark is placed for rendering on request and never
// rendered. Put back, the copy keeps its mark, so the paste command leaves it alone too.
TEST_F(HotKeysEndToEnd, ASecretCopyIsPutBackWithItsMarkAndStaysUnread)
{
    WriteSettingsFile();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ClipboardOwner passwords(L"secret hunter2 is the password");
    ASSERT_TRUE(passwords.Ready());
    const std::wstring shown = L"Read this selection aloud. ";
    SelectionSource source(L"Read this selection aloud.");
    ASSERT_TRUE(source.InFront()) << "the selection's window did not come to the front";
    PressReadSelection();
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == shown; }, Patience)) << TextViewText(window);
    ASSERT_TRUE(PumpUntil([&] { return ClipboardOwnedBy(app.Id()); }, Patience)) << "the clipboard was not put back";
    EXPECT_TRUE(IsClipboardFormatAvailable(SecretMark())) << "the mark was not put back";
    EXPECT_EQ(GetClipboardText(), L"hunter2 is the password");
    Paste(window);
    EXPECT_FALSE(PumpUntil([&] { return TextViewText(window) != shown; }, SettleMs)) << "the secret was shown";
}

// The remembered clipboard holds a format whose program never renders it, and the
// selection's own copy is marked as a secret: the window answers throughout, the format
// is reported as not kept, the rest is put back, and the secret is not read.
TEST_F(HotKeysEndToEnd, AFormatNeverRenderedIsLeftOutAndASecretSelectionIsNotRead)
{
    WriteSettingsFile();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ClipboardOwner stalled(L"stalled The earlier copy.");
    ASSERT_TRUE(stalled.Ready());
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == L"The earlier copy. "; }, Patience));
    SelectionSource idle(L"");
    ASSERT_TRUE(idle.InFront()) << "the idle window did not come to the front";
    SelectionSource source(L"A secret selection.", {{L"CLIPVOCE_TEST_COPY_MARK", L"1"}});
    ASSERT_TRUE(source.InFront()) << "the selection's window did not come to the front";
    ResponsivenessProbe probe(window, idle.window);
    PressReadSelection();
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L"put back without 1 of its formats"); }, Patience))
        << WindowText(window);
    ExpectAnsweredMeanwhile(probe, "while a secret was copied and a stalled clipboard put back");
    EXPECT_EQ(TextViewText(window), L"The earlier copy. ") << "the secret selection was read";
    EXPECT_EQ(GetClipboardText(), L"The earlier copy.");
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"Clipvoce test stalled format")));
}

// The copying program holds the clipboard open for a while once its copy is in it, or
// copies only after Read selection has given up waiting: the clipboard gets its earlier
// content back all the same, a late copy is not read, and the window answers meanwhile.
// When the put-back cannot be done in the end, the user is told, and V brings the earlier
// text into the window.
TEST_F(HotKeysEndToEnd, ACopyHeldOpenOrMadeLateStillGetsTheClipboardPutBack)
{
    WriteSettingsFile();
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    const std::wstring earlier = L"The earlier copy.";
    ASSERT_TRUE(CopyWithPrivateData(earlier));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == earlier + L" "; }, Patience)) << "no earlier copy";

    // Measured while the clipboard is waited for, not while the selection is read aloud.
    SelectionSource idle(L"");
    ASSERT_TRUE(idle.InFront()) << "the idle window did not come to the front";
    SelectionSource held(L"Held selection.", {{L"CLIPVOCE_TEST_COPY_HOLD_MS", L"1200"}});
    ASSERT_TRUE(held.InFront());
    auto probe = std::make_unique<ResponsivenessProbe>(window, idle.window);
    PressReadSelection();
    EXPECT_TRUE(PumpUntil([&] { return TextViewText(window) == L"Held selection. "; }, Patience))
        << "the selection was not read: " << WindowText(window);
    ExpectAnsweredMeanwhile(*probe, "while a held copy was waited for");
    EXPECT_TRUE(PumpUntil([&] { return HoldsTextAndPrivateData(earlier); }, Patience)) << "not put back after a held copy";
    PostMessageW(window, WM_COMMAND, CMD_STOP, 0);
    ASSERT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - stopped"); }, Patience)) << WindowText(window);

    SelectionSource late(L"Late selection.", {{L"CLIPVOCE_TEST_COPY_DELAY_MS", L"1500"}, {L"CLIPVOCE_TEST_COPY_HOLD_MS", L"1200"}});
    ASSERT_TRUE(late.InFront());
    probe = std::make_unique<ResponsivenessProbe>(window, idle.window);
    PressReadSelection();
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L" - no selected text to read"); }, Patience)) << WindowText(window);
    ASSERT_TRUE(PumpUntil([&] { return WindowText(late.window) == L"copied"; }, Patience)) << "no late copy";
    EXPECT_TRUE(PumpUntil([&] { return HoldsTextAndPrivateData(earlier); }, Patience)) << "not put back after a late copy";
    EXPECT_FALSE(PumpUntil([&] { return TextViewText(window) != L"Held selection. "; }, SettleMs))
        << "the late copy was read as a new copy";
    EXPECT_FALSE(CaptionSays(window, L"could not be put back")) << WindowText(window);

    // Held open longer than the put-back keeps trying.
    SelectionSource kept(L"Kept selection.", {{L"CLIPVOCE_TEST_COPY_DELAY_MS", L"1500"}, {L"CLIPVOCE_TEST_COPY_HOLD_MS", L"7000"}});
    ASSERT_TRUE(kept.InFront());
    PressReadSelection();
    EXPECT_TRUE(PumpUntil([&] { return CaptionSays(window, L"could not be put back; V brings"); }, Patience))
        << WindowText(window);
    ExpectAnsweredMeanwhile(*probe, "while a late copy and a kept one were waited for and put back");
    Paste(window);
    EXPECT_TRUE(PumpUntil([&] { return TextViewText(window) == earlier + L" "; }, Patience)) << TextViewText(window);
    ASSERT_TRUE(PumpUntil([&] { return WindowText(kept.window) == L"copied"; }, Patience));
    EXPECT_FALSE(PumpUntil([&] { return TextViewText(window) != earlier + L" "; }, SettleMs))
        << "the late copy was read as a new copy";
}

} // namespace

