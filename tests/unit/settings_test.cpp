// Loading and saving AppSettings through the settings file, the Run-key entry and the
// facts about the running executable. Each test works in a settings folder of its own
// name, so the program's real settings in this prefix are never touched.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include "file_bytes.h"

#include <atomic>
#include <clocale>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "settings/voice_settings.h"
#include "app/restart.h"

namespace {

constexpr wchar_t TestAppName[] = L"ClipvoceTest";
constexpr wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring AppDataFolder()
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring SettingsFolder() { return AppDataFolder() + L"\\" + TestAppName; }
std::wstring SettingsFile() { return SettingsFolder() + L"\\clipvoce.ini"; }
std::wstring RejectedFile() { return SettingsFile() + L".rejected"; }

std::wstring RunValue(const wchar_t* name)
{
    wchar_t data[1024] = L"";
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, RunKey, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<none>";
    return data;
}

// What a fresh process has before start-up: first-run values, nothing read.
void ForgetEverything()
{
    AppSettings = AppSettingsRecord{};
    SettingsStore.document = CIniFile();
    SettingsStore.path.clear();
    SettingsStore.firstRun = false;
    SettingsStore.resetPending = false;
    SettingsStore.readError = 0;
}

class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveFolder();
        ForgetEverything();
    }

    void TearDown() override
    {
        RemoveFolder();
        ForgetEverything();
    }

    static void RemoveFolder()
    {
        for (const std::wstring& file : {SettingsFile(), RejectedFile(), SettingsFile() + L".tmp"})
            DeleteFileW(file.c_str());
        RemoveDirectoryW(SettingsFolder().c_str());
    }

    // A new start of the program against the same folder.
    static void Restart()
    {
        ForgetEverything();
        LoadSettings(TestAppName);
    }

    static void PrepareFile(const std::string& bytes)
    {
        CreateDirectoryW(SettingsFolder().c_str(), nullptr);
        EXPECT_TRUE(WriteBytes(SettingsFile(), bytes));
    }
};

std::string FirstRunFile()
{
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    LOGFONTW gui{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    char position[64], charset[32];
    snprintf(position, sizeof position, "x=%ld\r\ny=%ld\r\n", work.right - 300 - work.left,
             work.bottom - 150 - work.top);
    snprintf(charset, sizeof charset, "charset=%d\r\n", gui.lfCharSet);
    return std::string("[window]\r\n") + position +
           "width=300\r\nheight=150\r\nborder=1\r\nwindow=1\r\nclose=1\r\ndelete=1\r\ntop=1\r\n"
           "transparency=255\r\nbackground=16777215\r\ntext=0\r\nbold=1\r\nitalic=0\r\npoint=-13\r\n" +
           charset + "font=Courier New\r\n\r\n"
           "[settings]\r\nconfirm=0\r\nstart=0\r\nclipboard=1\r\nappend=0\r\nrepeat=0\r\nrate=-1\r\n"
           "autoplay=0\r\nautoscroll=1\r\nfulltext=1\r\n\r\n"
           "[export]\r\nwav=1\r\nmp3rate=128\r\nwavdir=\r\nlamedir=\r\nmp3dir=\r\n\r\n";
}

TEST_F(SettingsTest, FirstStartCreatesFolderAndWritesFirstRunFile)
{
    ASSERT_FALSE(FileExists(SettingsFolder()));
    LoadSettings(TestAppName);
    EXPECT_TRUE(SettingsStore.firstRun);
    EXPECT_EQ(SettingsStore.path, SettingsFile());
    EXPECT_EQ(ReadBytes(SettingsFile()), FirstRunFile());
    EXPECT_FALSE(FileExists(RejectedFile()));
    EXPECT_EQ(std::size(Mp3BitRates), 14u);
    EXPECT_EQ(TextLogFont().lfWeight, 700);
    EXPECT_STREQ(TextLogFont().lfFaceName, L"Courier New");
}

TEST_F(SettingsTest, SecondStartReadsWhatWasSaved)
{
    LoadSettings(TestAppName);
    ASSERT_TRUE(SettingsStore.firstRun);
    AppSettings.width = 411;
    AppSettings.showBorder = false;
    AppSettings.confirmDeleteAll = false;
    AppSettings.italic = true;
    AppSettings.bold = false;
    AppSettings.speechRate = 7;
    AppSettings.backgroundColour = RGB(1, 2, 250);
    AppSettings.mp3BitRate = 320;
    lstrcpyW(AppSettings.encoderFolder, L"C:\\M\x00FAsica\\lame_enc.dll");
    AppSettings.fontHeightPixels = -16;
    AppSettings.fontCharset = 204;
    lstrcpyW(AppSettings.fontFace, L"Arial");
    SaveSettings();

    Restart();
    EXPECT_FALSE(SettingsStore.firstRun);
    EXPECT_EQ(AppSettings.width, 411);
    EXPECT_FALSE(AppSettings.showBorder);
    EXPECT_FALSE(AppSettings.confirmDeleteAll);
    EXPECT_TRUE(AppSettings.speechWindowShown);
    EXPECT_EQ(AppSettings.speechRate, 7);
    EXPECT_EQ(AppSettings.backgroundColour, RGB(1, 2, 250));
    EXPECT_EQ(AppSettings.mp3BitRate, 320);
    EXPECT_STREQ(AppSettings.encoderFolder, L"C:\\M\x00FAsica\\lame_enc.dll");
    EXPECT_EQ(TextLogFont().lfHeight, -16);
    EXPECT_EQ(TextLogFont().lfCharSet, 204);
    EXPECT_STREQ(TextLogFont().lfFaceName, L"Arial");
    EXPECT_EQ(TextLogFont().lfWeight, 400);
    EXPECT_EQ(TextLogFont().lfItalic, 255);
    EXPECT_EQ(ReadBytes(SettingsFile()).find("[window]\r\n"), 0u);   // written in place, not appended
}

// Each section keeps its keys by a rule of its own; whatever the rule, a setting the user
// changed is what the next start reads.
TEST_F(SettingsTest, EveryChangedSettingComesBackAfterARestart)
{
    LoadSettings(TestAppName);
    AppSettingsRecord& s = AppSettings;
    s.x = 17;
    s.y = 23;
    s.width = 640;
    s.height = 480;
    s.opacity = 200;
    s.textColour = RGB(200, 100, 50);
    s.fontCharset = 161;
    s.showBorder = s.speechWindowShown = s.closeQuits = s.confirmDeleteAll = s.alwaysOnTop = false;
    s.monitorClipboard = s.autoScroll = s.showFullText = s.exportAsWav = false;
    s.confirmQuit = s.startWithWindows = s.appendCopies = s.repeatReading = s.autoPlay = true;
    s.speechRate = MinSpeechRate;
    lstrcpyW(s.wavFolder, L"C:\\wav");
    lstrcpyW(s.mp3Folder, L"C:\\mp3");
    s.readSelectionHotKey = MAKEWORD('R', HOTKEYF_CONTROL | HOTKEYF_SHIFT);
    s.playPauseHotKey = MAKEWORD('K', HOTKEYF_ALT);
    s.stopHotKey = 0;
    s.listening = ListeningFilters{false, false, false, false, false, false};
    s.markSentence = false;
    s.focusMode = true;
    s.lineSpacingPercent = 200;
    s.volume = 0;
    s.pitch = MaxPitch;
    s.readEachLanguage = true;
    SetLanguageVoiceId(s, LANG_GERMAN, L"HKEY_LOCAL_MACHINE\\V\\Tokens\\German");
    RememberHearingCopiesNoteShown();
    const AppSettingsRecord changed = AppSettings;
    SaveSettings();

    Restart();
    EXPECT_EQ(s.x, changed.x);
    EXPECT_EQ(s.y, changed.y);
    EXPECT_EQ(s.width, changed.width);
    EXPECT_EQ(s.height, changed.height);
    EXPECT_EQ(s.opacity, changed.opacity);
    EXPECT_EQ(s.textColour, changed.textColour);
    EXPECT_EQ(s.fontCharset, changed.fontCharset);
    for (bool flag : {s.showBorder, s.speechWindowShown, s.closeQuits, s.confirmDeleteAll, s.alwaysOnTop,
                      s.monitorClipboard, s.autoScroll, s.showFullText, s.exportAsWav, s.markSentence})
        EXPECT_FALSE(flag);
    for (bool flag : {s.confirmQuit, s.startWithWindows, s.appendCopies, s.repeatReading, s.autoPlay, s.focusMode})
        EXPECT_TRUE(flag);
    EXPECT_EQ(s.speechRate, MinSpeechRate);
    EXPECT_STREQ(s.wavFolder, L"C:\\wav");
    EXPECT_STREQ(s.mp3Folder, L"C:\\mp3");
    EXPECT_EQ(s.readSelectionHotKey, changed.readSelectionHotKey);
    EXPECT_EQ(s.playPauseHotKey, changed.playPauseHotKey);
    EXPECT_EQ(s.stopHotKey, 0);
    EXPECT_TRUE(s.listening == changed.listening);
    EXPECT_EQ(s.lineSpacingPercent, 200);
    EXPECT_EQ(s.volume, 0);
    EXPECT_TRUE(SameVoices(s, changed));
    EXPECT_TRUE(HearingCopiesNoteShown());
}

TEST_F(SettingsTest, ReadFileWithoutKeysGivesZeroesNotFirstRunValues)
{
    PrepareFile("[window]\r\n[settings]\r\n[export]\r\n");
    LoadSettings(TestAppName);
    EXPECT_FALSE(SettingsStore.firstRun);
    const AppSettingsRecord& s = AppSettings;
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 0);
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.height, 0);
    EXPECT_EQ(s.opacity, 0);
    EXPECT_EQ(s.backgroundColour, 0u);
    EXPECT_EQ(s.textColour, 0u);
    EXPECT_EQ(s.speechRate, 0);
    EXPECT_EQ(s.mp3BitRate, 0);
    for (bool flag : {s.showBorder, s.speechWindowShown, s.closeQuits, s.confirmDeleteAll, s.alwaysOnTop, s.bold, s.italic, s.confirmQuit, s.startWithWindows,
                      s.monitorClipboard, s.appendCopies, s.repeatReading, s.autoPlay, s.autoScroll, s.showFullText, s.exportAsWav})
        EXPECT_FALSE(flag);
    EXPECT_STREQ(s.fontFace, L"");
    EXPECT_EQ(TextLogFont().lfHeight, 0);
    EXPECT_EQ(TextLogFont().lfWeight, 400);
    EXPECT_EQ(TextLogFont().lfItalic, 0);
    EXPECT_STREQ(TextLogFont().lfFaceName, L"");
}

TEST_F(SettingsTest, ValuesAreTakenAsWritten)
{
    const std::string longPath = "C:\\" + std::string(300, 'd');
    PrepareFile("[window]\nwidth=wide\nborder=2\nwindow=yes\nclose=-1\ncharset=460\nfont=Segoe UI\n"
                "[settings]\nrate=99\n[export]\nlamedir=" + longPath + "\nmp3dir=D:\\out\n");
    LoadSettings(TestAppName);
    EXPECT_FALSE(SettingsStore.firstRun);
    EXPECT_EQ(AppSettings.width, 0);
    EXPECT_TRUE(AppSettings.showBorder);
    EXPECT_FALSE(AppSettings.speechWindowShown);
    EXPECT_TRUE(AppSettings.closeQuits);
    EXPECT_EQ(TextLogFont().lfCharSet, 460 & 0xFF);
    EXPECT_STREQ(TextLogFont().lfFaceName, L"Segoe UI");
    // A rate no voice takes is brought to the nearest one it does.
    EXPECT_EQ(AppSettings.speechRate, 10);
    // A path that does not fit its field is not cut to some other path.
    EXPECT_STREQ(AppSettings.encoderFolder, L"");
    EXPECT_STREQ(AppSettings.mp3Folder, L"D:\\out");
}

// The voice section holds only choices that differ from the first run; a choice taken
// back is emptied in place, and an empty value reads as no choice.
TEST_F(SettingsTest, VoiceChoicesAreKeptOnlyWhereTheyDiffer)
{
    LoadSettings(TestAppName);
    AppSettings.voiceId = L"HKEY_LOCAL_MACHINE\\V\\Tokens\\German";
    AppSettings.volume = 40;
    AppSettings.pitch = -3;
    AppSettings.readEachLanguage = false;
    SetLanguageVoiceId(AppSettings, LANG_FRENCH, L"HKEY_LOCAL_MACHINE\\V\\Tokens\\French2");
    SaveSettings();
    EXPECT_NE(ReadBytes(SettingsFile()).find("[voice]\r\nvoice=HKEY_LOCAL_MACHINE\\V\\Tokens\\German\r\nvolume=40\r\n"
                                             "pitch=-3\r\nlanguages=0\r\nvoice-fr=HKEY_LOCAL_MACHINE\\V\\Tokens\\French2\r\n"),
              std::string::npos)
        << ReadBytes(SettingsFile());

    Restart();
    EXPECT_EQ(AppSettings.voiceId, L"HKEY_LOCAL_MACHINE\\V\\Tokens\\German");
    EXPECT_EQ(AppSettings.volume, 40);
    EXPECT_EQ(AppSettings.pitch, -3);
    EXPECT_EQ(AppSettings.readEachLanguage, std::optional<bool>(false));
    EXPECT_EQ(LanguageVoiceId(AppSettings, LANG_FRENCH), L"HKEY_LOCAL_MACHINE\\V\\Tokens\\French2");

    const AppSettingsRecord firstRun;
    AppSettings.voiceId.clear();
    AppSettings.volume = firstRun.volume;
    AppSettings.pitch = firstRun.pitch;
    AppSettings.readEachLanguage.reset();
    SetLanguageVoiceId(AppSettings, LANG_FRENCH, L"");
    SaveSettings();
    Restart();
    EXPECT_TRUE(SameVoices(AppSettings, firstRun));
    EXPECT_EQ(AppSettings.volume, firstRun.volume);

    PrepareFile("[voice]\r\nvolume=250\r\nvoice-xx-nowhere=V\r\nlanguages=1\r\n");
    Restart();
    EXPECT_EQ(AppSettings.volume, 100);
    EXPECT_TRUE(AppSettings.languageVoices.empty());
    EXPECT_EQ(AppSettings.readEachLanguage, std::optional<bool>(true));
}

// A damaged value reads as the first-run one, one out of range as the nearest allowed; a
// save leaves both as they stand until the user changes them.
TEST_F(SettingsTest, DamagedOrOutOfRangeValuesAreNeitherMuteNorWrittenBack)
{
    const std::string damaged = "[settings]\r\nrate=2147483647\r\n[voice]\r\nvolume=abc\r\npitch=99\r\nlanguages=abc\r\n";
    PrepareFile(damaged);
    Restart();
    EXPECT_EQ(AppSettings.speechRate, 10);
    EXPECT_EQ(AppSettings.volume, FullVolume);
    EXPECT_EQ(AppSettings.pitch, MaxPitch);
    EXPECT_EQ(AppSettings.readEachLanguage, AppSettingsRecord{}.readEachLanguage);
    SaveSettings();
    const std::string saved = ReadBytes(SettingsFile());
    EXPECT_NE(saved.find("rate=2147483647\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[voice]\r\nvolume=abc\r\npitch=99\r\nlanguages=abc\r\n"), std::string::npos) << saved;

    PrepareFile("[voice]\r\nvolume=-5\r\n");
    Restart();
    EXPECT_EQ(AppSettings.volume, 0);
    AppSettings.volume = 30;
    SaveSettings();
    Restart();
    EXPECT_EQ(AppSettings.volume, 30);
}

// The speed is written as people write it, a decimal with a dot, whatever the locale, and
// only once it is not the voice's own pace.
TEST_F(SettingsTest, SpeedIsKeptAsADecimalWithADot)
{
    LoadSettings(TestAppName);
    const char* previousLocale = setlocale(LC_NUMERIC, "German");
    const std::string localeBefore = previousLocale ? previousLocale : "C";
    const std::pair<int, const char*> speedsWritten[] = {{250, "2.5"}, {75, "0.75"}, {125, "1.25"}, {400, "4.0"}};
    for (const auto& [speed, written] : speedsWritten) {
        AppSettings.speedPercent = speed;
        SaveSettings();
        EXPECT_NE(ReadBytes(SettingsFile()).find(std::string("[voice]\r\nspeed=") + written + "\r\n"), std::string::npos)
            << ReadBytes(SettingsFile());
        Restart();
        EXPECT_EQ(AppSettings.speedPercent, speed) << written;
    }
    setlocale(LC_NUMERIC, localeBefore.c_str());
    AppSettings.speedPercent = NormalSpeedPercent;
    SaveSettings();
    EXPECT_NE(ReadBytes(SettingsFile()).find("[voice]\r\nspeed=\r\n"), std::string::npos) << "taken back, not left at 4.0";
    Restart();
    EXPECT_EQ(AppSettings.speedPercent, NormalSpeedPercent);

    const std::pair<const char*, int> speedsRead[] = {{"2,5", 100}, {"", 100},    {"fast", 100},        {"2.5x", 100},
                                                      {"1.", 100},  {".5", 100},  {"9", 400},           {"99999999999", 400},
                                                      {"0.1", 50},  {"-2", 50},   {" 1.3 ", 130},       {"1.335", 134}};
    for (const auto& [text, speed] : speedsRead) {
        PrepareFile(std::string("[voice]\r\nspeed=") + text + "\r\n");
        Restart();
        EXPECT_EQ(AppSettings.speedPercent, speed) << "speed=" << text;
    }
    // A damaged value stays as the user left it until the speed is changed.
    PrepareFile("[voice]\r\nspeed=2,5\r\n");
    Restart();
    SaveSettings();
    EXPECT_NE(ReadBytes(SettingsFile()).find("speed=2,5\r\n"), std::string::npos);
}

TEST_F(SettingsTest, UnknownEntriesSurviveSaves)
{
    PrepareFile(";written by hand\r\n[window]\r\nx=5\r\n[export]\r\ncustom=keep me\r\n[plugins]\r\n;note\r\nname=value\r\n");
    LoadSettings(TestAppName);
    SaveSettings();
    Restart();
    SaveSettings();
    const std::string file = ReadBytes(SettingsFile());
    EXPECT_EQ(file.find(";written by hand\r\n\r\n[window]\r\nx=5\r\ny=0\r\n"), 0u) << file;
    EXPECT_NE(file.find("[export]\r\ncustom=keep me\r\nwav=0\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("[plugins]\r\n;note\r\nname=value\r\n\r\n[settings]\r\n"), std::string::npos) << file;
}

TEST_F(SettingsTest, RejectedFileIsKeptBesideTheFreshOne)
{
    const std::string edited = "[window]\r\nx=5\r\n\twidth=640\r\n[settings]\r\nrate=3\r\n";
    PrepareFile(edited);
    LoadSettings(TestAppName);
    EXPECT_TRUE(SettingsStore.firstRun);
    EXPECT_EQ(ReadBytes(RejectedFile()), edited);
    EXPECT_EQ(AppSettings.width, 300);
    // The sections read before the bad line stay first; the fresh values go into them.
    const std::string fresh = ReadBytes(SettingsFile());
    EXPECT_EQ(fresh.find("[window]\r\nx="), 0u);
    EXPECT_NE(fresh.find("width=300\r\n"), std::string::npos);
    EXPECT_NE(fresh.find("font=Courier New\r\n\r\n[window]\r\n\r\n[settings]\r\n"), std::string::npos) << fresh;
}

TEST_F(SettingsTest, NothingToKeepWhenNoFileOrAnEmptyOne)
{
    LoadSettings(TestAppName);
    EXPECT_FALSE(FileExists(RejectedFile()));
    PrepareFile("");
    Restart();
    EXPECT_TRUE(SettingsStore.firstRun);
    EXPECT_FALSE(FileExists(RejectedFile()));
    EXPECT_EQ(ReadBytes(SettingsFile()), FirstRunFile());
}

// Opens the file the way a backup or sync client does: no one else may read it.
HANDLE HoldWithoutSharing(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST_F(SettingsTest, FileHeldForAMomentIsReadOnceReleased)
{
    PrepareFile("[window]\r\nwidth=411\r\n[settings]\r\nrate=3\r\n");
    HANDLE held = HoldWithoutSharing(SettingsFile());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread release([held] {
        Sleep(300);
        CloseHandle(held);
    });
    LoadSettings(TestAppName);
    release.join();
    EXPECT_EQ(SettingsStore.readError, 0u);
    EXPECT_FALSE(SettingsStore.firstRun);
    EXPECT_EQ(AppSettings.width, 411);
    EXPECT_EQ(AppSettings.speechRate, 3);
}

TEST_F(SettingsTest, FileHeldThroughoutIsNeitherUsedNorEverWritten)
{
    const std::string mine = "[window]\r\nwidth=411\r\n[settings]\r\nrate=3\r\n";
    PrepareFile(mine);
    HANDLE held = HoldWithoutSharing(SettingsFile());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    LoadSettings(TestAppName);
    CloseHandle(held);
    EXPECT_EQ(SettingsStore.readError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Not a first run: the user has settings, the program only could not read them.
    EXPECT_FALSE(SettingsStore.firstRun);
    EXPECT_EQ(AppSettings.width, 300);
    EXPECT_EQ(AppSettings.speechRate, -1);
    EXPECT_EQ(AppSettings.backgroundColour, RGB(255, 255, 255));
    EXPECT_FALSE(FileExists(RejectedFile()));

    // Neither a save nor a reset touches the file, even once it is free again.
    SaveSettings();
    SettingsStore.resetPending = true;
    SaveSettings();
    EXPECT_EQ(ReadBytes(SettingsFile()), mine);
}

TEST_F(SettingsTest, ResetLeavesNoFileAndNextStartIsFirstRun)
{
    LoadSettings(TestAppName);
    AppSettings.speechRate = 4;
    SaveSettings();
    SettingsStore.resetPending = true;
    SaveSettings();
    EXPECT_FALSE(FileExists(SettingsFile()));
    Restart();
    EXPECT_TRUE(SettingsStore.firstRun);
    EXPECT_EQ(AppSettings.speechRate, -1);
    EXPECT_EQ(ReadBytes(SettingsFile()), FirstRunFile());
}

TEST_F(SettingsTest, SavedHeightIsThatOfTheFramedWindow)
{
    LoadSettings(TestAppName);
    const HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 10, 20, 333, 222,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SaveSettings(window);
    EXPECT_EQ(AppSettings.x, 10);
    EXPECT_EQ(AppSettings.y, 20);
    EXPECT_EQ(AppSettings.width, 333);
    EXPECT_EQ(AppSettings.height, 222);

    AppSettings.showBorder = false;
    SaveSettings(window, 37);
    EXPECT_EQ(AppSettings.height, 259);
    DestroyWindow(window);
    Restart();
    EXPECT_EQ(AppSettings.height, 259);
    EXPECT_EQ(AppSettings.x, 10);
}

TEST_F(SettingsTest, RunEntryFollowsStartSetting)
{
    AppSettings.startWithWindows = true;
    EXPECT_TRUE(UpdateAutostart());
    // No blank in this program's path, so it stands unquoted.
    ASSERT_EQ(ProgramInfo.programPath.find(L' '), std::wstring::npos);
    EXPECT_EQ(RunValue(L"Clipvoce"), ProgramInfo.programPath);

    AppSettings.startWithWindows = false;
    EXPECT_TRUE(UpdateAutostart());
    EXPECT_EQ(RunValue(L"Clipvoce"), L"<none>");
}

TEST(RunningProgram, IsDescribedByProgramInfo)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    EXPECT_EQ(ProgramInfo.programPath, path);
    EXPECT_EQ(ProgramInfo.fileName, L"unit_settings_test.exe");
    EXPECT_GE(ProgramInfo.osVersion.dwMajorVersion, 5u);
    // The test programs carry the program's own resources, its version block included.
    EXPECT_EQ(ProgramInfo.versionText, L"0.0.2.3");
}

// Answers the first message box owned by the given window with No, and keeps its texts.
struct MessageBoxAnswerer {
    explicit MessageBoxAnswerer(HWND owner) : owner(owner), worker([this] { Run(); }) {}
    ~MessageBoxAnswerer()
    {
        if (worker.joinable())
            worker.join();
    }

    void Run()
    {
        for (int tries = 0; tries < 500 && !answered; ++tries) {
            HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr);
            for (; box && !answered; box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
                if (GetWindow(box, GW_OWNER) != owner)
                    continue;
                GetWindowTextW(box, caption, 64);
                GetDlgItemTextW(box, 0xFFFF, text, 260);   // the box's message
                PostMessageW(box, WM_COMMAND, IDNO, 0);
                answered = true;
            }
            Sleep(20);
        }
    }

    HWND owner;
    wchar_t caption[64] = L"";
    wchar_t text[260] = L"";
    std::atomic<bool> answered{false};
    std::thread worker;
};

TEST_F(SettingsTest, DecliningResetChangesNothing)
{
    HWND dialog = CreateWindowExW(0, L"STATIC", L"Options", WS_POPUP, 0, 0, 100, 100,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    MessageBoxAnswerer answerer(dialog);
    RequestReset(dialog);
    answerer.worker.join();
    ASSERT_TRUE(answerer.answered);
    EXPECT_STREQ(answerer.caption, L"Confirmation");
    EXPECT_STREQ(answerer.text,
                 L"Application must be restarted to set the default settings.\nDo you want to restart now?");
    EXPECT_FALSE(SettingsStore.resetPending);
    EXPECT_TRUE(IsWindow(dialog));
    DestroyWindow(dialog);
}

} // namespace
