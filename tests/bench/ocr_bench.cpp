// The text of a copied full-HD screenshot of a page of text, in the real program: how
// long from the copy until the text is shown, how long the window took at most to
// answer meanwhile, and the program's memory before, at its peak and afterwards.
// Usage: scripts/bench ocr [ROUNDS]
#include <windows.h>
#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "app_driver.h"
#include "copy_watch.h"
#include "image_copies.h"
#include "pump.h"
#include "responsiveness.h"

namespace {

const std::wstring Paragraph =
    L"The committee met on Tuesday to discuss the new library building. After a short welcome, the chair "
    L"asked each member to report on the work of the past month. The architects had finished the plans for "
    L"the reading rooms, and the builders expected to start in early spring. Several members asked whether "
    L"the old shelves could be kept, since they were made of solid oak and had served the town for nearly a "
    L"century.";

// 1920 x 1080, white, a column of ten paragraphs of 11 point text, as a web page shows.
std::wstring DrawScreenshot()
{
    std::wstring paragraphs;
    for (int i = 0; i < 10; ++i)
        paragraphs += L" caption:\"" + Paragraph + L"\"";
    return Draw(L"screenshot", L"-size 1000x -background white -fill black -font DejaVu-Sans -density 96 -pointsize 11" +
                                   paragraphs + L" -splice 0x14 -append -gravity north -extent 1920x1080");
}

size_t WorkingSetMb(HANDLE process, bool peak = false)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return (peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize) >> 20;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    WriteSettingsFile({{L"autoplay", L"0"}});
    EmptyTheClipboard();
    const std::wstring screenshot = DrawScreenshot();
    if (screenshot.empty()) {
        std::printf("ImageMagick drew no screenshot\n");
        return 1;
    }
    AppProcess program;
    HWND window = program.Window();
    AppProcess idle(L"", BinFolder() + L"\\selection_window.exe");
    const HWND idleWindow = WaitForProcessWindow(idle.Id(), L"Edit", nullptr, 10000);
    if (!window || !idleWindow) {
        std::printf("the program or the idle window did not start\n");
        return 1;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, program.Id());
    for (int round = 0; round < rounds; ++round) {
        const std::wstring marker = L"Round " + std::to_wstring(round) + L".";
        SetClipboardText(marker);
        PumpUntil([&] { return TextViewText(window) == marker + L" "; }, 10000);
        const size_t before = WorkingSetMb(process);
        ResponsivenessProbe probe(window, idleWindow);
        const double copied = NowMs();
        CopyImageFromX(screenshot);
        const bool shown = PumpUntil([&] { return TextViewText(window).size() > 1000; }, 60000);
        const double shownMs = NowMs() - copied;
        probe.Stop();
        const size_t peak = WorkingSetMb(process, true);
        // The recognition's thread ends right after it hands the text over.
        PumpUntil([] { return false; }, 1000);
        const size_t after = WorkingSetMb(process);
        std::wstring expected;
        for (int i = 0; i < 10; ++i)
            expected += Paragraph + L" ";
        std::printf("full-HD screenshot, round %d: text %s after %.0f ms (%zu characters, character error rate %.2f %%); "
                    "longest repaint wait %lu ms "
                    "(idle window %lu ms, %d asked); working set %zu MB before, peak %zu MB, %zu MB after\n",
                    round + 1, shown ? "shown" : "NOT shown", shownMs, TextViewText(window).size(),
                    100 * CharacterErrorRate(TextViewText(window), expected),
                    probe.WindowLongestMs(), probe.ControlLongestMs(), probe.Rounds(), before, peak, after);
        std::fflush(stdout);
    }
    CloseHandle(process);
    return 0;
}
