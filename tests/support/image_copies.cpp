#include "image_copies.h"
#include "pump.h"
#include <algorithm>
#include <vector>

bool StartUnix(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = program + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::wstring path = L"Z:" + program;
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return true;
}

std::wstring Draw(const std::wstring& name, const std::wstring& arguments)
{
    const std::wstring path = L"/tmp/clipvoce-ocr-" + name + L".png";
    const std::wstring windowsPath = L"Z:" + path;
    DeleteFileW(windowsPath.c_str());
    const std::wstring script = L"convert " + arguments + L" " + path + L".part.png && mv " + path + L".part.png " + path;
    std::wstring quoted;
    for (const wchar_t c : script)
        quoted += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
    if (!StartUnix(L"/bin/sh", L"-c \"" + quoted + L"\""))
        return {};
    const bool drawn = PumpUntil([&] { return GetFileAttributesW(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000);
    return drawn ? path : std::wstring();
}

bool CopyImageFromX(const std::wstring& path)
{
    return StartUnix(L"/usr/bin/xclip", L"-selection clipboard -t image/png -i " + path);
}

double CharacterErrorRate(const std::wstring& found, const std::wstring& expected)
{
    auto plain = [](const std::wstring& text) {
        std::wstring out;
        for (const wchar_t c : text) {
            const bool blank = c == L' ' || c == L'\r' || c == L'\n' || c == L'\t';
            if (!blank)
                out += c;
            else if (!out.empty() && out.back() != L' ')
                out += L' ';
        }
        while (!out.empty() && out.back() == L' ')
            out.pop_back();
        return out;
    };
    const std::wstring a = plain(found);
    const std::wstring b = plain(expected);
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return static_cast<double>(row[b.size()]) / b.size();
}

