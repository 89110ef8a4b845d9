#include "file_bytes.h"
#include <windows.h>
#include <cmath>
#include <cstdint>
#include <cstring>

std::wstring TempFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// The whole file opened with that sharing, or missing when it cannot be opened.
std::string ReadWhole(const std::wstring& path, DWORD share, const char* missing)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return missing;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

} // namespace

std::string ReadBytes(const std::wstring& path)
{
    return ReadWhole(path, FILE_SHARE_READ, "<missing>");
}

std::string ReadSharedBytes(const std::wstring& path)
{
    return ReadWhole(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, "");
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return written == bytes.size();
}

bool WriteToneWav(const std::wstring& path, unsigned seconds)
{
    const uint32_t frames = 48000 * seconds;
    const uint32_t dataBytes = frames * 4;
    std::string b = "RIFF    WAVEfmt ";
    b.reserve(44 + dataBytes);
    const auto put32 = [&](uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](uint16_t v) { b.append(reinterpret_cast<const char*>(&v), 2); };
    put32(16); put16(1); put16(2); put32(48000); put32(192000); put16(4); put16(16);
    b += "data";
    put32(dataBytes);
    const uint32_t riff = static_cast<uint32_t>(b.size() - 8 + dataBytes);
    memcpy(&b[4], &riff, 4);
    // The pitch steps every tenth of a second, so the encoder has something to do.
    for (uint32_t i = 0; i < frames; ++i) {
        const double hertz = 220 + (i / 4800 % 20) * 40;
        const auto sample = static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 2 * 3.14159265358979 * hertz / 48000)));
        put16(sample);
        put16(sample);
    }
    return WriteBytes(path, b);
}
