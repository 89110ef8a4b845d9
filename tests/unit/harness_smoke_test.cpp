// Proves that the test environment runs real windows: a rich-edit control and the
// clipboard-viewer chain behave as the program relies on.
#include <windows.h>
#include <richedit.h>
#include <gtest/gtest.h>
#include <string>
#include "pump.h"

namespace {

int drawClipboardCount = 0;
HWND nextViewer = nullptr;

LRESULT CALLBACK SmokeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_DRAWCLIPBOARD:
        ++drawClipboardCount;
        if (nextViewer)
            SendMessageW(nextViewer, msg, wp, lp);
        return 0;
    case WM_CHANGECBCHAIN:
        if (reinterpret_cast<HWND>(wp) == nextViewer)
            nextViewer = reinterpret_cast<HWND>(lp);
        else if (nextViewer)
            SendMessageW(nextViewer, msg, wp, lp);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

struct SmokeWindow {
    HWND hwnd = nullptr;
    SmokeWindow()
    {
        WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
        wc.lpfnWndProc = SmokeProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Clipvoce";
        RegisterClassExW(&wc);
        hwnd = CreateWindowExW(0, L"Clipvoce", L"Speech window", WS_OVERLAPPEDWINDOW,
                               0, 0, 300, 150, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~SmokeWindow() { DestroyWindow(hwnd); }
};

std::wstring RichText(HWND edit)
{
    GETTEXTLENGTHEX len{GTL_DEFAULT, 1200};
    const LRESULT n = SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GETTEXTEX get{static_cast<DWORD>((n + 1) * 2), GT_DEFAULT, 1200, nullptr, nullptr};
    SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

TEST(Harness, RichEditKeepsCrLineBreak)
{
    ASSERT_NE(LoadLibraryW(L"Msftedit.dll"), nullptr);
    SmokeWindow main;
    ASSERT_NE(main.hwnd, nullptr);
    HWND edit = CreateWindowExW(0, L"RICHEDIT50W", L"", 0x50000944, 0, 0, 300, 150,
                                main.hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    SetWindowTextW(edit, L"Hello\rWorld");
    EXPECT_EQ(RichText(edit), L"Hello\rWorld");
}

TEST(Harness, ClipboardViewerChainDeliversDrawClipboard)
{
    SmokeWindow main;
    ASSERT_NE(main.hwnd, nullptr);
    nextViewer = SetClipboardViewer(main.hwnd);
    // Joining the chain sends one notification at once; count only what follows.
    PumpPending();
    const int before = drawClipboardCount;

    ASSERT_TRUE(OpenClipboard(main.hwnd));
    EmptyClipboard();
    const wchar_t text[] = L"copied text";
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
    memcpy(GlobalLock(mem), text, sizeof text);
    GlobalUnlock(mem);
    ASSERT_NE(SetClipboardData(CF_UNICODETEXT, mem), nullptr);
    CloseClipboard();

    EXPECT_TRUE(PumpUntil([&] { return drawClipboardCount > before; }, 10000));
    ChangeClipboardChain(main.hwnd, nextViewer);
}

} // namespace
