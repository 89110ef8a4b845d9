// clipvoce.dic as the user keeps it, with the real program: lines of kinds the program
// does not use, imports of such files, edits by hand while the program runs, and a
// dictionary of many entries on the Pronunciation tab.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include "app_driver.h"
#include "file_bytes.h"
#include "responsiveness.h"
#include "resource.h"
#include <string>

namespace {

constexpr DWORD Patience = 20000;
constexpr int PronunciationTab = 6;

// One line of each type number, 0 to 6; the program uses the first three.
const std::string EveryType =
    "# from elsewhere\r\n"
    "colour\tcolor\t0\t0\r\n"
    "(\\d+)km\t\\1 kilometres\t0\t1\r\n"
    "Clipvoce\tclip voice\t0\t2\r\n"
    "three\tthree\t0\t3\r\n"
    "four\tfour\t0\t4\r\n"
    "five\tfive\t1\t5\r\n"
    "six\tsix\t0\t6";

std::wstring Dictionary()
{
    return SettingsFolder() + L"\\clipvoce.dic";
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool Holds(const std::string& bytes, const char* part)
{
    return bytes.find(part) != std::string::npos;
}

// The Options dialog, as its menu command opens it, on the Pronunciation tab, as the arrow
// keys on the tab strip reach it; its page once shown, or null.
HWND OpenPronunciationTab(AppProcess& app, HWND& dialog)
{
    PostMessageW(app.Window(), WM_COMMAND, CMD_OPTIONS, 0);
    dialog = WaitForProcessWindow(app.Id(), L"#32770", L"Options", Patience);
    if (!dialog || !PumpUntil([&] { return IsWindowVisible(dialog) != FALSE; }, Patience))
        return nullptr;
    const HWND tabs = GetDlgItem(dialog, IDC_OPTIONS_TABS);
    for (int tab = 0; tab < PronunciationTab; ++tab)
        PostMessageW(tabs, WM_KEYDOWN, VK_RIGHT, 0);
    HWND page = nullptr;
    PumpUntil([&] {
        page = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
        return page && GetDlgItem(page, IDC_PRONUNCIATION_LIST) && IsWindowVisible(page);
    }, Patience);
    return page && GetDlgItem(page, IDC_PRONUNCIATION_LIST) && IsWindowVisible(page) ? page : nullptr;
}

int ListedEntries(HWND page)
{
    return static_cast<int>(SendDlgItemMessageW(page, IDC_PRONUNCIATION_LIST, LVM_GETITEMCOUNT, 0, 0));
}

// The Speech window has come to its message loop, past everything the start-up shows.
bool BoxShownAtStart(AppProcess& app)
{
    DWORD_PTR ignored;
    SendMessageTimeoutW(app.Window(), WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    return !ProcessWindows(app.Id(), L"#32770").empty();
}

class DictionaryFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        WriteSettingsFile();
        DeleteFileW(Dictionary().c_str());
        EmptyTheClipboard();
    }
    void TearDown() override { DeleteFileW(Dictionary().c_str()); }
};

// The import takes the three kinds of entries it can use and says, once, that it left
// four lines out; the file it writes holds none of them, and the next start shows no box.
// A dictionary that holds such lines itself is said in the status line and kept byte for
// byte.
TEST_F(DictionaryFileTest, LinesOfKindsNotUsedAreNeitherImportedNorWrittenNorShownInABox)
{
    const std::wstring imported = SettingsFolder() + L"\\from elsewhere.dic";
    ASSERT_TRUE(WriteBytes(imported, EveryType));
    {
        AppProcess app;
        ASSERT_NE(app.Window(), nullptr);
        HWND dialog = nullptr;
        HWND page = OpenPronunciationTab(app, dialog);
        ASSERT_NE(page, nullptr) << "the Pronunciation tab did not open";
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_PRONUNCIATION_IMPORT, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_PRONUNCIATION_IMPORT)));
        HWND open = nullptr;
        PumpUntil([&] {
            for (HWND shown : ProcessWindows(app.Id(), L"#32770"))
                if (shown != dialog && IsWindowVisible(shown))
                    open = shown;
            return open != nullptr;
        }, Patience);
        ASSERT_NE(open, nullptr) << "no file dialog for the import";
        HWND field = GetDlgItem(open, 0x47c);
        SetWindowTextW(field ? field : GetDlgItem(open, 0x480), imported.c_str());
        PressDialogButton(open, IDOK);
        HWND box = WaitForProcessWindow(app.Id(), L"#32770", L"Warning", Patience);
        ASSERT_NE(box, nullptr) << "the import did not say what it left out";
        const std::wstring said = MessageBoxText(box);
        EXPECT_NE(said.find(L"cannot use them: 4."), std::wstring::npos) << Narrow(said);
        EXPECT_NE(said.find(L"line 5:"), std::wstring::npos) << Narrow(said);
        PressDialogButton(box, IDOK);
        EXPECT_TRUE(PumpUntil([&] { return ListedEntries(page) == 3; }, Patience)) << ListedEntries(page);
        PressDialogButton(dialog, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, Patience)) << "the Options did not close";
        PressKey(app.Window(), 'Q', true);
        ASSERT_EQ(app.WaitExit(), 0);
    }
    const std::string written = ReadBytes(Dictionary());
    EXPECT_TRUE(Holds(written, "Clipvoce\tclip voice\t0\t2")) << written;
    for (const char* refused : {"three", "four", "five", "six"})
        EXPECT_FALSE(Holds(written, refused)) << refused << " was written:\n" << written;
    {
        AppProcess app;
        ASSERT_NE(app.Window(), nullptr);
        EXPECT_FALSE(BoxShownAtStart(app)) << "a box was shown at the start after the import";
        PressKey(app.Window(), 'Q', true);
        ASSERT_EQ(app.WaitExit(), 0);
    }

    ASSERT_TRUE(WriteBytes(Dictionary(), EveryType));
    DeleteFileW((SettingsFolder() + L"\\clipvoce.log").c_str());
    {
        AppProcess app;
        HWND window = app.Window();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return WindowText(window).find(L"cannot use: 4.") != std::wstring::npos; }, Patience))
            << "the status line did not tell of the lines: " << Narrow(WindowText(window));
        EXPECT_FALSE(BoxShownAtStart(app)) << "a box was shown at the start for lines not used";
        PressKey(window, 'Q', true);
        ASSERT_EQ(app.WaitExit(), 0);
    }
    EXPECT_EQ(ReadBytes(Dictionary()), EveryType) << "the file was changed by a start and quit";
    const std::string log = ReadBytes(SettingsFolder() + L"\\clipvoce.log");
    EXPECT_TRUE(Holds(log, "not used, kept as they stand: 4;")) << log;
    DeleteFileW(imported.c_str());
}

// A line the user adds to the file by hand while the program runs is still there after
// the program saves an entry of its own.
TEST_F(DictionaryFileTest, ALineAddedByHandSurvivesPronounceAs)
{
    ASSERT_TRUE(WriteBytes(Dictionary(), "first\tfirst one\t0\t2\r\n"));
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetClipboardText(L"Hello world."));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window).find(L"world") != std::wstring::npos; }, Patience));
    ASSERT_TRUE(WriteBytes(Dictionary(), "first\tfirst one\t0\t2\r\nhand\tby hand\t0\t2\r\n"));

    PostMessageW(window, WM_COMMAND, CMD_PRONOUNCE_AS, 0);
    HWND entry = WaitForProcessWindow(app.Id(), L"#32770", L"Add pronunciation", Patience);
    ASSERT_NE(entry, nullptr) << "Pronounce as did not open its dialog";
    SetWindowTextW(GetDlgItem(entry, IDC_ENTRY_PATTERN), L"Hello");
    SetWindowTextW(GetDlgItem(entry, IDC_ENTRY_REPLACEMENT), L"hullo");
    PressDialogButton(entry, IDOK);
    EXPECT_TRUE(PumpUntil([&] { return Holds(ReadBytes(Dictionary()), "hullo"); }, Patience))
        << "the entry was not saved: " << ReadBytes(Dictionary());
    const std::string bytes = ReadBytes(Dictionary());
    EXPECT_TRUE(Holds(bytes, "hand\tby hand\t0\t2\r\n")) << "the line added by hand was lost:\n" << bytes;
    EXPECT_TRUE(Holds(bytes, "first\tfirst one\t0\t2\r\n")) << bytes;
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(), 0);
}

// Twenty thousand entries: the tab lists them all at once, and the Speech window answers
// while it opens.
TEST_F(DictionaryFileTest, TheTabOfABigDictionaryOpensAtOnce)
{
    constexpr int Entries = 20000;
    std::string file;
    for (int i = 0; i < Entries; ++i)
        file += "word" + std::to_string(i) + "\tsaid " + std::to_string(i) + "\t0\t2\r\n";
    ASSERT_TRUE(WriteBytes(Dictionary(), file));
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    AppProcess idle(L"", BinFolder() + L"\\selection_window.exe");
    const HWND idleWindow = WaitForProcessWindow(idle.Id(), L"Edit", nullptr, Patience);
    ASSERT_NE(idleWindow, nullptr);

    PostMessageW(window, WM_COMMAND, CMD_OPTIONS, 0);
    HWND dialog = WaitForProcessWindow(app.Id(), L"#32770", L"Options", Patience);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(dialog) != FALSE; }, Patience));
    const HWND tabs = GetDlgItem(dialog, IDC_OPTIONS_TABS);
    for (int tab = 0; tab < PronunciationTab - 1; ++tab)
        PostMessageW(tabs, WM_KEYDOWN, VK_RIGHT, 0);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == PronunciationTab - 1; }, Patience));
    {
        ResponsivenessProbe probe(window, idleWindow);
        PostMessageW(tabs, WM_KEYDOWN, VK_RIGHT, 0);
        const ULONGLONG asked = GetTickCount64();
        HWND page = nullptr;
        const bool full = PumpUntil([&] {
            page = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
            return page && GetDlgItem(page, IDC_PRONUNCIATION_LIST) && ListedEntries(page) == Entries;
        }, Patience);
        const ULONGLONG took = GetTickCount64() - asked;
        ASSERT_TRUE(full) << "the list did not show every entry";
        EXPECT_LE(took, 1000u) << "the list took " << took << " ms to fill";
        // A look down the list on the way: the last entry shows its own texts.
        SendDlgItemMessageW(page, IDC_PRONUNCIATION_LIST, LVM_ENSUREVISIBLE, Entries - 1, FALSE);
        probe.Stop();
        EXPECT_TRUE(probe.AnsweredWithin(300)) << probe.Summary();
    }
    PressDialogButton(dialog, IDCANCEL);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, Patience));
    PressKey(window, 'Q', true);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(ReadBytes(Dictionary()), file);
}

} // namespace
