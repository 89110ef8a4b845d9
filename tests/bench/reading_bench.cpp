// Figures for the road of a copied text: preparation time against text size, the time
// from a clipboard notification to the Speak call, a short copy appended to a long
// view, and the idle program's CPU use.
// Prints figures; asserts nothing.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include "in_process_app.h"
#include "app_driver.h"
#include "pump.h"
#include "settings/app_settings.h"
#include "speech/text_prep.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A text of about `megabytes` MB (UTF-16 code units x 2) with 20,000 line breaks per MB.
std::wstring MakeText(int megabytes)
{
    const size_t units = static_cast<size_t>(megabytes) * 512 * 1024;
    const size_t breakEvery = units / (static_cast<size_t>(megabytes) * 20000);
    std::wstring text;
    text.reserve(units);
    const wchar_t words[] = L"Some words/of a text. And more of it ";
    for (size_t i = 0; i < units; ++i)
        text += (i % breakEvery == breakEvery - 1) ? L'\r' : words[i % (sizeof words / sizeof words[0] - 1)];
    return text;
}

void BenchPreparation()
{
    std::printf("preparation (normalise + sentence count):\n");
    for (int mb : {1, 2, 4, 8, 10}) {
        const std::wstring text = MakeText(mb);
        std::wstring out(2 * text.size() + 1, L'\0');
        double best = 1e9;
        for (int round = 0; round < 3; ++round) {
            LARGE_INTEGER a, b;
            QueryPerformanceCounter(&a);
            NormaliseText(text.c_str(), out.data());
            volatile int sentences = CountSentences(out.c_str());
            (void)sentences;
            QueryPerformanceCounter(&b);
            best = std::min(best, Milliseconds(a, b));
        }
        std::printf("  %2d MB (%zu line breaks): %8.2f ms\n", mb, static_cast<size_t>(mb) * 20000, best);
        std::fflush(stdout);
    }
}

void BenchClipboardToSpeak(size_t kilobytes)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    std::wstring text;
    while (text.size() < kilobytes * 512)
        text += L"A sentence of the copied text.\r\n";
    SetClipboardText(text);
    PumpPending();
    app.voice.Take();
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    SendMessageW(app.window(), WM_DRAWCLIPBOARD, 0, 0);
    QueryPerformanceCounter(&b);
    bool spoke = false;
    for (const auto& call : app.voice.Take())
        spoke = spoke || call == L"Speak";
    std::printf("WM_DRAWCLIPBOARD to Speak for %zu KB of text: %.1f ms (spoke: %s)\n", kilobytes,
                Milliseconds(a, b), spoke ? "yes" : "no");
    std::fflush(stdout);
}

// Loads a long text, then times the notification that appends a short copy to it.
void BenchAppendToLongText(int megabytes, const wchar_t* copy)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    SetClipboardText(MakeText(megabytes));
    PumpPending();
    AppSettings.appendCopies = true;
    // The short copy goes on the clipboard unseen, then is taken as a copy is.
    AppSettings.monitorClipboard = false;
    SetClipboardText(copy);
    PumpPending();
    AppSettings.monitorClipboard = true;
    app.voice.Take();
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    SendMessageW(app.window(), WM_DRAWCLIPBOARD, 0, 0);
    QueryPerformanceCounter(&b);
    const std::wstring text = app.reader().Text().Text();
    const bool appended = text.find(L"letters") != std::wstring::npos;
    std::printf("append %zu characters%s to a %d MB view: %.1f ms (appended: %s)\n", std::wcslen(copy),
                std::wcschr(copy, L'\r') ? " with a line break" : "", megabytes, Milliseconds(a, b),
                appended ? "yes" : "no");
    std::fflush(stdout);
}

void BenchIdleCpu()
{
    WriteSettingsFile();
    AppProcess program;
    if (!program.Window()) {
        std::printf("idle CPU: program did not start\n");
        return;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, program.Id());
    auto cpu = [&] {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(process, &created, &exited, &kernel, &user);
        return (ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
                ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) / 10000.0;
    };
    PumpUntil([] { return false; }, 2000);
    const double before = cpu();
    PumpUntil([] { return false; }, 30000);
    std::printf("idle CPU over 30 s: %.1f ms\n", cpu() - before);
    CloseHandle(process);
}

} // namespace

// Arguments pick parts: "prep", "clipboard", "append", "idle"; none runs all.
int main(int argc, char** argv)
{
    auto wanted = [&](const char* part) {
        if (argc < 2)
            return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0)
                return true;
        return false;
    };
    if (wanted("prep"))
        BenchPreparation();
    if (wanted("clipboard"))
        for (size_t kilobytes : {64, 256, 1024, 4096})
            BenchClipboardToSpeak(kilobytes);
    if (wanted("append"))
        for (const wchar_t* copy : {L"Twenty more letters.", L"Twenty more\r\nletters"})
            BenchAppendToLongText(5, copy);
    if (wanted("idle"))
        BenchIdleCpu();
    return 0;
}
