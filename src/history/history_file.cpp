#include "history/history_file.h"
#include "platform/log.h"
#include "platform/whole_file.h"
#include <wincrypt.h>
#include <climits>
#include <cstring>
#include <new>

namespace {

// "CVHIST" and two bytes no text file starts with, then the version as 4 bytes.
constexpr char Magic[8] = {'C', 'V', 'H', 'I', 'S', 'T', '\x1A', '\x00'};
constexpr uint32_t Version = 1;
constexpr size_t HeaderBytes = sizeof Magic + sizeof(uint32_t);
constexpr uint32_t TooLargeFlag = 1;
// Flags, position, the two halves of the time and the length.
constexpr size_t EntryHeadBytes = 5 * sizeof(uint32_t);
// The encryption adds a few hundred bytes to what it is given; a file far larger than a
// full history could be is not read into memory at all.
constexpr ULONGLONG MaxFileBytes = MaxHistoryBytes + MaxHistoryEntries * EntryHeadBytes + (1u << 20);

void Put32(std::string& out, uint32_t value)
{
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

// Reads the blob front to back; every Take fails rather than reading past the end.
class Cursor {
public:
    explicit Cursor(const std::string& bytes) : at_(bytes.data()), left_(bytes.size()) {}
    bool Take32(uint32_t& value) { return Take(&value, sizeof value); }
    bool Take(void* to, size_t size)
    {
        if (size > left_)
            return false;
        std::memcpy(to, at_, size);
        at_ += size;
        left_ -= size;
        return true;
    }
    size_t Left() const { return left_; }

private:
    const char* at_;
    size_t left_;
};

bool DecodeEntry(Cursor& cursor, size_t& textBytes, HistoryEntry& entry)
{
    uint32_t flags = 0, position = 0, low = 0, high = 0, length = 0;
    if (!cursor.Take32(flags) || !cursor.Take32(position) || !cursor.Take32(low) || !cursor.Take32(high) ||
        !cursor.Take32(length))
        return false;
    // Flags this version does not know would mean a meaning it cannot keep.
    if ((flags & ~TooLargeFlag) != 0 || position > static_cast<uint32_t>(INT_MAX))
        return false;
    entry.tooLarge = (flags & TooLargeFlag) != 0;
    entry.position = static_cast<int>(position);
    entry.taken = {low, high};
    const size_t bytes = size_t{length} * sizeof(wchar_t);
    if (entry.tooLarge)
        return length == 0;
    // Checked before the text is allocated: a damaged length must not cost memory.
    if (bytes > MaxKeptTextBytes || bytes > cursor.Left() || position > length)
        return false;
    textBytes += bytes;
    if (textBytes > MaxHistoryBytes)
        return false;
    auto text = std::make_shared<std::wstring>(length, L'\0');
    if (!cursor.Take(text->data(), bytes))
        return false;
    entry.text = std::move(text);
    return true;
}

// The header this version writes; a file must start with it byte for byte.
std::string Header()
{
    std::string header(Magic, sizeof Magic);
    Put32(header, Version);
    return header;
}

bool Protect(const std::string& plain, std::string& out)
{
    DATA_BLOB in{static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE*>(const_cast<char*>(plain.data()))};
    DATA_BLOB sealed{};
    // Without CRYPTPROTECT_LOCAL_MACHINE only this user, not every account on the
    // computer, can read it back; no dialog may ever appear from a background save.
    if (!CryptProtectData(&in, L"Clipvoce reading history", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &sealed))
        return false;
    out.append(reinterpret_cast<const char*>(sealed.pbData), sealed.cbData);
    LocalFree(sealed.pbData);
    return true;
}

bool Unprotect(const char* data, size_t size, std::string& plain)
{
    DATA_BLOB in{static_cast<DWORD>(size), reinterpret_cast<BYTE*>(const_cast<char*>(data))};
    DATA_BLOB opened{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &opened))
        return false;
    plain.assign(reinterpret_cast<const char*>(opened.pbData), opened.cbData);
    // The texts stay in memory anyway, but this copy is of no more use to anyone.
    SecureZeroMemory(opened.pbData, opened.cbData);
    LocalFree(opened.pbData);
    return true;
}

HistoryFileState Damaged(const wchar_t* why)
{
    LogLine(std::wstring(L"The reading history file is damaged: ") + why);
    return HistoryFileState::Damaged;
}

} // namespace

std::string EncodeHistory(const std::vector<HistoryEntry>& entries)
{
    size_t size = sizeof(uint32_t);
    for (const HistoryEntry& entry : entries)
        size += EntryHeadBytes + (entry.text ? entry.text->size() * sizeof(wchar_t) : 0);
    std::string bytes;
    bytes.reserve(size);
    Put32(bytes, static_cast<uint32_t>(entries.size()));
    for (const HistoryEntry& entry : entries) {
        const bool kept = entry.text && !entry.tooLarge;
        Put32(bytes, entry.tooLarge ? TooLargeFlag : 0);
        Put32(bytes, static_cast<uint32_t>(entry.position < 0 ? 0 : entry.position));
        Put32(bytes, entry.taken.dwLowDateTime);
        Put32(bytes, entry.taken.dwHighDateTime);
        Put32(bytes, kept ? static_cast<uint32_t>(entry.text->size()) : 0);
        if (kept)
            bytes.append(reinterpret_cast<const char*>(entry.text->data()), entry.text->size() * sizeof(wchar_t));
    }
    return bytes;
}

bool DecodeHistory(const std::string& bytes, std::vector<HistoryEntry>& entries)
{
    entries.clear();
    Cursor cursor(bytes);
    uint32_t count = 0;
    if (!cursor.Take32(count) || count > MaxHistoryEntries)
        return false;
    entries.resize(count);
    size_t textBytes = 0;
    for (HistoryEntry& entry : entries)
        if (!DecodeEntry(cursor, textBytes, entry)) {
            entries.clear();
            return false;
        }
    if (cursor.Left() != 0) {
        entries.clear();
        return false;
    }
    return true;
}

namespace {

HistoryFileState ReadFrom(const std::wstring& path, std::vector<HistoryEntry>& entries)
{
    if (StampOf(path).size > MaxFileBytes)
        return Damaged(L"larger than any history");
    std::string bytes;
    const DWORD error = ReadWholeFile(path, bytes);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return HistoryFileState::Missing;
    if (error != 0) {
        LogFailure(L"ReadWholeFile of the reading history", error);
        return HistoryFileState::Damaged;
    }
    if (bytes.size() > MaxFileBytes)
        return Damaged(L"larger than any history");
    if (bytes.size() < HeaderBytes || bytes.compare(0, HeaderBytes, Header()) != 0)
        return Damaged(L"not a history of this version");
    std::string plain;
    if (!Unprotect(bytes.data() + HeaderBytes, bytes.size() - HeaderBytes, plain)) {
        LogFailure(L"CryptUnprotectData of the reading history", GetLastError());
        return HistoryFileState::Damaged;
    }
    bytes.clear();
    const bool decoded = DecodeHistory(plain, entries);
    SecureZeroMemory(plain.data(), plain.size());
    return decoded ? HistoryFileState::Read : Damaged(L"its entries do not add up");
}

} // namespace

HistoryFileState ReadHistoryFile(const std::wstring& path, std::vector<HistoryEntry>& entries)
{
    entries.clear();
    try {
        return ReadFrom(path, entries);
    } catch (const std::bad_alloc&) {
        entries.clear();
        LogFailure(L"Reading the history", ERROR_NOT_ENOUGH_MEMORY);
        return HistoryFileState::Damaged;
    }
}

bool WriteHistoryFile(const std::wstring& path, const std::vector<HistoryEntry>& entries)
{
    DWORD error = 0;
    try {
        std::string plain = EncodeHistory(entries);
        std::string bytes = Header();
        const bool sealed = Protect(plain, bytes);
        if (!sealed)
            error = GetLastError() != 0 ? GetLastError() : ERROR_ENCRYPTION_FAILED;
        SecureZeroMemory(plain.data(), plain.size());
        if (!sealed) {
            LogFailure(L"CryptProtectData of the reading history", error);
        } else if (!WriteFileInPlaceOf(path, bytes)) {
            error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
            LogFailure(L"WriteFileInPlaceOf of the reading history", error);
        }
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        LogFailure(L"Writing the history", error);
    }
    if (error == 0)
        return true;
    SetLastError(error);
    return false;
}
