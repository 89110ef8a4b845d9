// Taking copied text, append mode, copy, paste and delete-all, inside the test process
// with the Speech window in the clipboard-viewer chain.
#include <gtest/gtest.h>
#include <thread>
#include "in_process_app.h"
#include "app_driver.h"
#include "pump.h"
#include "clipboard/clipboard_monitor.h"
#include "settings/app_settings.h"
#include "voice/speech_controller.h"
#include "view/prepared_text.h"
#include "view/text_view.h"
#include "resource.h"

namespace {

// The notification of a copy made on this thread reaches the Speech window at once; its
// text is fetched on another thread and taken when the fetch ends.
void WaitForTheCopy(const InProcessApp& app)
{
    PumpPending();
    EXPECT_TRUE(PumpUntil([&] { return !ClipboardReadPending(app.state().clipboard); }, 10000))
        << "the copy's text was not fetched";
}

// Copies like another program and waits for the Speech window to have handled it.
void Copy(const InProcessApp& app, const std::wstring& text)
{
    ASSERT_TRUE(SetClipboardText(text));
    WaitForTheCopy(app);
}

TEST(ClipboardMonitor, CopiedTextIsPreparedWithATrailingBlank)
{
    InProcessApp app;
    Copy(app, L"Hello\r\nWorld");
    EXPECT_EQ(app.view().GetText(), L"Hello.\rWorld ");
    EXPECT_EQ(app.reader().Text().Text(), L"Hello.\rWorld ");
    EXPECT_EQ(app.speech().State(), Stopped);
    EXPECT_EQ(app.Caption(), L"Speech window - stopped   [ 1 / 2 ]");

    Copy(app, L"Ends with breaks\r\n\r\n");
    EXPECT_EQ(app.view().GetText(), L"Ends with breaks ");
}

TEST(ClipboardMonitor, ShortTextsAreKept)
{
    InProcessApp app;
    Copy(app, L"OK");
    EXPECT_EQ(app.view().GetText(), L"OK ");
    Copy(app, L"A");
    EXPECT_EQ(app.view().GetText(), L"A ");
}

TEST(ClipboardMonitor, AppendReplacesOnlyPlaceholders)
{
    InProcessApp app;
    AppSettings.appendCopies = true;
    AppSettings.confirmDeleteAll = false;
    app.Command(CMD_DELETE_ALL);
    EXPECT_EQ(app.view().GetText(), L" ");
    Copy(app, L"First.");
    EXPECT_EQ(app.view().GetText(), L"First. ");
    Copy(app, L"Second.");
    EXPECT_EQ(app.view().GetText(), L"First. Second. ");
}

TEST(ClipboardMonitor, AppendWhileSpeakingGoesOnAtTheFirstNewSentence)
{
    InProcessApp app;
    AppSettings.appendCopies = true;
    Copy(app, L"One. Two. Three.");
    app.Command(CMD_PLAY_STOP);
    app.voice.Take();
    Copy(app, L"Four.");
    EXPECT_EQ(app.voice.Take(), (std::vector<std::wstring>{L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"}));
    EXPECT_EQ(app.voice.lastSpoken, L"Four. ");
    EXPECT_EQ(app.speech().State(), PendingPlay);
}

// Without a sentence end, the new text would be read as the rest of the old last
// sentence; it is read from its own first word, and the words land on it.
TEST(ClipboardMonitor, AppendAfterAnOpenSentenceGoesOnAtTheFirstNewWord)
{
    InProcessApp app;
    AppSettings.appendCopies = true;
    AppSettings.autoPlay = true;
    Copy(app, L"An open sentence");
    Copy(app, L"next words");
    EXPECT_EQ(app.reader().Text().Text(), L"An open sentence next words ");
    EXPECT_EQ(app.voice.lastSpoken, L"next words ");
    app.voice.SetWord(5, 5);
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.view().SelectionEnd(), 27) << "\"words\" of the appended text";
}

// Only the appended part is prepared, with the same result as preparing it all,
// including a line break right at the join.
TEST(ClipboardMonitor, AppendedTextIsPreparedAsTheWholeWouldBe)
{
    InProcessApp app;
    AppSettings.appendCopies = true;
    const std::wstring copies[] = {L"First line\r\nsecond", L"\r\nafter a break", L"a/b\\c", L"Done!", L"\r\r\rend"};
    std::wstring whole;
    for (const std::wstring& copy : copies) {
        Copy(app, copy);
        whole += copy + L" ";
        EXPECT_EQ(app.view().GetText(), app.reader().Text().Text());
    }
    const std::wstring incremental = app.reader().Text().Text();
    app.view().SetText(whole.c_str());
    app.reader().PrepareText();
    EXPECT_EQ(incremental, app.reader().Text().Text());
}

TEST(ClipboardMonitor, NonTextLeavesTheTextAlone)
{
    InProcessApp app;
    Copy(app, L"Keep me.");
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 4);
    SetClipboardData(RegisterClipboardFormatW(L"Clipvoce test format"), memory);
    CloseClipboard();
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(app.view().GetText(), L"Keep me. ");
}

TEST(ClipboardMonitor, MonitoringOffOnlyPreparesAgain)
{
    InProcessApp app;
    Copy(app, L"Kept text");
    app.Command(CMD_CLIPBOARD_MONITOR);
    Copy(app, L"Ignored text");
    EXPECT_EQ(app.view().GetText(), L"Kept text ");

    // Paste takes the clipboard even with monitoring off, and leaves it off.
    app.Command(CMD_PASTE);
    WaitForTheCopy(app);
    EXPECT_EQ(app.view().GetText(), L"Ignored text ");
    EXPECT_FALSE(AppSettings.monitorClipboard);
}

TEST(ClipboardMonitor, CopyPutsThePreparedTextAndDoesNotReloadIt)
{
    InProcessApp app;
    Copy(app, L"Line one\r\nline two");
    // An older copy of another program left plain text behind.
    app.Command(CMD_CLIPBOARD_MONITOR);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const char oldAnsi[] = "old ansi text";
    HGLOBAL ansi = GlobalAlloc(GMEM_MOVEABLE, sizeof oldAnsi);
    memcpy(GlobalLock(ansi), oldAnsi, sizeof oldAnsi);
    GlobalUnlock(ansi);
    SetClipboardData(CF_TEXT, ansi);
    CloseClipboard();
    PumpUntil([] { return false; }, 50);
    app.Command(CMD_CLIPBOARD_MONITOR);

    app.Command(CMD_COPY);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(GetClipboardText(), L"Line one.\r\nline two ") << "other programs break lines at CR LF";
    EXPECT_EQ(app.view().GetText(), L"Line one.\rline two ");
    EXPECT_TRUE(AppSettings.monitorClipboard);
    // No format keeps the content of an earlier copy.
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE text = GetClipboardData(CF_TEXT);
    std::string ansiNow = text ? static_cast<const char*>(GlobalLock(text)) : "";
    if (text)
        GlobalUnlock(text);
    CloseClipboard();
    EXPECT_EQ(ansiNow.find("old ansi"), std::string::npos);
}

TEST(ClipboardMonitor, DeleteAllWithoutConfirmationStopsAndClears)
{
    InProcessApp app;
    AppSettings.confirmDeleteAll = false;
    Copy(app, L"Some words.");
    app.Command(CMD_PLAY_STOP);
    ASSERT_EQ(app.speech().State(), Playing);
    app.Command(CMD_DELETE_ALL);
    EXPECT_EQ(app.speech().State(), Stopped);
    EXPECT_EQ(app.view().GetText(), L" ");
    EXPECT_EQ(app.reader().Text().Text(), L" ");
}

TEST(ClipboardMonitor, AwkwardTextsDoNotBreakIt)
{
    InProcessApp app;
    const std::wstring texts[] = {
        L"\r\n\r\n\r\n", L"////\\\\", std::wstring(L"before\0after", 12), L"lone \xD800 surrogate \xDC00 end",
        L"\xD83D\xDE00 pair", std::wstring(5000, L'\r'),
    };
    for (const std::wstring& text : texts) {
        Copy(app, text);
        EXPECT_EQ(app.view().GetText(), app.reader().Text().Text());
    }
    EXPECT_EQ(app.view().GetText(), L" ") << "only line breaks leave the placeholder";
}

TEST(ClipboardMonitor, ClipboardHeldByAnotherProgramIsPassedOver)
{
    InProcessApp app;
    Copy(app, L"Before.");
    ASSERT_TRUE(SetClipboardText(L"Changed."));
    // Another thread holds the clipboard open while the notification is handled.
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(release, 10000);
        CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);
    PumpPending();
    const ULONGLONG started = GetTickCount64();
    app.Command(CMD_PASTE);
    EXPECT_LT(GetTickCount64() - started, 2000u);
    SetEvent(release);
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
    PumpPending();
    EXPECT_TRUE(IsWindow(app.window()));
}

} // namespace
