#pragma once
// Files read and written whole: a file the user keeps (settings, dictionary) is either
// read through or not at all, and replaced only by a complete new one.
#include <windows.h>
#include <string>

// What tells that a file changed: its size and the time it was last written. A missing
// file has the zero stamp.
struct FileStamp {
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::wstring& filePath);

// 0 when the whole file was read, else the platform's error. A file read only in part
// (another program holds a lock on a range of it) counts as not read: what was missed
// would otherwise read as missing.
DWORD ReadWholeFile(const std::wstring& filePath, std::string& bytes);

// The old file is replaced only once the new one is complete on disk: a crash or a full
// disk half-way through must not leave the user with an empty or cut-off file. False with
// the platform's error as the last error.
bool WriteFileInPlaceOf(const std::wstring& filePath, const std::string& bytes);
