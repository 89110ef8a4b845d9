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

double Time(const std::function<void()>& work)
{
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    work();
    QueryPerformanceCounter(&b);
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
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
        const double loadMs = Time([&] { loaded = ini.Load(path); });
        std::mt19937 random(1);
        int found = 0;
        const double lookupMs = Time([&] {
            for (int i = 0; i < 1000; ++i) {
                wchar_t key[16];
                swprintf(key, 16, L"K%06d", static_cast<int>(random() % keys));
                found += ini.FindKey(ini.FindSection(L"BULK"), key) >= 0;
            }
        });
        bool saved = false;
        const double saveMs = Time([&] { saved = ini.Save(path); });
        const bool same = ReadBytes(path) == bytes;
        std::printf("%6d keys, %7zu bytes: load %6.0f ms, 1000 lookups %5.1f ms (%d found), save %5.0f ms%s\n",
                    keys, bytes.size(), loadMs, lookupMs, found, saveMs,
                    loaded && saved && same ? "" : "  FAILED: not read or not written back unchanged");
    }
    DeleteFileW(path.c_str());
    return 0;
}
