#include "platform/log.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include <cwchar>
#include <mutex>
#include <string>

namespace {

// The log is the process's own, like its standard error would be: every layer writes to
// it, from every thread.
std::mutex logLock;
std::wstring logPath;

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                            nullptr);
    return bytes;
}

FileHandle OpenForAppending(const std::wstring& path)
{
    return FileHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A file that the new line would take past the limit makes way for a fresh one.
FileHandle OpenWithRoomFor(const std::wstring& path, size_t bytes)
{
    FileHandle file = OpenForAppending(path);
    LARGE_INTEGER size{};
    if (file && GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
        size.QuadPart + static_cast<LONGLONG>(bytes) > static_cast<LONGLONG>(MaxLogBytes)) {
        file.reset();
        MoveFileExW(path.c_str(), (path + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
        file = OpenForAppending(path);
    }
    return file;
}

std::wstring TimeStamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    return stamp;
}

} // namespace

void StartLog(const std::wstring& path)
{
    const std::lock_guard<std::mutex> hold(logLock);
    logPath = path;
}

void LogLine(const std::wstring& line)
{
    const std::string bytes = Utf8(TimeStamp() + line + L"\r\n");
    const std::lock_guard<std::mutex> hold(logLock);
    if (logPath.empty())
        return;
    // Without its log the program goes on all the same; there is nowhere to tell of it.
    const FileHandle file = OpenWithRoomFor(logPath, bytes.size());
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void LogFailure(const std::wstring& call, DWORD code)
{
    // HRESULTs read best in hexadecimal, system error codes as the numbers they are documented by.
    wchar_t number[16];
    swprintf(number, 16, (code & 0x80000000u) ? L"0x%08lX" : L"%lu", static_cast<unsigned long>(code));
    LogLine(call + L" failed: " + number + L" " + SystemErrorText(code));
}
