// The pieces under the global hot keys, in-process: the clipboard's contents remembered
// and put back, and the [hotkeys] section's rules in the settings file.
#include <gtest/gtest.h>
#include "clipboard/clipboard_fetch.h"
#include "pump.h"
#include "settings/hot_key_settings.h"
#include "settings/ini_file.h"
#include "in_process_app.h"
#include "platform/hot_key_names.h"
#include <set>
#include <string>
#include <vector>

namespace {

std::set<UINT> FormatsOfOpenClipboard()
{
    std::set<UINT> formats;
    for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f))
        formats.insert(f);
    return formats;
}

void Place(UINT format, const void* bytes, size_t size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    SetClipboardData(format, memory);
}

std::vector<BYTE> BytesOf(UINT format)
{
    HANDLE data = GetClipboardData(format);
    const auto* start = data ? static_cast<const BYTE*>(GlobalLock(data)) : nullptr;
    std::vector<BYTE> bytes(start, start ? start + GlobalSize(data) : nullptr);
    if (start)
        GlobalUnlock(data);
    return bytes;
}

// A window of this thread owns the clipboard and would render two formats on request,
// but the thread waits in the fetch meanwhile: those never arrive, as from a hung
// program. The fetch gives up on each in its time, keeps the rest, keeps the privacy
// mark without data, and leaves the clipboard free.
TEST(ClipboardFetch, FormatsThatNeverArriveAreLeftOutAndTheRestIsPutBackAsItWas)
{
    HWND owner = CreateWindowW(L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const UINT privateFormat = RegisterClipboardFormatW(L"Clipvoce unit private data");
    const UINT stalledFormat = RegisterClipboardFormatW(L"Clipvoce unit stalled format");
    const UINT mark = RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
    const wchar_t text[] = L"Remembered text";
    const std::vector<BYTE> privateBytes = {0, 1, 2, 0xFE, 0xFF};
    const WORD pixels[2] = {0x5555, 0xAAAA};
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    Place(CF_UNICODETEXT, text, sizeof text);
    Place(privateFormat, privateBytes.data(), privateBytes.size());
    SetClipboardData(CF_BITMAP, CreateBitmap(16, 2, 1, 1, pixels));
    SetClipboardData(stalledFormat, nullptr);
    SetClipboardData(mark, nullptr);
    CloseClipboard();
    ASSERT_TRUE(OpenClipboard(nullptr));
    std::set<UINT> before = FormatsOfOpenClipboard();
    CloseClipboard();

    const ULONGLONG started = GetTickCount64();
    const ClipboardFetch fetch = FetchClipboard(FetchScope::Everything, {1000, 300, 5000});
    const ULONGLONG took = GetTickCount64() - started;
    PumpPending();   // the requests are answered now, too late
    EXPECT_GE(took, 600u) << "the two requests were not waited for";
    EXPECT_LT(took, 3000u) << "the limit per format was not kept";
    ASSERT_EQ(fetch.outcome, FetchOutcome::Fetched);
    EXPECT_EQ(fetch.content.NotKept(), std::vector<UINT>{stalledFormat});

    ASSERT_TRUE(OpenClipboard(nullptr)) << "the clipboard was left open";
    EmptyClipboard();
    Place(CF_UNICODETEXT, L"other", sizeof L"other");
    EXPECT_TRUE(fetch.content.PutBackIntoOpenClipboard());
    CloseClipboard();
    before.erase(stalledFormat);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_EQ(FormatsOfOpenClipboard(), before);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(BytesOf(CF_UNICODETEXT).data())), text);
    EXPECT_EQ(BytesOf(privateFormat), privateBytes);
    BITMAP bitmap{};
    ASSERT_TRUE(GetObjectW(GetClipboardData(CF_BITMAP), sizeof bitmap, &bitmap));
    EXPECT_EQ(bitmap.bmWidth, 16);
    EXPECT_EQ(bitmap.bmHeight, 2);
    CloseClipboard();
    DestroyWindow(owner);
}

constexpr wchar_t Section[] = L"hotkeys";
const AppSettingsRecord FirstRun;

TEST(HotKeySettings, OnlyChangedKeysAreWrittenAndMissingOrDamagedOnesReadAsFirstRun)
{
    CIniFile file;
    AppSettingsRecord settings;
    WriteHotKeySettings(file, settings);
    EXPECT_EQ(file.FindSection(Section), -1) << "first-run keys must leave the file as older copies write it";

    settings.stopHotKey = 0;   // cleared
    WriteHotKeySettings(file, settings);
    EXPECT_EQ(file.GetValue(Section, L"stop", L"<none>"), L"0");
    EXPECT_EQ(file.GetValue(Section, L"playpause", L"<none>"), L"<none>");
    AppSettingsRecord read;
    read.playPauseHotKey = 0;
    ReadHotKeySettings(file, read);
    EXPECT_EQ(read.stopHotKey, 0);
    EXPECT_EQ(read.playPauseHotKey, FirstRun.playPauseHotKey);

    // Set back to its first-run value, a key already in the file must not keep the old one.
    settings.stopHotKey = FirstRun.stopHotKey;
    WriteHotKeySettings(file, settings);
    ReadHotKeySettings(file, read);
    EXPECT_EQ(read.stopHotKey, FirstRun.stopHotKey);

    // Out of range, negative, modifiers without a key, an unknown modifier.
    for (const wchar_t* damaged : {L"70000", L"-5", L"1024", L"16416"}) {
        file.SetValue(Section, L"readselection", damaged);
        read.readSelectionHotKey = 0;
        ReadHotKeySettings(file, read);
        EXPECT_EQ(read.readSelectionHotKey, FirstRun.readSelectionHotKey) << damaged;
    }
}

// The Hot keys tab refuses a key without Ctrl or Alt, which would take that key away
// from the typing in every program, and a key that another action has; the file's such
// keys are read as their first-run values, and the start notes once which and why.
TEST(HotKeySettings, KeysTheTabWouldRefuseAreReadAsFirstRunAndNoted)
{
    const int ctrlAltP = MAKEWORD('P', HOTKEYF_CONTROL | HOTKEYF_ALT);
    const int ctrlAltX = MAKEWORD('X', HOTKEYF_CONTROL | HOTKEYF_ALT);
    const int ctrlAltSpace = FirstRun.readSelectionHotKey;
    const struct {
        int readSelection, playPause, stop;   // as the file gives them; -1: not in it
        int wantReadSelection, wantPlayPause, wantStop;
        size_t setAside;
    } cases[] = {
        {65, 32, -1, ctrlAltSpace, ctrlAltP, FirstRun.stopHotKey, 2},                 // "A", Space
        {MAKEWORD('A', HOTKEYF_SHIFT), -1, -1, ctrlAltSpace, ctrlAltP, FirstRun.stopHotKey, 1},
        {MAKEWORD('A', HOTKEYF_CONTROL), MAKEWORD('A', HOTKEYF_ALT | HOTKEYF_SHIFT), -1,
         MAKEWORD('A', HOTKEYF_CONTROL), MAKEWORD('A', HOTKEYF_ALT | HOTKEYF_SHIFT), FirstRun.stopHotKey, 0},
        {ctrlAltP, -1, -1, ctrlAltSpace, ctrlAltP, FirstRun.stopHotKey, 1},           // Play/Pause's key
        {-1, ctrlAltX, ctrlAltX, ctrlAltSpace, ctrlAltX, FirstRun.stopHotKey, 1},      // given twice
        {ctrlAltP, ctrlAltSpace, -1, ctrlAltP, ctrlAltSpace, FirstRun.stopHotKey, 0},  // swapped
        {0, 0, 0, 0, 0, 0, 0},                                                        // all cleared
    };
    for (const auto& c : cases) {
        CIniFile file;
        const int given[] = {c.readSelection, c.playPause, c.stop};
        for (int i = 0; i < HotKeyCount; ++i) {
            if (given[i] >= 0)
                file.SetInt(Section, HotKeySettings[i].iniKey, given[i]);
        }
        AppSettingsRecord read;
        ReadHotKeySettings(file, read);
        SCOPED_TRACE(testing::Message() << c.readSelection << " " << c.playPause << " " << c.stop);
        EXPECT_EQ(read.readSelectionHotKey, c.wantReadSelection);
        EXPECT_EQ(read.playPauseHotKey, c.wantPlayPause);
        EXPECT_EQ(read.stopHotKey, c.wantStop);
        EXPECT_EQ(SetAsideHotKeys().size(), c.setAside);
    }

    CIniFile file;
    file.SetInt(Section, L"readselection", 65);
    file.SetInt(Section, L"stop", ctrlAltP);
    ReadHotKeySettings(file, AppSettings);
    InProcessApp app;   // starts as the program does
    wchar_t caption[512] = L"";
    GetWindowTextW(app.window(), caption, 512);
    EXPECT_EQ(std::wstring(caption), L"Speech window - hot key A (Read selection) not used: a hot key needs Ctrl or Alt; "
                                     L"hot key " + HotKeyText(ctrlAltP) + L" (Stop) not used: it is already the key for Play/Pause");
}

} // namespace
