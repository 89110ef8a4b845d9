// How long the rich-edit control takes for the operations a copied text goes through.
#include <windows.h>
#include <richedit.h>
#include <cstdio>
#include <string>
#include <functional>
#include "speech/text_view.h"

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

struct StreamSource {
    const char* data;
    size_t size;
    size_t at;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got)
{
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    const size_t n = std::min<size_t>(static_cast<size_t>(wanted), source->size - source->at);
    memcpy(buffer, source->data + source->at, n);
    source->at += n;
    *got = static_cast<LONG>(n);
    return 0;
}

} // namespace

int main()
{
    LoadTextViewLibrary();
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 150, nullptr, nullptr, nullptr, nullptr);
    TextView view;
    view.Create(parent, RECT{0, 0, 300, 150});
    for (size_t kb : {64, 128, 256}) {
        std::wstring crlf, cr;
        while (crlf.size() < kb * 512) {
            crlf += L"A sentence of the copied text.\r\n";
            cr += L"A sentence of the copied text.\r";
        }
        std::printf("%zu KB: WM_SETTEXT crlf %.0f ms", kb, Time([&] { view.SetText(crlf.c_str()); }));
        std::printf(", cr %.0f ms", Time([&] { view.SetText(cr.c_str()); }));
        std::printf(", empty %.0f ms", Time([&] { view.SetText(L""); }));
        std::printf(", cr again %.0f ms", Time([&] { view.SetText(cr.c_str()); }));
        std::printf(", get %.0f ms", Time([&] { view.GetText(); }));
        std::printf(", linecount %.0f ms", Time([&] { view.LineCount(); }));
        std::printf(", append %.0f ms", Time([&] { const int n = view.WindowTextLength(); view.Select(n, n); view.ReplaceSelection(L" "); }));
        SETTEXTEX st{ST_DEFAULT, 1200};
        std::printf(", settextex %.0f ms", Time([&] { SendMessageW(view.Handle(), EM_SETTEXTEX, reinterpret_cast<WPARAM>(&st), reinterpret_cast<LPARAM>(cr.c_str())); }));
        StreamSource source{reinterpret_cast<const char*>(cr.data()), cr.size() * 2, 0};
        EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&source), 0, ReadStream};
        std::printf(", streamin %.0f ms\n", Time([&] { SendMessageW(view.Handle(), EM_STREAMIN, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&es)); }));
        std::fflush(stdout);
    }
    return 0;
}
