// What a copy holds decides how the real program treats it: a copy its program marks
// as secret is left alone, and a text that looks like markup is read as written.
#include <gtest/gtest.h>
#include <richedit.h>
#include <set>
#include "app_driver.h"
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
        WNDCLASSW wc{};
        wc.lpfnWndProc = Procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ClipvoceTestChainWatcher";
        RegisterClassW(&wc);
        window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
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

DWORD SelectionEnd(HWND window)
{
    return HIWORD(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
}

bool ReadToTheEnd(HWND window, DWORD caretAt)
{
    return PumpUntil([&] {
        return WindowText(window).rfind(L"Speech window - stopped", 0) == 0
            && SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0) == MAKELONG(caretAt, caretAt);
    }, 20000);
}

TEST_F(ClipboardContentTest, SecretCopiesAreNeitherShownNorReadButPassedOn)
{
    ChainWatcher watcher;
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    // Once this copy is passed on, so is everything the program received before it.
    int copies = watcher.CopiesPassedOn();
    ASSERT_TRUE(Copy(watcher.Window(), L"Visible text."));
    ASSERT_TRUE(PumpUntil([&] { return watcher.CopiesPassedOn() > copies; }, 10000)) << "the first copy was not passed on";
    ASSERT_EQ(TextViewText(window), L"Visible text. ") << "the first copy was not taken";
    ASSERT_TRUE(ReadToTheEnd(window, 13)) << "the first copy was not read to its end";
    const std::wstring caption = WindowText(window);

    struct Mark {
        const wchar_t* name;
        DWORD value;
    };
    const Mark marks[] = {{L"ExcludeClipboardContentFromMonitorProcessing", 1},
                          {L"Clipboard Viewer Ignore", 1},
                          {L"CanIncludeInClipboardHistory", 0}};
    for (const Mark& mark : marks) {
        SCOPED_TRACE(testing::Message() << "mark " << std::string(mark.name, mark.name + wcslen(mark.name)));
        copies = watcher.CopiesPassedOn();
        ASSERT_TRUE(Copy(watcher.Window(), L"hunter2 secret", mark.name, mark.value));
        ASSERT_TRUE(PumpUntil([&] { return watcher.CopiesPassedOn() > copies; }, 10000))
            << "the secret copy's notification was not passed on";
        EXPECT_EQ(TextViewText(window), L"Visible text. ");
        EXPECT_EQ(WindowText(window), caption) << "speech started or the status changed";
        EXPECT_EQ(SelectionEnd(window), 13u);

        // Reading the clipboard on purpose does not take it either.
        const int pastes = watcher.PastesPassedOn();
        PressKey(window, 'V');
        ASSERT_TRUE(PumpUntil([&] { return watcher.PastesPassedOn() > pastes; }, 10000))
            << "the paste's notification was not passed on";
        EXPECT_EQ(TextViewText(window), L"Visible text. ");
        EXPECT_EQ(WindowText(window), caption) << "speech started or the status changed";
    }

    // A copy that allows itself into the history is an ordinary copy.
    ASSERT_TRUE(Copy(watcher.Window(), L"Allowed text.", L"CanIncludeInClipboardHistory", 1));
    EXPECT_TRUE(PumpUntil([&] { return TextViewText(window) == L"Allowed text. "; }, 10000))
        << "the next ordinary copy was not taken";
    EXPECT_TRUE(ReadToTheEnd(window, 13)) << "the next ordinary copy was not read";
}

TEST_F(ClipboardContentTest, CopiedMarkupIsReadWordByWordAsWritten)
{
    // Slow enough that every highlighted word is seen.
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"60");
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    // Words as written end at 17, 19 and 35; read as markup they would end at 13, 19
    // and 28.
    const std::wstring text = L"<html><b>bold</b> & <<note>></html>";
    ASSERT_TRUE(SetClipboardText(text));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == text + L" "; }, 10000)) << "the copy was not taken";

    std::set<DWORD> highlightEnds;
    const bool ended = PumpUntil([&] {
        const DWORD selection = static_cast<DWORD>(SendMessageW(TextViewOf(window), EM_GETSEL, 0, 0));
        if (LOWORD(selection) != HIWORD(selection))
            highlightEnds.insert(HIWORD(selection));
        return WindowText(window).rfind(L"Speech window - stopped", 0) == 0 && selection == static_cast<DWORD>(MAKELONG(35, 35));
    }, 20000);
    EXPECT_TRUE(ended) << "reading did not end after the last word; caret at " << SelectionEnd(window);
    EXPECT_FALSE(highlightEnds.empty()) << "no word was highlighted";
    for (DWORD end : highlightEnds)
        EXPECT_TRUE(end == 17 || end == 19 || end == 35) << "a highlight ends at " << end;
}

} // namespace
