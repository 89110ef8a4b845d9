// How long the settings document takes to load, answer lookups and save as the file
// grows: the time should grow in step with the number of keys.
#include <windows.h>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include "file_bytes.h"
#include "settings/ini_file.h"

namespace {

// Processor time of this thread, in ms: on a machine shared with other work the elapsed
// time says more about the neighbours than about the code.
double ThreadMs()
{
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user))
        return 0;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

struct Timing {
    double elapsedMs;
    double cpuMs;
};

Timing Time(const std::function<void()>& work)
{
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    const double cpuBefore = ThreadMs();
    QueryPerformanceCounter(&a);
    work();
    QueryPerformanceCounter(&b);
    return Timing{1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart),
                  ThreadMs() - cpuBefore};
}

// The program's three sections, then a large one of short keys (about 12.5 bytes a key,
// as in a file that some tool filled), so every lookup lands in a crowded section.
std::string MakeFile(int keys)
{
    // In the form Save writes, so that a save must give back the same bytes.
    std::string bytes = "[window]\r\nx=10\r\n\r\n[settings]\r\nrate=1\r\n\r\n[export]\r\nwav=1\r\n\r\n[bulk]\r\n";
    char line[32];
    for (int i = 0; i < keys; ++i) {
        snprintf(line, sizeof line, "k%06d=%d\r\n", i, i % 100);
        bytes += line;
    }
    return bytes + "\r\n";
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"ini_bench.ini";
    for (const int keys : {25000, 50000, 100000, 200000}) {
        const std::string bytes = MakeFile(keys);
        WriteBytes(path, bytes);
        CIniFile ini;
        bool loaded = false;
        const Timing load = Time([&] { loaded = ini.Load(path); });
        std::mt19937 random(1);
        int found = 0;
        const Timing lookups = Time([&] {
            for (int i = 0; i < 1000; ++i) {
                wchar_t key[16];
                swprintf(key, 16, L"K%06d", static_cast<int>(random() % keys));
                found += ini.FindKey(ini.FindSection(L"BULK"), key) >= 0;
            }
        });
        bool saved = false;
        const Timing save = Time([&] { saved = ini.Save(path); });
        const bool same = ReadBytes(path) == bytes;
        std::printf("%6d keys, %7zu bytes: load %5.0f ms (cpu %4.0f), 1000 lookups %4.1f ms (cpu %4.1f, %d found), "
                    "save %4.0f ms (cpu %4.0f)%s\n",
                    keys, bytes.size(), load.elapsedMs, load.cpuMs, lookups.elapsedMs, lookups.cpuMs, found,
                    save.elapsedMs, save.cpuMs,
                    loaded && saved && same ? "" : "  FAILED: not read or not written back unchanged");
    }
    DeleteFileW(path.c_str());
    return 0;
}
