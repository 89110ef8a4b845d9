// Hostile pronunciation dictionaries in the real program: a rule whose search over a long
// copy would take minutes never holds the Speech window up, and is stopped for that copy
// with a note; a copy made meanwhile is the one read; an entry that would make what the
// voice hears enormous keeps the program small.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "copy_watch.h"
#include "file_bytes.h"
#include <psapi.h>

namespace {

const wchar_t DoubledWord[] = L"(\\w+)\\s+\\1";

std::wstring Hex(size_t length, unsigned seed)
{
    std::wstring text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        seed = seed * 1103515245 + 12345;
        text += L"0123456789abcdef"[(seed >> 16) % 16];
    }
    return text;
}

class HostileDictionaryTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"200");
        WriteSettingsFile({{L"autoplay", L"1"}, {L"fulltext", L"1"}});
        EmptyTheClipboard();
    }
    void TearDown() override { DeleteFileW(Dictionary().c_str()); }

    static std::wstring Dictionary() { return SettingsFolder() + L"\\clipvoce.dic"; }
    std::wstring Caption() const { return WindowText(window_); }
    bool Playing() const { return Caption().starts_with(L"Speech window - playing"); }
    bool Shows(const std::wstring& copy) const { return TextViewText(window_) == PreparedCopy(copy); }

    // The program, started with the dictionary, is waiting for a copy.
    void Start(const std::string& dictionary)
    {
        ASSERT_TRUE(WriteBytes(Dictionary(), dictionary));
        app_ = std::make_unique<AppProcess>();
        window_ = app_->Window();
        ASSERT_NE(window_, nullptr);
        // Lines of the dictionary that are not used may be told in a message at start-up.
        if (HWND box = WaitForProcessWindow(app_->Id(), L"#32770", nullptr, 2000))
            PressDialogButton(box, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return Caption().starts_with(L"Speech window - stopped"); }, 10000));
    }

    std::unique_ptr<AppProcess> app_;
    HWND window_ = nullptr;
};

TEST_F(HostileDictionaryTest, ARuleThatWouldSearchForMinutesNeverHoldsTheWindowUp)
{
    Start("(\\w+)\\s+\\1\t\\1\t0\t1\r\n");
    for (const size_t length : {size_t{120000}, size_t{300000}}) {
        RepaintProbe probe(window_);
        // Words after the long one keep the reading going for a while.
        const std::wstring copy = Hex(length, static_cast<unsigned>(length)) +
                                  L" and after it a few words more, so that the reading takes a while to end.";
        ASSERT_TRUE(SetClipboardText(copy));
        // The note comes with the first word read, and gives way as the reading goes on.
        bool noted = false;
        EXPECT_TRUE(PumpUntil([&] {
            noted = noted || Caption().find(DoubledWord) != std::wstring::npos;
            return noted && Shows(copy);
        }, 20000)) << "copy of " << length << (noted ? " not shown" : ": no note names the rule");
        EXPECT_LE(probe.WindowLongestMs(), 300 + probe.AllowanceMs())
            << "copy of " << length << ": an idle window's slowest repaint " << probe.ControlLongestMs() << " ms";
    }

    // A copy made while a long one is being taken in is the one read, at once.
    RepaintProbe probe(window_);
    {
        TextRenderedOnRequest first(Hex(300000, 7));
        ASSERT_TRUE(first.Placed());
        ASSERT_TRUE(PumpUntil([&] { return first.Rendered(); }, 10000));
        PumpUntil([] { return false; }, 200);
        ASSERT_TRUE(SetClipboardText(L"The later copy is read."));
    }
    ASSERT_TRUE(PumpUntil([&] { return Shows(L"The later copy is read."); }, 10000)) << "the later copy was not shown";
    EXPECT_TRUE(PumpUntil([&] { return Playing(); }, 10000));
    EXPECT_FALSE(PumpUntil([&] { return !Shows(L"The later copy is read."); }, 1500)) << "the earlier copy came in after it";
    EXPECT_LE(probe.WindowLongestMs(), 300 + probe.AllowanceMs())
        << "an idle window's slowest repaint " << probe.ControlLongestMs() << " ms";
}

TEST_F(HostileDictionaryTest, AnEntryThatWouldMakeTheTextEnormousKeepsTheProgramSmall)
{
    // As a hand-edited file may hold it, and one at the longest a replacement may be.
    Start("e\t" + std::string(50000, 'E') + "\t0\t0\r\ne\t" + std::string(4000, 'E') + "\t0\t0\r\n");
    for (const size_t length : {size_t{4000}, size_t{40000}}) {
        std::wstring copy;
        while (copy.size() < length)
            copy += L"Here the reader sees every letter e. ";
        ASSERT_TRUE(SetClipboardText(copy));
        ASSERT_TRUE(PumpUntil([&] { return Playing() && Shows(copy); }, 20000)) << "copy of " << length << " not read";
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, app_->Id());
    ASSERT_TRUE(GetProcessMemoryInfo(process, &memory, sizeof memory));
    CloseHandle(process);
    EXPECT_LT(memory.PeakWorkingSetSize, size_t{400} << 20);
}

} // namespace
