// What a copy holds decides how the real program treats it: a copy its program marks
// as secret is left alone, and a text that looks like markup is read as written.
#include <gtest/gtest.h>
#include <richedit.h>
#include <set>
#include "app_driver.h"
#include "responsiveness.h"
#include "resource.h"

namespace {

// A clipboard viewer of the test's own. Joined before the program starts, it comes
// after the program in the chain, so the program passes it every notification once
// it has handled it. A notification carries the copy's owner: the test's copies are
// owned by this window, and the program's own paste sends one without an owner, so
// counting each kind tells that the program has finished with each copy and paste.
class ChainWatcher {
public:
    ChainWatcher()
    {
        window_ = CreateMessageWindow(L"ClipvoceTestChainWatcher", Procedure);
        watcher_ = this;
        next_ = SetClipboardViewer(window_);
    }
    ~ChainWatcher()
    {
        ChangeClipboardChain(window_, next_);
        DestroyWindow(window_);
        watcher_ = nullptr;
    }

    HWND Window() const { return window_; }
    int CopiesPassedOn() const { return copies_; }
    int PastesPassedOn() const { return pastes_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        ChainWatcher* self = watcher_;
        if (self && message == WM_DRAWCLIPBOARD) {
            if (reinterpret_cast<HWND>(wParam) == self->window_)
                ++self->copies_;
            else if (!wParam)
                ++self->pastes_;
            if (self->next_)
                SendMessageW(self->next_, message, wParam, lParam);
            return 0;
        }
        if (self && message == WM_CHANGECBCHAIN) {
            if (reinterpret_cast<HWND>(wParam) == self->next_)
                self->next_ = reinterpret_cast<HWND>(lParam);
            else if (self->next_)
                SendMessageW(self->next_, message, wParam, lParam);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline ChainWatcher* watcher_ = nullptr;
    HWND window_ = nullptr;
    HWND next_ = nullptr;
    int copies_ = 0;
    int pastes_ = 0;
};

HGLOBAL GlobalCopy(const void* bytes, size_t size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory) {
        memcpy(GlobalLock(memory), bytes, size);
        GlobalUnlock(memory);
    }
    return memory;
}

// Copies text as another program would, owned by `owner`; with a mark, as a password
// manager does.
bool Copy(HWND owner, const std::wstring& text, const wchar_t* mark = nullptr, DWORD markValue = 0)
{
    bool opened = false;
    PumpUntil([&] { return opened = OpenClipboard(owner) != FALSE; }, 5000);
    if (!opened)
        return false;
    EmptyClipboard();
    bool placed = SetClipboardData(CF_UNICODETEXT, GlobalCopy(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
    if (mark)
        placed = placed && SetClipboardData(RegisterClipboardFormatW(mark), GlobalCopy(&markValue, sizeof markValue));
    CloseClipboard();
    return placed;
}

class ClipboardContentTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"600");
        WriteSettingsFile({{L"autoplay", L"1"}});
        EmptyTheClipboard();
    }
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Start and end from one question: asked one after the other, they may belong to two
// different words.
std::pair<DWORD, DWORD> Selection(HWND window)
{
    const auto both = static_cast<DWORD>(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
    return {LOWORD(both), HIWORD(both)};
}

DWORD SelectionEnd(HWND window)
{
    return HIWORD(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
}

// A copy's text is fetched away from the window's thread and taken a moment after its
// notification has been passed on; this long without it, it is not taken.
bool TextChangesSoon(HWND window, const std::wstring& text)
{
    return PumpUntil([&] { return TextViewText(window) != text; }, 500);
}

// The state word of the caption; the line it shows moves with the highlight.
bool ShowsPaused(HWND window)
{
    return CaptionWithoutLanguage(WindowText(window)).rfind(L"Speech window - paused   [", 0) == 0;
}

TEST_F(ClipboardContentTest, SecretCopiesAreNeitherShownNorReadButPassedOn)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"120");
    ChainWatcher watcher;
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    // Once this copy is passed on, so is everything the program received before it.
    const std::wstring visible = L"Visible text that is read on after the secrets.";
    int copies = watcher.CopiesPassedOn();
    ASSERT_TRUE(Copy(watcher.Window(), visible));
    ASSERT_TRUE(PumpUntil([&] { return watcher.CopiesPassedOn() > copies; }, 10000)) << "the first copy was not passed on";
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == visible + L" "; }, 10000)) << "the first copy was not taken";
    ASSERT_TRUE(PumpUntil([&] { return SelectionEnd(window) > 0; }, 10000)) << "the first copy was not read";
    PressKey(window, 'P');
    ASSERT_TRUE(PumpUntil([&] { return ShowsPaused(window); }, 10000))
        << "reading did not pause: " << Narrow(WindowText(window));

    struct Mark {
        const wchar_t* name;
        DWORD value;
    };
    const Mark marks[] = {{L"ExcludeClipboardContentFromMonitorProcessing", 1},
                          {L"Clipboard Viewer Ignore", 1},
                          {L"CanIncludeInClipboardHistory", 0}};
    for (const Mark& mark : marks) {
        SCOPED_TRACE(testing::Message() << "mark " << Narrow(mark.name));
        copies = watcher.CopiesPassedOn();
        ASSERT_TRUE(Copy(watcher.Window(), L"hunter2 secret", mark.name, mark.value));
        ASSERT_TRUE(PumpUntil([&] { return watcher.CopiesPassedOn() > copies; }, 10000))
            << "the secret copy's notification was not passed on";
        EXPECT_FALSE(TextChangesSoon(window, visible + L" "));
        EXPECT_TRUE(ShowsPaused(window)) << Narrow(WindowText(window));

        // Reading the clipboard on purpose does not take it either.
        const int pastes = watcher.PastesPassedOn();
        PressKey(window, 'V');
        ASSERT_TRUE(PumpUntil([&] { return watcher.PastesPassedOn() > pastes; }, 10000))
            << "the paste's notification was not passed on";
        EXPECT_FALSE(TextChangesSoon(window, visible + L" "));
        EXPECT_TRUE(ShowsPaused(window)) << Narrow(WindowText(window));
    }

    // The voice was left alone: resumed, it reads on to the last word.
    PressKey(window, 'P');
    EXPECT_TRUE(PumpUntil([&] { return SelectionEnd(window) == visible.size(); }, 20000))
        << "reading did not go on to the end; selection ends at " << SelectionEnd(window);

    // A copy that allows itself into the history is an ordinary copy.
    ASSERT_TRUE(Copy(watcher.Window(), L"Allowed text.", L"CanIncludeInClipboardHistory", 1));
    EXPECT_TRUE(PumpUntil([&] { return TextViewText(window) == L"Allowed text. "; }, 10000))
        << "the next ordinary copy was not taken";
}

TEST_F(ClipboardContentTest, CopiedMarkupIsReadWordByWordAsWritten)
{
    // Slow enough that every highlighted word is seen.
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"60");
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    const std::wstring text = L"<note><b>bold & <<tag>> end";
    // The words as written; read as markup they would be (9, 13), (14, 15), (22, 23)
    // and (24, 27).
    const std::set<std::pair<DWORD, DWORD>> words = {{0, 13}, {14, 15}, {16, 23}, {24, 27}};
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == text + L" "; }, 10000))
        << "the copy was not taken: " << Narrow(TextViewText(window));

    std::set<std::pair<DWORD, DWORD>> highlighted;
    const bool lastWordReached = PumpUntil([&] {
        const std::pair<DWORD, DWORD> selection = Selection(window);
        if (selection.first != selection.second)
            highlighted.insert(selection);
        return selection.second == text.size();
    }, 20000);
    EXPECT_TRUE(lastWordReached) << "the last word was not reached; selection ends at " << SelectionEnd(window);
    EXPECT_FALSE(highlighted.empty()) << "no word was highlighted";
    for (const auto& [start, end] : highlighted)
        EXPECT_TRUE(words.count({start, end})) << "highlighted " << start << "-" << end;
}

// A copy whose program places the text for rendering on request and never comes back
// from the request: the window answers throughout, says that the text did not arrive,
// and the next copy is taken as usual.
TEST_F(ClipboardContentTest, ACopyNeverRenderedLeavesTheWindowAnswering)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Earlier text."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == L"Earlier text. "; }, 10000));
    AppProcess idle(L"", BinFolder() + L"\\selection_window.exe");
    const HWND idleWindow = WaitForProcessWindow(idle.Id(), L"Edit", nullptr, 10000);
    ASSERT_NE(idleWindow, nullptr);
    AppProcess owner(L"stalled-text", BinFolder() + L"\\clipboard_owner.exe");
    ASSERT_NE(WaitForProcessWindow(owner.Id(), L"ClipvoceTestOwner", L"ready", 10000), nullptr);
    {
        ResponsivenessProbe probe(window, idleWindow);
        EXPECT_TRUE(PumpUntil([&] { return WindowText(window).find(L"did not arrive in time") != std::wstring::npos; },
                              20000))
            << Narrow(WindowText(window));
        probe.Stop();
        EXPECT_TRUE(probe.AnsweredWithin(100)) << probe.Summary();
    }
    EXPECT_EQ(TextViewText(window), L"Earlier text. ");
    ASSERT_TRUE(SetClipboardText(L"Next text."));
    EXPECT_TRUE(PumpUntil([&] { return TextViewText(window) == L"Next text. "; }, 10000))
        << "the next copy was not taken: " << Narrow(TextViewText(window));
}

} // namespace

