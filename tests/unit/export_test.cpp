// Audio export inside the test process, with the registered voice rendering into real
// files and the save dialog, wait dialog and warnings answered from a second thread as
// a user would answer them.
#include <windows.h>
#include <commctrl.h>
#include <sapi.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <iostream>
#include "app_driver.h"
#include "espeak_reference.h"
#include "fake_voice.h"
#include "file_bytes.h"
#include "in_process_app.h"
#include "pump.h"
#include "export/export.h"
#include "export/mp3_encoder.h"
#include "settings/app_settings.h"
#include "view/prepared_text.h"
#include "voice/voice_catalog.h"
#include "view/text_view.h"
#include "resource.h"

namespace {

constexpr DWORD Timeout = 20000;
constexpr int FileNameCombo = 0x47c;   // cmb13
constexpr int FileNameEdit = 0x480;    // edt1

uint32_t U32(const std::string& b, size_t at) { uint32_t v; memcpy(&v, b.data() + at, 4); return v; }
uint16_t U16(const std::string& b, size_t at) { uint16_t v; memcpy(&v, b.data() + at, 2); return v; }

// Bytes of PCM data in a RIFF/WAVE file of the export's format, or -1 when it is not one.
long WavDataBytes(const std::string& b)
{
    if (b.size() < 44 || b.compare(0, 4, "RIFF") || b.compare(8, 4, "WAVE"))
        return -1;
    bool format = false;
    for (size_t at = 12; at + 8 <= b.size(); at += 8 + ((U32(b, at + 4) + 1) & ~1u)) {
        const uint32_t size = U32(b, at + 4);
        if (!b.compare(at, 4, "fmt "))
            format = U16(b, at + 8) == 1 && U16(b, at + 10) == 2 && U32(b, at + 12) == 48000
                && U32(b, at + 16) == 192000 && U16(b, at + 20) == 4 && U16(b, at + 22) == 16;
        else if (!b.compare(at, 4, "data"))
            return format && at + 8 + size == b.size() ? static_cast<long>(size) : -1;
    }
    return -1;
}

// A top-level dialog of the user-interface thread with the given caption.
HWND FindDialog(DWORD thread, const std::wstring& caption)
{
    struct Search { const std::wstring* caption; HWND found; } search{&caption, nullptr};
    EnumThreadWindows(thread, [](HWND w, LPARAM p) {
        auto* s = reinterpret_cast<Search*>(p);
        wchar_t cls[16] = L"";
        GetClassNameW(w, cls, 16);
        if (IsWindowVisible(w) && !wcscmp(cls, L"#32770") && WindowText(w) == *s->caption) {
            s->found = w;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(DWORD thread, const std::wstring& caption)
{
    for (DWORD waited = 0; waited < Timeout; waited += 20) {
        if (HWND w = FindDialog(thread, caption))
            return w;
        Sleep(20);
    }
    return nullptr;
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Short words keep the rendered files small.
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"1200");
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice,
                                                  reinterpret_cast<void**>(&voice)));
        app.reader().UseVoice(ComPtr<ISpVoice>::Share(voice));
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"clipvoce_export_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        uiThread = GetCurrentThreadId();
    }

    void TearDown() override
    {
        if (driver.joinable())
            driver.join();
        app.reader().UseVoice({});
        if (voice)
            voice->Release();
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(folder.c_str());
    }

    void SetText(const std::wstring& text)
    {
        app.view().SetText(text.c_str());
        app.reader().PrepareText();
    }

    long RenderTo(const std::wstring& name)
    {
        const std::wstring path = folder + L"\\" + name;
        EXPECT_EQ(RenderToWav(app.window(), app.reader().Text().Text().c_str(), voice, path), 1);
        return WavDataBytes(ReadBytes(path));
    }

    // Answers the save dialog with a typed name, remembering what it proposed.
    void AnswerSaveDialog(const std::wstring& typed)
    {
        driver = std::thread([this, typed] {
            HWND dialog = WaitForDialog(uiThread, L"Save As");
            if (!dialog)
                return;
            HWND name = GetDlgItem(dialog, FileNameCombo);
            if (!name)
                name = GetDlgItem(dialog, FileNameEdit);
            proposed = WindowText(name);
            SetWindowTextW(name, typed.c_str());
            PressDialogButton(dialog, IDOK);
        });
    }

    InProcessApp app;
    ISpVoice* voice = nullptr;
    std::wstring folder;
    DWORD uiThread = 0;
    std::thread driver;
    std::wstring proposed;
};

TEST_F(ExportTest, RendersPcmThatGrowsWithTheTextAndRestoresTheOutput)
{
    ISpStreamFormat* before = nullptr;
    voice->GetOutputStream(&before);

    SetText(L"One two three.");
    const long shortData = RenderTo(L"short.wav");
    SetText(L"One two three four five six seven eight nine ten eleven twelve.");
    const long longData = RenderTo(L"long.wav");
    EXPECT_GT(shortData, 0);
    EXPECT_GT(longData, 3 * shortData);
    EXPECT_EQ(longData % 4, 0);
    EXPECT_FALSE(ExportInProgress());

    ISpStreamFormat* after = nullptr;
    voice->GetOutputStream(&after);
    EXPECT_EQ(after, before);
    if (before)
        before->Release();
    if (after)
        after->Release();
}

TEST_F(ExportTest, TextThatLooksLikeMarkupIsRenderedWhole)
{
    SetText(L"word");
    const long oneWord = RenderTo(L"word.wav");
    // Taken as markup, only the last word would be heard.
    SetText(L"<i> <i> <i> <i> <i> <i> <i> <i> word");
    EXPECT_GT(RenderTo(L"tags.wav"), 5 * oneWord);
}

// The silent stretches between what is heard, longest first, in seconds, with where each
// begins; silence before the first sound and after the last is not between.
std::vector<std::pair<double, double>> Pauses(const PcmAudio& audio)
{
    const std::vector<bool> voiced = VoicedWindows(audio);
    std::vector<std::pair<double, double>> pauses;
    size_t quietFrom = 0;
    bool heard = false;
    for (size_t w = 0; w < voiced.size(); ++w) {
        if (!voiced[w])
            continue;
        if (heard && w > quietFrom)
            pauses.emplace_back((w - quietFrom) * kVoicedWindowSeconds, quietFrom * kVoicedWindowSeconds);
        heard = true;
        quietFrom = w + 1;
    }
    std::sort(pauses.rbegin(), pauses.rend());
    return pauses;
}

// Where the export changes voice, eSpeak NG's pause is not made much longer than between
// two sentences of one voice.
TEST_F(ExportTest, AVoiceSwitchPausesAboutAsLongAsASentenceEnd)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"175");
    const VoiceCatalog voices = VoiceCatalog::Enumerate(L"");
    ASSERT_TRUE(voices.FirstFor(LANG_ENGLISH) && voices.FirstFor(LANG_GERMAN));
    std::vector<SpokenPart> parts = {
        {L"The first sentence is here. The second one follows it.\r", voices.FirstFor(LANG_ENGLISH)->token},
        {L"Der dritte Satz ist deutsch und kommt danach.", voices.FirstFor(LANG_GERMAN)->token}};
    const std::wstring path = folder + L"\\switch.wav";
    EXPECT_EQ(RenderToWav(app.window(), parts, path), 1);
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"1200");
    const PcmAudio audio = ParsePcmWave(ReadBytes(path));
    const auto pauses = Pauses(audio);
    ASSERT_GE(pauses.size(), 2u);
    // The two longest pauses are the sentence end and the switch, in that order.
    const auto [sentenceEnd, atSwitch] =
        pauses[0].second < pauses[1].second ? std::make_pair(pauses[0], pauses[1]) : std::make_pair(pauses[1], pauses[0]);
    std::cout << "pause at the sentence end " << sentenceEnd.first * 1000 << " ms, at the voice switch "
              << atSwitch.first * 1000 << " ms\n";
    EXPECT_LE(atSwitch.first, sentenceEnd.first + 0.3);
}

// The voice renders at its own pace; the speed setting then makes the file as long as
// the reading at that speed would be.
TEST_F(ExportTest, SpeechIsRenderedAtTheChosenSpeed)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"300");
    SetText(L"The quick brown fox jumps over the lazy dog, and then it runs away.");
    const long normal = RenderTo(L"normal.wav");
    AppSettings.speedPercent = 200;
    const long doubled = RenderTo(L"doubled.wav");
    AppSettings.speedPercent = NormalSpeedPercent;
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"1200");
    ASSERT_GT(normal, 48000 * 4) << "less than a second of speech";
    EXPECT_NEAR(doubled, normal / 2.0, normal / 20.0);
    EXPECT_EQ(doubled % 4, 0);
}

TEST_F(ExportTest, CancelDiscardsTheRenderingAndItsFile)
{
    // Words of minutes each make a rendering far longer than the test: the wait
    // dialog is sure to be open when the close comes.
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"1");
    voice->Pause();
    SetText(L"This text is never finished.");
    const std::wstring path = folder + L"\\cancelled.wav";
    std::wstring caption;
    bool clipOpens = false;
    driver = std::thread([&] {
        HWND dialog = WaitForDialog(uiThread, L"Saving...");
        if (!dialog) {
            voice->Resume();
            return;
        }
        caption = WindowText(dialog);
        clipOpens = SendMessageW(GetDlgItem(dialog, IDC_WAIT_ANIMATION), ACM_OPENW,
                                 reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
                                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_WAIT_CLIP))) != 0;
        // The title bar's close acts as Cancel.
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(RenderToWav(app.window(), app.reader().Text().Text().c_str(), voice, path), 0);
    driver.join();
    voice->Resume();
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"1200");
    EXPECT_EQ(caption, L"Saving...");
    EXPECT_TRUE(clipOpens);
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(ExportInProgress());

    // The voice is usable again afterwards: the next rendering completes.
    EXPECT_GT(RenderTo(L"after.wav"), 0);
}

TEST_F(ExportTest, SaveDialogProposesTheFolderAndEnforcesTheExtension)
{
    SetText(L"Saved through the dialog.");
    AppSettings.exportAsWav = true;
    lstrcpynW(AppSettings.wavFolder, folder.c_str(), SettingsPathLength);

    AnswerSaveDialog(L"notes.txt");
    const std::wstring written = ExportSpeech(app.window(), app.reader().Text().Text().c_str(), voice);
    driver.join();
    EXPECT_EQ(proposed, L"Clipvoce");
    EXPECT_EQ(std::wstring(AppSettings.wavFolder), folder + L"\\");
    EXPECT_EQ(written, folder + L"\\notes.txt.wav");
    EXPECT_GT(WavDataBytes(ReadBytes(folder + L"\\notes.txt.wav")), 0);

    AnswerSaveDialog(L"plain");
    app.Command(CMD_EXPORT);
    driver.join();
    EXPECT_GT(WavDataBytes(ReadBytes(folder + L"\\plain.wav")), 0);
    EXPECT_EQ(std::wstring(AppSettings.wavFolder), folder + L"\\");
}

// Beside these tests lies a working library, which a missing saved one would give way
// to: a saved file that is no library stands for a library that does not load.
TEST_F(ExportTest, MissingLibraryIsReportedBeforeAnyDialog)
{
    AppSettings.exportAsWav = false;
    const std::wstring notALibrary = folder + L"\\lame_enc.dll";
    ASSERT_TRUE(WriteBytes(notALibrary, "not a library"));
    lstrcpynW(AppSettings.encoderFolder, notALibrary.c_str(), SettingsPathLength);
    EXPECT_EQ(QueryEncoderVersion(), L"");
    std::wstring message;
    bool saveDialog = false;
    driver = std::thread([&] {
        HWND box = WaitForDialog(uiThread, L"Warning");
        saveDialog = FindDialog(uiThread, L"Save As") != nullptr;
        message = box ? MessageBoxText(box) : L"";
        PressDialogButton(box, IDOK);
    });
    app.Command(CMD_EXPORT);
    driver.join();
    EXPECT_EQ(message, L"The Lame library is missing. Obtain lame_enc.dll and go to Options.");
    EXPECT_FALSE(saveDialog);
}

TEST_F(ExportTest, LibraryIsTheSavedFileElseTheOneBesideTheProgram)
{
    const std::wstring saved = folder + L"\\saved.dll", program = folder + L"\\program";
    const std::wstring beside = program + L"\\lame_enc.dll";
    CreateDirectoryW(program.c_str(), nullptr);
    EXPECT_EQ(ChooseEncoderLibrary(saved, program), L"") << "neither file exists";
    ASSERT_TRUE(WriteBytes(beside, "x"));
    for (const std::wstring& missing : {saved, std::wstring(), folder})
        EXPECT_EQ(ChooseEncoderLibrary(missing, program), beside) << "saved: " << std::string(missing.begin(), missing.end());
    ASSERT_TRUE(WriteBytes(saved, "x"));
    EXPECT_EQ(ChooseEncoderLibrary(saved, program), saved);
    DeleteFileW(beside.c_str());
    RemoveDirectoryW(program.c_str());
}

// The MPEG-1 Layer III bit rates in the order of their header index (1 to 14).
constexpr unsigned Mp3Rates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

// Walks the MPEG audio frames of a file; all must be MPEG-1 Layer III at the given
// bit rate, 48 kHz, joint stereo, no CRC, original. Returns their number, or -1.
long CountMp3Frames(const std::string& b, unsigned kbps)
{
    unsigned index = 0;
    while (index < 14 && Mp3Rates[index] != kbps)
        ++index;
    const uint8_t rateBits = static_cast<uint8_t>((index + 1) << 4);
    long frames = 0;
    size_t at = 0;
    while (at + 4 <= b.size()) {
        const auto h = [&](size_t i) { return static_cast<uint8_t>(b[at + i]); };
        if (h(0) != 0xFF || h(1) != 0xFB)              // sync, MPEG-1, Layer III, no CRC
            return -1;
        if ((h(2) & 0xFC) != (rateBits | 0x04))           // bit rate, 48 kHz
            return -1;
        if ((h(3) & 0xC4) != 0x44)                        // joint stereo, original
            return -1;
        at += 144 * kbps * 1000 / 48000 + ((h(2) >> 1) & 1);
        ++frames;
    }
    return at == b.size() ? frames : -1;
}

long CountMp3Frames128(const std::string& b)
{
    return CountMp3Frames(b, 128);
}

TEST_F(ExportTest, Mp3ExportEncodesThroughTheLibraryAndRemovesTheTemporaryWav)
{
    const std::wstring library = BinFolder() + L"\\lame_enc.dll";
    ASSERT_TRUE(FileExists(library)) << "the test set-up puts lame_enc.dll beside the tests";
    lstrcpynW(AppSettings.encoderFolder, library.c_str(), SettingsPathLength);
    EXPECT_EQ(QueryEncoderVersion(), L"3.100");

    SetText(L"Encoded to MP3 at one hundred and twenty eight kilobits.");
    AppSettings.exportAsWav = false;
    AppSettings.mp3BitRate = 128;
    lstrcpynW(AppSettings.mp3Folder, folder.c_str(), SettingsPathLength);
    const std::wstring mp3 = folder + L"\\speech.mp3";
    const std::wstring temporary = folder + L"\\speech.mp_";
    std::atomic<bool> temporarySeen{false};
    std::thread watcher;
    AnswerSaveDialog(L"speech");
    watcher = std::thread([&] {
        // Whenever a wait dialog is open, the rendering goes to the temporary file.
        for (DWORD waited = 0; waited < Timeout && !temporarySeen; waited += 2) {
            if (ExportInProgress() && FileExists(temporary))
                temporarySeen = true;
            Sleep(2);
        }
    });
    const std::wstring written = ExportSpeech(app.window(), app.reader().Text().Text().c_str(), voice);
    watcher.join();

    EXPECT_TRUE(temporarySeen);
    EXPECT_FALSE(FileExists(temporary));
    EXPECT_EQ(written, mp3);
    const long frames = CountMp3Frames128(ReadBytes(mp3));
    ASSERT_GT(frames, 0);
    // The rendering's length in frames of 1152 samples, with the encoder's own delay
    // and padding of at most a few frames.
    SetText(L"Encoded to MP3 at one hundred and twenty eight kilobits.");
    const long pcm = RenderTo(L"reference.wav");
    const long samples = pcm / 4;
    EXPECT_GE(frames * 1152, samples);
    EXPECT_LE(frames * 1152, samples + 4 * 1152);
}

// With a stand-in library the rendering succeeds and the encoding does not finish.
class FailedMp3Test : public ExportTest {
protected:
    void UseLibrary(const wchar_t* name)
    {
        lstrcpynW(AppSettings.encoderFolder, (BinFolder() + L"\\" + name).c_str(), SettingsPathLength);
        lstrcpynW(AppSettings.mp3Folder, folder.c_str(), SettingsPathLength);
        AppSettings.exportAsWav = false;
        SetText(L"Never encoded.");
    }

    // Answers the warning, noting whether the export's files were already gone and
    // whether the user-interface thread showed it over the program's window.
    void AnswerWarning()
    {
        HWND box = WaitForProcessWindow(GetCurrentProcessId(), L"#32770", L"Warning", Timeout);
        message = box ? MessageBoxText(box) : L"";
        shownByUiThread = box && GetWindowThreadProcessId(box, nullptr) == uiThread
            && GetWindow(box, GW_OWNER) == app.window();
        for (const std::wstring& name : watchedFiles)
            leftAtWarning = leftAtWarning || FileExists(name);
        PressDialogButton(box, IDOK);
        warned = true;
    }

    std::wstring message;
    std::atomic<bool> warned{false};
    std::vector<std::wstring> watchedFiles;
    bool leftAtWarning = false;
    bool shownByUiThread = false;
};

TEST_F(FailedMp3Test, LibraryLackingAFunctionFailsAndLeavesNoFile)
{
    UseLibrary(L"fake_lame_enc_incomplete.dll");
    watchedFiles = {folder + L"\\broken.mp3", folder + L"\\broken.mp_"};
    AnswerSaveDialog(L"broken");
    std::thread user([this] { AnswerWarning(); });
    app.Command(CMD_EXPORT);
    user.join();
    EXPECT_EQ(message, L"File save failed.");
    EXPECT_FALSE(FileExists(folder + L"\\broken.mp3"));
    EXPECT_FALSE(FileExists(folder + L"\\broken.mp_"));
    EXPECT_FALSE(leftAtWarning) << "files were still there when the warning showed";
    EXPECT_TRUE(shownByUiThread) << "the warning was not the program window's, on its own thread";
}

TEST_F(FailedMp3Test, CancelWhileEncodingReportsAndRemovesBothFiles)
{
    UseLibrary(L"fake_lame_enc.dll");
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, L"ClipvoceFakeEncoderHold");
    const std::wstring mp3 = folder + L"\\held.mp3";
    const std::wstring temporary = folder + L"\\held.mp_";
    watchedFiles = {mp3, temporary};
    AnswerSaveDialog(L"held");
    std::thread user([&] {
        // The MP3 file appears once the encoder runs; it holds its first chunk meanwhile.
        HWND waitDialog = nullptr;
        for (DWORD waited = 0; waited < Timeout && !(FileExists(mp3) && (waitDialog = FindDialog(uiThread, L"Saving..."))); waited += 10)
            Sleep(10);
        PressDialogButton(waitDialog, IDCANCEL);
        for (DWORD waited = 0; waited < Timeout && ExportInProgress(); waited += 10)
            Sleep(10);
        SetEvent(hold);
        AnswerWarning();
    });
    app.Command(CMD_EXPORT);
    // The worker reports and cleans up after the dialog has gone.
    EXPECT_TRUE(PumpUntil([&] { return warned && !FileExists(mp3) && !FileExists(temporary); }, Timeout));
    user.join();
    CloseHandle(hold);
    EXPECT_EQ(message, L"File save failed.");
    EXPECT_FALSE(leftAtWarning) << "files were still there when the warning showed";
    EXPECT_TRUE(shownByUiThread) << "the warning was not the program window's, on its own thread";
}

class EncoderTest : public ExportTest {
protected:
    void UseLibrary(const wchar_t* name)
    {
        lamedir = BinFolder() + L"\\" + name;
        lstrcpynW(AppSettings.encoderFolder, lamedir.c_str(), SettingsPathLength);
    }
    std::wstring lamedir;
};

TEST_F(EncoderTest, EveryBitRateGivesMpeg1Layer3At48kHz)
{
    UseLibrary(L"lame_enc.dll");
    const std::wstring wav = folder + L"\\tone.wav";
    WriteToneWav(wav, 1);
    for (unsigned kbps : Mp3Rates) {
        AppSettings.mp3BitRate = kbps;
        const std::wstring mp3 = folder + L"\\rate" + std::to_wstring(kbps) + L".mp3";
        ASSERT_EQ(Mp3Encode(wav.c_str(), mp3.c_str(), EncodingWatch{}), 1) << kbps << " kbit/s";
        // One second is 41.7 frames of 1152 samples; the encoder adds its delay.
        const long frames = CountMp3Frames(ReadBytes(mp3), kbps);
        EXPECT_GE(frames, 42) << kbps << " kbit/s: not all frames MPEG-1 Layer III at 48 kHz and this rate";
        EXPECT_LE(frames, 46) << kbps << " kbit/s";
    }
}

TEST_F(EncoderTest, LibraryIsLetGoOnceAskedAndOnceEncoded)
{
    UseLibrary(L"fake_lame_enc.dll");
    const std::wstring wav = folder + L"\\short.wav";
    WriteToneWav(wav, 1);
    ASSERT_FALSE(QueryEncoderVersion().empty());
    EXPECT_EQ(GetModuleHandleW(L"fake_lame_enc.dll"), nullptr) << "still loaded after the version query";
    ASSERT_EQ(Mp3Encode(wav.c_str(), (folder + L"\\short.mp3").c_str(), EncodingWatch{}), 1);
    EXPECT_EQ(GetModuleHandleW(L"fake_lame_enc.dll"), nullptr) << "still loaded after the encoding";
}

TEST_F(EncoderTest, ProgressIsPostedAtMostTenTimesASecond)
{
    UseLibrary(L"lame_enc.dll");
    AppSettings.mp3BitRate = 128;
    const std::wstring wav = folder + L"\\ten.wav";
    WriteToneWav(wav, 10);
    constexpr UINT ProgressMessage = WM_APP + 40;
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EncodingWatch watch;
    watch.progressWindow = window;
    watch.progressMessage = ProgressMessage;
    const ULONGLONG start = GetTickCount64();
    ASSERT_EQ(Mp3Encode(wav.c_str(), (folder + L"\\ten.mp3").c_str(), watch), 1);
    const ULONGLONG elapsed = GetTickCount64() - start;

    // Ten seconds are over four hundred chunks; the window hears of a few of them.
    std::vector<WPARAM> shares;
    MSG message;
    while (PeekMessageW(&message, window, ProgressMessage, ProgressMessage, PM_REMOVE))
        shares.push_back(message.wParam);
    DestroyWindow(window);
    ASSERT_FALSE(shares.empty());
    EXPECT_LE(shares.size(), elapsed / 100 + 1) << "in " << elapsed << " ms";
    for (size_t i = 1; i < shares.size(); ++i)
        EXPECT_GT(shares[i], shares[i - 1]);
    EXPECT_LE(shares.back(), 10000u);
    char text[64];
    FormatEncodingProgress(3750, text, sizeof text);
    EXPECT_STREQ(text, "37.50% of conversion");
}

TEST_F(EncoderTest, FullDiskFailsTheEncodingAtTheLastWriteAsAtAnyOther)
{
    // The null device that is always full: every write to it fails for lack of space.
    const wchar_t* full = L"Z:\\dev\\full";
    FILE* probe = _wfopen(full, L"wb");
    ASSERT_NE(probe, nullptr) << "the always-full device cannot be reached";
    fclose(probe);
    const std::wstring wav = folder + L"\\tone.wav";
    WriteToneWav(wav, 2);
    // The stand-in encoder's few bytes stay in the stream's buffer until it is closed.
    UseLibrary(L"fake_lame_enc.dll");
    EXPECT_EQ(Mp3Encode(wav.c_str(), full, EncodingWatch{}), 0) << "a failed close was taken for success";
    UseLibrary(L"lame_enc.dll");
    AppSettings.mp3BitRate = 320;
    EXPECT_EQ(Mp3Encode(wav.c_str(), full, EncodingWatch{}), 0) << "a failed write was taken for success";
}

// A voice whose rendering ends early, as on a full disk: the text was taken, and its
// status reports why the rest never came.
class DiskFullVoice : public FakeVoice {
public:
    HRESULT STDMETHODCALLTYPE SetVoice(ISpObjectToken*) override { return S_OK; }
};

class DiskFullVoiceFactory : public IClassFactory {
public:
    DiskFullVoice voice;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override { return voice.QueryInterface(iid, out); }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST_F(ExportTest, RenderingCutShortByAFullDiskIsReportedAndLeavesNoFile)
{
    DiskFullVoiceFactory factory;
    factory.voice.status.hrLastResult = STG_E_MEDIUMFULL;
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(CoRegisterClassObject(CLSID_SpVoice, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    SetText(L"Only the start of this fits on the disk.");
    AppSettings.exportAsWav = true;
    lstrcpynW(AppSettings.wavFolder, folder.c_str(), SettingsPathLength);
    const std::wstring file = folder + L"\\full.wav";
    std::wstring message;
    bool leftAtWarning = true;
    AnswerSaveDialog(L"full");
    std::thread user([&] {
        HWND box = WaitForProcessWindow(GetCurrentProcessId(), L"#32770", L"Warning", Timeout);
        message = box ? MessageBoxText(box) : L"";
        leftAtWarning = FileExists(file);
        PressDialogButton(box, IDOK);
    });
    app.Command(CMD_EXPORT);
    user.join();
    CoRevokeClassObject(cookie);

    const std::vector<std::wstring> calls = factory.voice.Take();
    EXPECT_NE(std::find(calls.begin(), calls.end(), L"Speak"), calls.end()) << "the text never reached the voice";
    EXPECT_EQ(message, L"File save failed.");
    EXPECT_FALSE(leftAtWarning) << "the cut-off file was still there when the warning showed";
    EXPECT_FALSE(FileExists(file));
}

} // namespace
