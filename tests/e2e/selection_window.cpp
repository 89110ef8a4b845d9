// Another program for the hot key tests: a window whose edit control holds the text
// given on the command line, all of it selected, in front with the keyboard focus.
// An empty command line leaves the control empty, so that nothing is selected.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"ClipvoceTestSelection";
    if (!RegisterClassW(&wc))
        return 1;
    HWND window = CreateWindowW(wc.lpszClassName, L"Selection", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 120,
                                nullptr, nullptr, instance, nullptr);
    HWND edit = CreateWindowW(L"EDIT", commandLine, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 10, 360,
                              24, window, nullptr, instance, nullptr);
    if (!window || !edit)
        return 1;
    SetForegroundWindow(window);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
