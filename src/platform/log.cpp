#include "platform/log.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include <cwchar>
#include <mutex>
#include <string>

namespace {

// The log is the process's own, like its standard error would be: every layer writes to
// it, from every thread. It is opened once: under Wine an open costs as much as hundreds
// of lines written.
std::mutex logLock;
std::wstring logPath;
FileHandle logFile;
ULONGLONG logBytes = 0;

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

// Others may read it, and the rotation renames it, while it is open.
void OpenLogFile()
{
    logFile = FileHandle(CreateFileW(logPath.c_str(), FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    logBytes = logFile && GetFileSizeEx(logFile.get(), &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
}

// A file that the new line would take past the limit makes way for a fresh one.
void MakeRoomFor(size_t bytes)
{
    if (!logFile || logBytes == 0 || logBytes + bytes <= MaxLogBytes)
        return;
    logFile.reset();
    MoveFileExW(logPath.c_str(), (logPath + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    OpenLogFile();
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
    logFile.reset();
    logPath = path;
    if (!logPath.empty())
        OpenLogFile();
}

void LogLine(const std::wstring& line)
{
    const std::string bytes = Utf8(TimeStamp() + line + L"\r\n");
    const std::lock_guard<std::mutex> hold(logLock);
    if (logPath.empty())
        return;
    // Without its log the program goes on all the same; there is nowhere to tell of it.
    // A file that could not be opened is tried again at the next line.
    if (!logFile)
        OpenLogFile();
    MakeRoomFor(bytes.size());
    DWORD written = 0;
    if (logFile && WriteFile(logFile.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        logBytes += written;
}

void LogFailure(const std::wstring& call, DWORD code)
{
    // HRESULTs read best in hexadecimal, system error codes as the numbers they are documented by.
    wchar_t number[16];
    swprintf(number, 16, (code & 0x80000000u) ? L"0x%08lX" : L"%lu", static_cast<unsigned long>(code));
    LogLine(call + L" failed: " + number + L" " + SystemErrorText(code));
}
