// Another program for the hot key tests: an edit control as its own window, holding the
// text given on the command line, all of it selected, in front with the keyboard focus.
// An empty command line leaves it empty, so that nothing is selected.
// Environment variables make its Ctrl+C behave as some programs' do:
//   CLIPVOCE_TEST_COPY_DELAY_MS  the copy is made this long after the keys
//   CLIPVOCE_TEST_COPY_HOLD_MS   the clipboard is kept open this long once the copy is in it
//   CLIPVOCE_TEST_COPY_MARK      the copy carries the mark of a secret
// With any of them, the window's title turns to "copied" when the clipboard is closed.
#include <windows.h>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

WNDPROC editProc = nullptr;
UINT delayMs = 0;
UINT holdMs = 0;
bool marked = false;
constexpr UINT_PTR CopyTimer = 1;
constexpr UINT_PTR CloseTimer = 2;

UINT Setting(const wchar_t* name)
{
    wchar_t value[32] = L"";
    return GetEnvironmentVariableW(name, value, 32) ? static_cast<UINT>(wcstoul(value, nullptr, 10)) : 0;
}

HGLOBAL Memory(const void* bytes, size_t size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    return memory;
}

std::wstring Selection(HWND edit)
{
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    std::wstring text(GetWindowTextLengthW(edit) + 1, L'\0');
    GetWindowTextW(edit, text.data(), static_cast<int>(text.size()));
    return text.substr(start, end - start);
}

void CopySelection(HWND edit)
{
    const std::wstring text = Selection(edit);
    if (!OpenClipboard(edit))
        return;
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, Memory(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
    if (marked) {
        const DWORD one = 1;
        SetClipboardData(RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing"), Memory(&one, sizeof one));
    }
    SetTimer(edit, CloseTimer, holdMs, nullptr);
}

LRESULT CALLBACK CopyingEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    // As the edit control's own copy, nothing selected copies nothing.
    if (message == WM_COPY) {
        if (!Selection(edit).empty())
            SetTimer(edit, CopyTimer, delayMs, nullptr);
        return 0;
    }
    if (message == WM_TIMER && (wParam == CopyTimer || wParam == CloseTimer)) {
        KillTimer(edit, wParam);
        if (wParam == CopyTimer) {
            CopySelection(edit);
        } else {
            CloseClipboard();
            // The caption, which other programs read; the edit control keeps its text.
            DefWindowProcW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"copied"));
        }
        return 0;
    }
    return CallWindowProcW(editProc, edit, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    HWND edit = CreateWindowW(L"EDIT", commandLine, WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_AUTOHSCROLL, 50, 50, 400,
                              80, nullptr, nullptr, instance, nullptr);
    if (!edit)
        return 1;
    delayMs = Setting(L"CLIPVOCE_TEST_COPY_DELAY_MS");
    holdMs = Setting(L"CLIPVOCE_TEST_COPY_HOLD_MS");
    marked = Setting(L"CLIPVOCE_TEST_COPY_MARK") != 0;
    if (delayMs || holdMs || marked)
        editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CopyingEditProc)));
    SetForegroundWindow(edit);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    // The test ends the program.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
