// The pieces under the global hot keys, in-process: the clipboard's contents remembered
// and put back, and the [hotkeys] section's rules in the settings file.
#include <gtest/gtest.h>
#include "clipboard/clipboard_snapshot.h"
#include "settings/hot_key_settings.h"
#include "settings/ini_file.h"
#include <set>
#include <string>
#include <vector>

namespace {

std::set<UINT> FormatsOnClipboard()
{
    std::set<UINT> formats;
    if (OpenClipboard(nullptr)) {
        for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f))
            formats.insert(f);
        CloseClipboard();
    }
    return formats;
}

HGLOBAL MemoryOf(const void* bytes, size_t size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    return memory;
}

std::vector<BYTE> BytesOf(UINT format)
{
    std::vector<BYTE> bytes;
    if (HANDLE data = GetClipboardData(format)) {
        const auto* start = static_cast<const BYTE*>(GlobalLock(data));
        bytes.assign(start, start + GlobalSize(data));
        GlobalUnlock(data);
    }
    return bytes;
}

TEST(ClipboardSnapshot, PutsBackTextPrivateDataAndBitmapAsTheyWere)
{
    const UINT privateFormat = RegisterClipboardFormatW(L"Clipvoce unit private data");
    const wchar_t text[] = L"Remembered text";
    const BYTE privateBytes[] = {0, 1, 2, 0xFE, 0xFF};
    const WORD pixels[2] = {0x5555, 0xAAAA};
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, MemoryOf(text, sizeof text));
    SetClipboardData(privateFormat, MemoryOf(privateBytes, sizeof privateBytes));
    SetClipboardData(CF_BITMAP, CreateBitmap(16, 2, 1, 1, pixels));
    CloseClipboard();
    const std::set<UINT> before = FormatsOnClipboard();

    ASSERT_TRUE(OpenClipboard(nullptr));
    const ClipboardSnapshot snapshot = ClipboardSnapshot::OfOpenClipboard();
    // The platform's conversions (plain text, the other bitmap forms) are made again.
    EXPECT_LT(snapshot.FormatCount(), before.size());
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, MemoryOf(L"other", sizeof L"other"));
    EXPECT_TRUE(snapshot.PutBackIntoOpenClipboard());
    CloseClipboard();

    EXPECT_EQ(FormatsOnClipboard(), before);
    ASSERT_TRUE(OpenClipboard(nullptr));
    const std::vector<BYTE> textBytes = BytesOf(CF_UNICODETEXT);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(textBytes.data())), text);
    EXPECT_EQ(BytesOf(privateFormat), std::vector<BYTE>(privateBytes, privateBytes + sizeof privateBytes));
    BITMAP bitmap{};
    ASSERT_TRUE(GetObjectW(GetClipboardData(CF_BITMAP), sizeof bitmap, &bitmap));
    EXPECT_EQ(bitmap.bmWidth, 16);
    EXPECT_EQ(bitmap.bmHeight, 2);
    // A second put-back has fresh copies of its own to hand over.
    EXPECT_TRUE(snapshot.PutBackIntoOpenClipboard());
    EXPECT_EQ(BytesOf(privateFormat).size(), sizeof privateBytes);
    CloseClipboard();
}

TEST(ClipboardSnapshot, AnEmptyClipboardIsPutBackEmpty)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const ClipboardSnapshot snapshot = ClipboardSnapshot::OfOpenClipboard();
    SetClipboardData(CF_UNICODETEXT, MemoryOf(L"copied", sizeof L"copied"));
    EXPECT_TRUE(snapshot.PutBackIntoOpenClipboard());
    CloseClipboard();
    EXPECT_TRUE(FormatsOnClipboard().empty());
}

constexpr wchar_t Section[] = L"hotkeys";

TEST(HotKeySettings, OnlyChangedKeysAreWrittenAndMissingOnesReadAsFirstRun)
{
    CIniFile file;
    AppSettingsRecord settings;
    WriteHotKeySettings(file, settings);
    EXPECT_EQ(file.FindSection(Section), -1) << "first-run keys must leave the file as older copies write it";

    settings.stopHotKey = 0;   // cleared
    settings.playPauseHotKey = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_SHIFT);
    WriteHotKeySettings(file, settings);
    EXPECT_EQ(file.GetValue(Section, L"stop", L"<none>"), L"0");
    EXPECT_EQ(file.GetInt(Section, L"playpause", 0), settings.playPauseHotKey);
    EXPECT_EQ(file.GetValue(Section, L"readselection", L"<none>"), L"<none>");

    AppSettingsRecord read;
    read.readSelectionHotKey = 0;
    ReadHotKeySettings(file, read);
    EXPECT_EQ(read.stopHotKey, 0);
    EXPECT_EQ(read.playPauseHotKey, settings.playPauseHotKey);
    EXPECT_EQ(read.readSelectionHotKey, AppSettingsRecord{}.readSelectionHotKey);

    // Set back to its first-run value, a key already in the file must not keep the old one.
    settings.stopHotKey = AppSettingsRecord{}.stopHotKey;
    WriteHotKeySettings(file, settings);
    ReadHotKeySettings(file, read);
    EXPECT_EQ(read.stopHotKey, AppSettingsRecord{}.stopHotKey);
}

TEST(HotKeySettings, DamagedValuesGiveTheFirstRunKey)
{
    const AppSettingsRecord firstRun;
    for (const wchar_t* damaged : {L"70000", L"-5", L"1024", L"16416"}) {
        SCOPED_TRACE(std::string(damaged, damaged + wcslen(damaged)));
        CIniFile file;
        file.SetValue(Section, L"readselection", damaged);
        AppSettingsRecord read;
        read.readSelectionHotKey = 0;
        ReadHotKeySettings(file, read);
        EXPECT_EQ(read.readSelectionHotKey, firstRun.readSelectionHotKey);
    }
}

} // namespace
