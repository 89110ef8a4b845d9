#include "platform/whole_file.h"
#include "platform/scoped_handle.h"
#include <algorithm>

FileStamp StampOf(const std::wstring& filePath)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(filePath.c_str(), GetFileExInfoStandard, &info))
        return {};
    const auto join = [](DWORD high, DWORD low) { return (static_cast<ULONGLONG>(high) << 32) | low; };
    return {join(info.nFileSizeHigh, info.nFileSizeLow),
            join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)};
}

DWORD ReadWholeFile(const std::wstring& filePath, std::string& bytes)
{
    const FileHandle file(CreateFileW(filePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error != 0 ? error : ERROR_OPEN_FAILED;
    }
    bytes.clear();
    char buffer[65536];
    DWORD got = 0;
    DWORD error = 0;
    for (;;) {
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            error = GetLastError();
            if (error == 0)
                error = ERROR_READ_FAULT;
            break;
        }
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    return error;
}

bool WriteFileInPlaceOf(const std::wstring& filePath, const std::string& bytes)
{
    if (filePath.empty())
        return false;
    // A user who marks the file read-only wants it left alone; replacing it through the
    // temporary file would drop that mark along with the content.
    const DWORD attributes = GetFileAttributesW(filePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const std::wstring temporary = filePath + L".tmp";
    FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bool complete = true;
    size_t done = 0;
    while (complete && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        complete = WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    complete = complete && FlushFileBuffers(file.get());
    // Closed here, not at the end of the function: the file is moved next.
    complete = CloseHandle(file.release()) && complete;
    if (complete && MoveFileExW(temporary.c_str(), filePath.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    // The caller is told why the save failed, not how the clean-up went.
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    SetLastError(error);
    return false;
}
