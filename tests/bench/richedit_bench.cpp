// How the platform's rich edit and the program's own text view take a copied text of
// each shape: the time to take it and to count its lines, and the memory kept for it.
// Usage: richedit_bench [richedit|own]; each runs in a process of its own, so that the
// memory figures are the control's alone.
#include <windows.h>
#include <psapi.h>
#include <richedit.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include "view/text_view_control.h"

namespace {

double Time(const std::function<void()>& work)
{
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    work();
    QueryPerformanceCounter(&b);
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

size_t WorkingSetMb()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize >> 20;
}

std::wstring Shape(const char* shape, size_t characters)
{
    if (std::strcmp(shape, "word") == 0)
        return std::wstring(characters, L'x');
    const wchar_t* piece = std::strcmp(shape, "paragraph") == 0 ? L"Words of one long paragraph, and more of them. "
                                                                : L"A sentence of the copied text.\r\n";
    std::wstring text;
    while (text.size() < characters)
        text += piece;
    text.resize(characters);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const bool own = argc < 2 || std::strcmp(argv[1], "richedit") != 0;
    const wchar_t* className = own ? TextViewClassName : L"RICHEDIT50W";
    if (own)
        RegisterTextViewClass();
    else
        LoadLibraryW(L"Msftedit.dll");
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 150, nullptr,
                                  nullptr, nullptr, nullptr);
    // A fresh control for each text: some rich-edit versions take minutes to let go of a
    // long text when given another, which is not what is measured here.
    auto makeView = [&] {
        HWND view = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 0, 0, 300,
                                    120, parent, nullptr, nullptr, nullptr);
        SendMessageW(view, EM_SETUNDOLIMIT, 0, 0);
        SendMessageW(view, EM_EXLIMITTEXT, 0, -1);
        CHARFORMATW format{};
        format.cbSize = sizeof format;
        format.dwMask = CFM_SIZE | CFM_FACE | CFM_BOLD;
        format.dwEffects = CFE_BOLD;
        format.yHeight = 200;
        lstrcpynW(format.szFaceName, L"Courier New", LF_FACESIZE);
        SendMessageW(view, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
        return view;
    };
    const struct {
        const char* shape;
        size_t characters;
    } cases[] = {{"lines", 512 * 1024}, {"lines", 5 * 512 * 1024}, {"paragraph", 100000}, {"word", 20000}};
    std::printf("%s:\n", own ? "own text view" : "rich edit");
    for (const auto& c : cases) {
        const std::wstring text = Shape(c.shape, c.characters);
        HWND view = makeView();
        const size_t before = WorkingSetMb();
        const double set = Time([&] { SendMessageW(view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); });
        LRESULT lines = 0;
        const double count = Time([&] { lines = SendMessageW(view, EM_GETLINECOUNT, 0, 0); });
        const double paint = Time([&] { RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
        const size_t after = WorkingSetMb();
        std::printf("  %-9s %8zu characters: WM_SETTEXT %7.0f ms, all %7ld lines counted after %6.0f ms more, "
                    "paint %4.0f ms; working set %4zu MB -> %4zu MB\n",
                    c.shape, c.characters, set, static_cast<long>(lines), count, paint, before, after);
        std::fflush(stdout);
        DestroyWindow(view);
    }
    DestroyWindow(parent);
    return 0;
}
