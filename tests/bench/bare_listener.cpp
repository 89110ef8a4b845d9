// The least a program must wait for a copy: it takes the text as soon as the clipboard
// tells of it and appends when it had it, on the performance counter's milliseconds, to
// the file named by its argument (a first line "0" once it listens). Ended by its starter.
#include <windows.h>
#include <cstdio>
#include <string>

namespace {

const wchar_t* notesPath = nullptr;

void Note(double ms)
{
    FILE* file = _wfopen(notesPath, L"a");
    if (!file)
        return;
    std::fprintf(file, "%.3f\n", ms);
    std::fclose(file);
}

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_CLIPBOARDUPDATE || !OpenClipboard(window))
        return DefWindowProcW(window, message, wParam, lParam);
    bool had = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            const std::wstring copy(text);
            GlobalUnlock(data);
            had = !copy.empty();
        }
    }
    CloseClipboard();
    if (had)
        Note(NowMs());
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int)
{
    notesPath = arguments;
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = L"BareClipboardListener";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (!window || !AddClipboardFormatListener(window))
        return 1;
    Note(0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
