// The reading history: what a saved history reads back as, that its file shows none of
// the texts, its caps, what becomes of a damaged file, and the writes in the background
// and at the end.
#include <windows.h>
#include <wincrypt.h>
#include <gtest/gtest.h>
#include "file_bytes.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "history/reading_history.h"

namespace {

FILETIME Time(ULONGLONG ticks)
{
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::shared_ptr<const std::wstring> Text(std::wstring text)
{
    return std::make_shared<const std::wstring>(std::move(text));
}

// A path in this run's own folder, with no file there yet.
std::wstring FreshFile(const std::wstring& name)
{
    static const std::wstring folder = TempFolder(L"history_test." + std::to_wstring(GetCurrentProcessId()));
    const std::wstring path = folder + L"\\" + name;
    DeleteFileW(path.c_str());
    return path;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void Put32(std::string& out, uint32_t value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A file with a well-formed header and blob around the given inner bytes, as a file
// damaged inside its encryption would be after decrypting.
std::string SealedFile(const std::string& header, const std::string& inner)
{
    DATA_BLOB in{static_cast<DWORD>(inner.size()), reinterpret_cast<BYTE*>(const_cast<char*>(inner.data()))};
    DATA_BLOB out{};
    if (!CryptProtectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return {};
    std::string bytes = header + std::string(reinterpret_cast<const char*>(out.pbData), out.cbData);
    LocalFree(out.pbData);
    return bytes;
}

TEST(HistoryTest, ReadsBackWhatItSaved)
{
    const std::wstring path = FreshFile(L"round_trip.dat");
    {
        ReadingHistory history;
        EXPECT_FALSE(history.Load(path).setAside);
        EXPECT_TRUE(history.Entries().empty());
        history.Add(Text(L"first"), Time(100));
        history.Add(Text(std::wstring(MaxKeptTextBytes / sizeof(wchar_t) + 1, L'x')), Time(200));
        history.Add(Text(L"third text"), Time(0x1D00000012345678ull));
        history.SetPosition(0, 3);
        history.SetPosition(1, 12345678);
        history.SetPosition(2, 4);
        history.MoveToTop(2);
        ASSERT_TRUE(history.SaveNow());
    }
    ReadingHistory loaded;
    EXPECT_FALSE(loaded.Load(path).setAside);
    const std::vector<HistoryEntry>& entries = loaded.Entries();
    ASSERT_EQ(3u, entries.size());
    ASSERT_TRUE(entries[0].text && entries[1].text);
    EXPECT_EQ(L"first", *entries[0].text);
    EXPECT_EQ(4, entries[0].position);
    EXPECT_EQ(L"third text", *entries[1].text);
    EXPECT_EQ(3, entries[1].position);
    EXPECT_EQ(0x12345678u, entries[1].taken.dwLowDateTime);
    EXPECT_EQ(0x1D000000u, entries[1].taken.dwHighDateTime);
    EXPECT_FALSE(entries[0].tooLarge || entries[1].tooLarge);
    EXPECT_TRUE(entries[2].tooLarge);
    EXPECT_FALSE(entries[2].text);
    EXPECT_EQ(12345678, entries[2].position);
    EXPECT_EQ(200u, entries[2].taken.dwLowDateTime);
}

TEST(HistoryTest, FileShowsNoneOfItsTexts)
{
    const std::wstring path = FreshFile(L"private.dat");
    const std::wstring secret = L"Kontonummer 4711-0815 für Grüße";
    {
        ReadingHistory history;
        history.Load(path);
        history.Add(Text(secret), Time(1));
    }
    const std::string bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), secret.size() * sizeof(wchar_t));
    const std::string utf16(reinterpret_cast<const char*>(secret.data()), secret.size() * sizeof(wchar_t));
    char utf8[128];
    const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, secret.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    ASSERT_GT(utf8Length, 1);
    EXPECT_EQ(std::string::npos, bytes.find(utf16));
    EXPECT_EQ(std::string::npos, bytes.find(std::string(utf8, utf8Length - 1)));
    EXPECT_EQ(std::string::npos, bytes.find("Kontonummer"));
}

TEST(HistoryTest, KeepsWithinItsCaps)
{
    ReadingHistory history;
    for (int i = 0; i <= static_cast<int>(MaxHistoryEntries); ++i)
        history.Add(Text(L"text " + std::to_wstring(i)), Time(i));
    ASSERT_EQ(MaxHistoryEntries, history.Entries().size());
    EXPECT_EQ(L"text 30", *history.Entries().front().text);
    EXPECT_EQ(L"text 1", *history.Entries().back().text);

    // The same text again, from a copy of its own, leaves the newest entry where it read.
    history.SetPosition(0, 4);
    history.Add(Text(L"text 30"), Time(99));
    ASSERT_EQ(MaxHistoryEntries, history.Entries().size());
    EXPECT_EQ(4, history.Entries().front().position);

    // Four texts of 18 MB: the fourth takes the total past 64 MB, so the oldest texts go.
    history.Clear();
    history.Add(Text(L"small and old"), Time(1));
    const size_t bigLength = (size_t{18} << 20) / sizeof(wchar_t);
    for (wchar_t fill : {L'a', L'b', L'c', L'd'})
        history.Add(Text(std::wstring(bigLength, fill)), Time(2));
    ASSERT_EQ(3u, history.Entries().size());
    EXPECT_EQ(L'd', history.Entries()[0].text->front());
    EXPECT_EQ(L'b', history.Entries()[2].text->front());

    // 21 MB: kept by its place only, and not twice when taken again.
    const std::wstring huge((size_t{21} << 20) / sizeof(wchar_t), L'h');
    history.Add(Text(huge), Time(3));
    history.Add(Text(huge), Time(4));
    ASSERT_EQ(4u, history.Entries().size());
    EXPECT_TRUE(history.Entries()[0].tooLarge);
    EXPECT_FALSE(history.Entries()[0].text);
    EXPECT_EQ(L'd', history.Entries()[1].text->front());
}

TEST(HistoryTest, SetsADamagedFileAside)
{
    const std::wstring validPath = FreshFile(L"valid.dat");
    {
        ReadingHistory history;
        history.Load(validPath);
        history.Add(Text(L"something read"), Time(1));
    }
    const std::string valid = ReadBytes(validPath);
    ASSERT_GT(valid.size(), 64u);
    const std::string header = valid.substr(0, 12);
    std::string wrongMagic = valid;
    wrongMagic[0] ^= 0x5A;
    // One entry with no text after it, whose length says otherwise.
    const auto lyingLength = [](uint32_t length) {
        std::string inner;
        for (uint32_t field : {1u, 0u, 0u, 0u, 0u, length})
            Put32(inner, field);
        return inner;
    };
    std::string lyingCount;
    Put32(lyingCount, 0xFFFFFFFFu);

    const std::pair<const char*, std::string> cases[] = {
        {"truncated", valid.substr(0, valid.size() - 20)},
        {"garbage after the header", header + "nothing the encryption ever made"},
        {"wrong magic", wrongMagic},
        {"text length past the end", SealedFile(header, lyingLength(1000))},
        {"text length past any text kept", SealedFile(header, lyingLength(0x7FFFFFFF))},
        {"absurd entry count", SealedFile(header, lyingCount)},
    };
    // The same name each time: later ones find the earlier ones' aside names taken.
    const std::wstring path = FreshFile(L"damaged.dat");
    std::set<std::wstring> asides;
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteBytes(path, bytes));
        ReadingHistory history;
        const ReadingHistory::LoadResult result = history.Load(path);
        EXPECT_TRUE(result.setAside);
        EXPECT_TRUE(history.Entries().empty());
        EXPECT_FALSE(FileExists(path));
        EXPECT_EQ(bytes, ReadBytes(result.asidePath));
        asides.insert(result.asidePath);
    }
    EXPECT_EQ(std::size(cases), asides.size());
    EXPECT_EQ(1u, asides.count(path + L".damaged"));
}

TEST(HistoryTest, WritesInTheBackgroundAndAtTheEnd)
{
    const std::wstring path = FreshFile(L"background.dat");
    {
        ReadingHistory history;
        history.Load(path);
        history.Add(Text(L"soon"), Time(1));
        history.SaveSoon();
        EXPECT_TRUE(WaitFor([&] { return FileExists(path); }, 20000));
        // Asked again within the interval after that write: still to come at the end.
        history.SetPosition(0, 3);
        history.SaveSoon();
    }
    {
        ReadingHistory loaded;
        loaded.Load(path);
        ASSERT_EQ(1u, loaded.Entries().size());
        EXPECT_EQ(3, loaded.Entries()[0].position);
        // History turned off: the file goes, and the end does not bring it back.
        loaded.SetPosition(0, 1);
        loaded.SaveSoon();
        loaded.DeleteFile();
        EXPECT_FALSE(FileExists(path));
    }
    EXPECT_FALSE(FileExists(path));
}

TEST(HistoryTest, SaveNowReportsAFailedWrite)
{
    ReadingHistory history;
    history.Load(FreshFile(L"no such folder\\history.dat"));
    history.Add(Text(L"unsaved"), Time(1));
    SetLastError(0);
    EXPECT_FALSE(history.SaveNow());
    EXPECT_NE(0u, GetLastError());
}

} // namespace
