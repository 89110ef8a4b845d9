// Another program for the clipboard tests, behaving as the programs that went wrong with
// Clipvoce did. Its first argument says how, the rest is the text it copies:
//   secret TEXT   a password manager: TEXT, and the mark "ExcludeClipboardContentFromMonitor
//                 Processing" placed for rendering on request, which it never renders
//   stalled TEXT  TEXT, and a format of its own placed for rendering on request: asked
//                 for it, the program never comes back from the request
//   stalled-text  the same with the text itself placed for rendering on request
// Its window's title turns to "ready" once its copy is on the clipboard. The test ends
// the program.
#include <windows.h>
#include <cstring>
#include <string>

namespace {

HGLOBAL TextMemory(const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    return memory;
}

// Stays inside the request for good, answering what else is sent meanwhile (so that
// another program's copy does not wait for it), as a program waiting for something that
// never comes does.
void NeverComeBack()
{
    for (;;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_SENDMESSAGE);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_RENDERFORMAT:
        if (GetWindowLongPtrW(window, GWLP_USERDATA))
            NeverComeBack();
        return 0;   // the mark is rendered as nothing
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool Copy(HWND window, const std::wstring& mode, const std::wstring& text)
{
    if (!OpenClipboard(window))
        return false;
    EmptyClipboard();
    const bool stalled = mode != L"secret";
    SetWindowLongPtrW(window, GWLP_USERDATA, stalled);
    if (mode == L"stalled-text") {
        SetClipboardData(CF_UNICODETEXT, nullptr);
    } else {
        SetClipboardData(CF_UNICODETEXT, TextMemory(text));
        SetClipboardData(RegisterClipboardFormatW(stalled ? L"Clipvoce test stalled format"
                                                          : L"ExcludeClipboardContentFromMonitorProcessing"),
                         nullptr);
    }
    return CloseClipboard();
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    const std::wstring arguments = commandLine;
    const size_t blank = arguments.find(L' ');
    const std::wstring mode = arguments.substr(0, blank);
    const std::wstring rest = blank == std::wstring::npos ? L"" : arguments.substr(blank + 1);

    WNDCLASSW wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"ClipvoceTestOwner";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    // The platform's bridge to other clipboards may hold the clipboard for a moment.
    for (int attempts = 0; !Copy(window, mode, rest); ++attempts) {
        if (attempts == 500)
            return 1;
        Sleep(10);
    }
    SetWindowTextW(window, L"ready");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
