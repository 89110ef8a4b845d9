// Another program for the hot key tests: an edit control as its own window, holding the
// text given on the command line, all of it selected, in front with the keyboard focus.
// An empty command line leaves it empty, so that nothing is selected.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    HWND edit = CreateWindowW(L"EDIT", commandLine, WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_AUTOHSCROLL, 50, 50, 400,
                              80, nullptr, nullptr, instance, nullptr);
    if (!edit)
        return 1;
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
