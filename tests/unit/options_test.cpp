// The Options dialog inside the test process: the frame's opening, OK and Cancel, and
// what each page does to AppSettings and the Speech window. Most cases run the dialog
// modelessly so the test thread can drive it; one runs it as the program does, modally.
#include <gtest/gtest.h>
#include "in_process_app.h"
#include "pump.h"
#include "app_driver.h"
#include "dialog_fit.h"
#include "app/options_host.h"
#include "export/mp3_encoder.h"
#include "options/options_dialog.h"
#include "options/options_pages.h"
#include "options/hot_keys_page.h"
#include "platform/high_contrast.h"
#include "platform/hot_key_names.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "pronunciation/pronunciation_store.h"
#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "view/text_view.h"
#include "resource.h"
#include <commctrl.h>
#include <richedit.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <thread>
#include <tuple>

namespace {

constexpr int SpeechTab = 0;
constexpr int AppearanceTab = 1;
constexpr int ExportTab = 2;
constexpr int HelpTab = 3;
constexpr int ListeningTab = 5;

// Every value the dialog's Cancel promises to give back.
auto Restorable()
{
    const AppSettingsRecord& s = AppSettings;
    return std::make_tuple(s.monitorClipboard, s.appendCopies, s.repeatReading, s.startWithWindows, s.speechWindowShown, s.showBorder, s.closeQuits, s.confirmQuit,
                           s.alwaysOnTop, s.speechRate, s.autoPlay, s.autoScroll, s.showFullText, s.confirmDeleteAll, s.opacity,
                           s.textColour, s.backgroundColour, s.exportAsWav, s.mp3BitRate, std::wstring(s.wavFolder),
                           std::wstring(s.mp3Folder), std::wstring(s.encoderFolder), s.fontHeightPixels,
                           std::wstring(s.fontFace), s.markSentence, s.focusMode, s.lineSpacingPercent);
}

RECT WindowRectOf(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

BYTE WindowAlpha(HWND window)
{
    BYTE alpha = 0;
    DWORD flags = 0;
    GetLayeredWindowAttributes(window, nullptr, &alpha, &flags);
    return alpha;
}

CHARFORMATW FormatAt(HWND richEdit, int position)
{
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    SendMessageW(richEdit, EM_SETSEL, position, position + 1);
    SendMessageW(richEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
}

class OptionsTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = L"";
        GetTempPathW(MAX_PATH, temp);
        file_ = std::wstring(temp) + L"clipvoce_options_test.ini";
        DeleteFileW(file_.c_str());
        // OK saves; it must save here, never to the prefix's real settings.
        SettingsStore.path = file_;
    }

    void TearDown() override
    {
        if (dialog_ && IsWindow(dialog_))
            DestroyWindow(dialog_);
        SettingsStore.path.clear();
        DeleteFileW(file_.c_str());
    }

    // Each opening has a record of its own, as the program's openings do.
    HWND Open(int tab) { return Open(tab, SpeechWindowOptionsHost(app_.state())); }
    HWND Open(int tab, OptionsHost host)
    {
        if (dialog_ && IsWindow(dialog_))
            DestroyWindow(dialog_);
        state_.emplace(std::move(host), tab);
        dialog_ = CreateDialogParamW(ProgramModule(), MAKEINTRESOURCEW(IDD_OPTIONS), app_.window(), OptionsDialogProc,
                                     reinterpret_cast<LPARAM>(&*state_));
        ShowWindow(dialog_, SW_SHOW);
        PumpPending();
        return dialog_;
    }

    void SelectTab(int index)
    {
        HWND tabs = GetDlgItem(dialog_, IDC_OPTIONS_TABS);
        SendMessageW(tabs, TCM_SETCURSEL, index, 0);
        NMHDR change{tabs, IDC_OPTIONS_TABS, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(dialog_, WM_NOTIFY, IDC_OPTIONS_TABS, reinterpret_cast<LPARAM>(&change));
        PumpPending();
    }

    HWND Page() const { return state_->currentPage; }
    void ChooseLineSpacing(int index)
    {
        SendDlgItemMessageW(Page(), IDC_LINE_SPACING, CB_SETCURSEL, index, 0);
        SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(IDC_LINE_SPACING, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(Page(), IDC_LINE_SPACING)));
    }
    void Press(int id) { SendMessageW(dialog_, WM_COMMAND, id, 0); }
    void Click(int id) { SendDlgItemMessageW(Page(), id, BM_CLICK, 0, 0); }
    bool Checked(int id) const { return IsDlgButtonChecked(Page(), id) == BST_CHECKED; }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(Page(), id)) != FALSE; }

    InProcessApp app_{SW_SHOWNORMAL};
    std::optional<OptionsDialogState> state_;
    HWND dialog_ = nullptr;
    std::wstring file_;
};

TEST_F(OptionsTest, OpensOnTheAskedTabWithSevenTabs)
{
    Open(HelpTab);
    EXPECT_EQ(OpenOptionsWindow(), dialog_);
    wchar_t caption[32] = L"";
    GetWindowTextW(dialog_, caption, 32);
    EXPECT_STREQ(caption, L"Options");
    HWND tabs = GetDlgItem(dialog_, IDC_OPTIONS_TABS);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 7);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), HelpTab);
    EXPECT_NE(GetDlgItem(Page(), IDC_HELP_TEXT), nullptr);
    EXPECT_EQ(state_->startTab, 0);

    wchar_t text[32] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 32;
    SendMessageW(tabs, TCM_GETITEMW, ExportTab, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, L"Voice Export");

    // Each selection makes its page afresh.
    SelectTab(ExportTab);
    EXPECT_NE(GetDlgItem(Page(), IDC_EXPORT_BITRATE), nullptr);
    SelectTab(AppearanceTab);
    EXPECT_NE(GetDlgItem(Page(), IDC_TRANSPARENCY), nullptr);
    SelectTab(SpeechTab);
    EXPECT_NE(GetDlgItem(Page(), IDC_RATE), nullptr);
}

// The filters change what the voice hears only on OK; Cancel gives them back.
TEST_F(OptionsTest, ListeningPageSwitchesTheFiltersForOk)
{
    app_.view().SetText(L"See [12] here.");
    app_.reader().PrepareText();
    AppSettings.listening.emoji = false;
    Open(ListeningTab);
    EXPECT_TRUE(Checked(IDC_LISTEN_CITATIONS));
    EXPECT_FALSE(Checked(IDC_LISTEN_EMOJI));
    Click(IDC_LISTEN_CITATIONS);
    Click(IDC_LISTEN_EMOJI);
    EXPECT_FALSE(AppSettings.listening.citations);
    EXPECT_EQ(ReaderProbe::Spoken(app_.reader())->Text(), L"See here.") << "not before OK";
    Press(IDCANCEL);
    EXPECT_TRUE(AppSettings.listening.citations);
    EXPECT_FALSE(AppSettings.listening.emoji);

    Open(ListeningTab);
    Click(IDC_LISTEN_CITATIONS);
    Press(IDOK);
    EXPECT_EQ(ReaderProbe::Spoken(app_.reader())->Text(), L"See [12] here.");
}

TEST_F(OptionsTest, SpeechPageShowsTheSettingsAndKeepsTheCouplings)
{
    AppSettings.closeQuits = true;
    AppSettings.appendCopies = true;
    Open(SpeechTab);
    EXPECT_EQ(SendDlgItemMessageW(Page(), IDC_RATE, TBM_GETPOS, 0, 0), -1);
    EXPECT_EQ(SendDlgItemMessageW(Page(), IDC_RATE, TBM_GETRANGEMIN, 0, 0), -10);
    EXPECT_FALSE(Checked(IDC_CLOSE));   // the box says "minimize", the field says "close"
    EXPECT_TRUE(Checked(IDC_APPEND));

    Click(IDC_CLOSE);
    EXPECT_FALSE(AppSettings.closeQuits);

    Click(IDC_CLIPBOARD);
    EXPECT_FALSE(AppSettings.monitorClipboard);
    EXPECT_FALSE(AppSettings.appendCopies);
    EXPECT_FALSE(Checked(IDC_APPEND));
    EXPECT_FALSE(Enabled(IDC_APPEND));
    Click(IDC_CLIPBOARD);
    EXPECT_TRUE(Enabled(IDC_APPEND));
    EXPECT_FALSE(Checked(IDC_APPEND));
    EXPECT_FALSE(AppSettings.appendCopies);

    // Played-text mode shows at once.
    Click(IDC_FULLTEXT);
    EXPECT_FALSE(AppSettings.autoScroll);
    EXPECT_FALSE(Enabled(IDC_AUTOSCROLL));
    EXPECT_TRUE(TextViewControl::Of(app_.view().Handle())->PlayedTextMode());

    // The page is rebuilt from the settings when its tab comes back.
    SelectTab(AppearanceTab);
    SelectTab(SpeechTab);
    EXPECT_TRUE(Checked(IDC_CLOSE));
    EXPECT_FALSE(Checked(IDC_FULLTEXT));
    EXPECT_FALSE(Enabled(IDC_AUTOSCROLL));
}

TEST_F(OptionsTest, RateSliderDrivesTheVoiceAtOnce)
{
    Open(SpeechTab);
    const auto label = [&](int control) {
        wchar_t text[32] = L"";
        GetDlgItemTextW(Page(), control, text, 32);
        return std::wstring(text);
    };
    // Each slider shows its value, as the voice takes it.
    EXPECT_EQ(label(IDC_RATE_VALUE), L"\u2212" L"1");
    EXPECT_EQ(label(IDC_VOLUME_VALUE), L"100 %");
    EXPECT_EQ(label(IDC_PITCH_VALUE), L"0");
    app_.voice.Take();
    HWND slider = GetDlgItem(Page(), IDC_RATE);
    SetFocus(slider);
    SendMessageW(slider, WM_KEYDOWN, VK_END, 0);
    SendMessageW(slider, WM_KEYUP, VK_END, 0);
    ASSERT_TRUE(PumpUntil([] { return AppSettings.speechRate == 10; }, 5000));
    const auto calls = app_.voice.Take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), L"SetRate(10)");
    EXPECT_EQ(label(IDC_RATE_VALUE), L"10");
}

// A screen reader names the list by its label and reads the entry chosen; a speed between
// the steps is listed where it belongs.
TEST_F(OptionsTest, SpeedListSetsTheSpeedAtOnceAndCancelGivesItBack)
{
    int applied = 0;
    OptionsHost host = SpeechWindowOptionsHost(app_.state());
    host.applySpeed = [&applied] { ++applied; };
    AppSettings.speedPercent = 130;
    Open(SpeechTab, host);
    HWND list = GetDlgItem(Page(), IDC_SPEED);
    EXPECT_EQ(WindowText(GetWindow(list, GW_HWNDPREV)), L"&Speed");
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 16);
    EXPECT_EQ(WindowText(list), L"1.3\u00D7");
    const auto choose = [&](int index) {
        SendMessageW(list, CB_SETCURSEL, index, 0);
        SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(IDC_SPEED, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    };
    choose(0);
    EXPECT_EQ(AppSettings.speedPercent, MinSpeedPercent);
    choose(15);
    EXPECT_EQ(AppSettings.speedPercent, MaxSpeedPercent);
    EXPECT_EQ(WindowText(list), L"4.0\u00D7");
    EXPECT_EQ(applied, 2);
    Press(IDCANCEL);
    EXPECT_EQ(AppSettings.speedPercent, 130);
    EXPECT_EQ(applied, 3);

    Open(SpeechTab, host);
    list = GetDlgItem(Page(), IDC_SPEED);
    choose(9);
    Press(IDOK);
    EXPECT_EQ(AppSettings.speedPercent, 250);
    EXPECT_EQ(IniValue(ReadFileUtf8(file_), L"speed"), L"2.5");
}

TEST_F(OptionsTest, CancelPutsBackEverythingThePagesChanged)
{
    const auto before = Restorable();
    const RECT windowBefore = WindowRectOf(app_.window());
    Open(SpeechTab);
    Click(IDC_CLIPBOARD);

    AppSettings.monitorClipboard = false;
    AppSettings.appendCopies = AppSettings.repeatReading = AppSettings.startWithWindows = AppSettings.confirmQuit = AppSettings.autoPlay = true;
    AppSettings.speechWindowShown = AppSettings.showBorder = AppSettings.closeQuits = AppSettings.alwaysOnTop = false;
    AppSettings.autoScroll = AppSettings.showFullText = AppSettings.confirmDeleteAll = false;
    AppSettings.speechRate = 7;
    AppSettings.textColour = RGB(1, 2, 3);
    AppSettings.backgroundColour = RGB(4, 5, 6);
    AppSettings.exportAsWav = false;
    AppSettings.mp3BitRate = 320;
    lstrcpyW(AppSettings.wavFolder, L"C:\\wav");
    lstrcpyW(AppSettings.mp3Folder, L"C:\\mp3");
    lstrcpyW(AppSettings.encoderFolder, L"C:\\lame");
    AppSettings.fontHeightPixels = -30;
    lstrcpyW(AppSettings.fontFace, L"Arial");

    SelectTab(AppearanceTab);
    HWND trackbar = GetDlgItem(Page(), IDC_TRANSPARENCY);
    SendMessageW(trackbar, TBM_SETPOS, TRUE, 40);
    SendMessageW(trackbar, WM_KEYDOWN, VK_HOME, 0);
    ASSERT_TRUE(PumpUntil([] { return AppSettings.opacity == 0; }, 5000));
    EXPECT_EQ(WindowAlpha(app_.window()), 0);
    Click(IDC_POSITION_TOPLEFT);
    EXPECT_EQ(WindowRectOf(app_.window()).left, 0);
    Click(IDC_MARK_SENTENCE);
    Click(IDC_FOCUS_MODE);
    ChooseLineSpacing(2);
    EXPECT_FALSE(AppSettings.markSentence);
    EXPECT_TRUE(AppSettings.focusMode);
    EXPECT_EQ(AppSettings.lineSpacingPercent, 200);
    app_.voice.Take();

    Press(IDCANCEL);
    EXPECT_EQ(OpenOptionsWindow(), nullptr);
    EXPECT_TRUE(Restorable() == before);
    EXPECT_TRUE(SameRect(WindowRectOf(app_.window()), windowBefore));
    EXPECT_EQ(WindowAlpha(app_.window()), 255);
    EXPECT_EQ(app_.voice.Take(), std::vector<std::wstring>{L"SetRate(-1)"});
    // Cancel changes no menu item: the box was unticked, but the monitor stays on.
    EXPECT_TRUE(app_.MenuChecked(CMD_CLIPBOARD_MONITOR));
}

// The frame reaches the program only through its host. The order matters: the border
// apply may show the window, so the visibility comes after it.
TEST_F(OptionsTest, OkCancelAndResetReachTheProgramThroughTheHostInOrder)
{
    std::vector<std::wstring> calls;
    auto record = [&calls](const wchar_t* name) { return [&calls, name] { calls.push_back(name); }; };
    OptionsHost host = SpeechWindowOptionsHost(app_.state());
    host.setVoiceRate = [&calls](int rate) { calls.push_back(L"rate " + std::to_wstring(rate)); };
    host.installedVoices = [] { return std::vector<VoiceEntry>{{L"id-a", L"Test voice", {LANG_ENGLISH}, L"Test voice"}}; };
    host.defaultVoiceId = [] { return std::wstring(L"id-a"); };
    host.applyBorder = record(L"border");
    host.applyTopMost = record(L"top");
    host.applyTransparency = record(L"transparency");
    host.applyFontAndColours = record(L"font");
    host.applyWindowVisibility = record(L"visibility");
    host.applyClipboardMenu = record(L"menu");
    HWND resetFrom = nullptr;
    host.requestReset = [&resetFrom](HWND dialog) { resetFrom = dialog; };

    Open(SpeechTab, host);
    wchar_t voice[32] = L"";
    GetDlgItemTextW(Page(), IDC_VOICE_LIST, voice, 32);
    EXPECT_STREQ(voice, L"Test voice");
    Press(IDC_RESET_SETTINGS);
    EXPECT_EQ(resetFrom, dialog_);
    calls.clear();
    Press(IDOK);
    EXPECT_EQ(calls, (std::vector<std::wstring>{L"rate -1", L"menu", L"border", L"visibility", L"top", L"font"}));

    Open(SpeechTab, host);
    calls.clear();
    Press(IDCANCEL);
    EXPECT_EQ(calls, (std::vector<std::wstring>{L"rate -1", L"transparency", L"top", L"font"}));
    EXPECT_EQ(OpenOptionsWindow(), nullptr);
}

TEST_F(OptionsTest, CancelGivesBackTheFontOfTheOpening)
{
    const LONG original = AppSettings.fontHeightPixels;
    Open(AppearanceTab);
    AppSettings.fontHeightPixels = -40;
    Press(IDCANCEL);
    EXPECT_EQ(AppSettings.fontHeightPixels, original);
    // A second opening snapshots the font again, not the first dialog's choice.
    AppSettings.fontHeightPixels = -20;
    DestroyWindow(dialog_);
    Open(AppearanceTab);
    Press(IDCANCEL);
    EXPECT_EQ(AppSettings.fontHeightPixels, -20);
}

TEST_F(OptionsTest, OkAppliesMenuRatePositionAndSaves)
{
    const RECT windowBefore = WindowRectOf(app_.window());
    Open(SpeechTab);
    Click(IDC_CLIPBOARD);
    AppSettings.speechRate = 4;
    SelectTab(AppearanceTab);
    // The size is the one at opening, even if the window changed size since.
    MoveWindow(app_.window(), windowBefore.left, windowBefore.top, 123, 77, TRUE);
    Click(IDC_POSITION_TOPRIGHT);
    app_.voice.Take();

    Press(IDOK);
    EXPECT_EQ(OpenOptionsWindow(), nullptr);
    EXPECT_EQ(app_.voice.Take().front(), L"SetRate(4)");
    EXPECT_FALSE(app_.MenuChecked(CMD_CLIPBOARD_MONITOR));
    EXPECT_FALSE(app_.MenuEnabled(CMD_APPEND_TEXT));

    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const RECT now = WindowRectOf(app_.window());
    EXPECT_EQ(now.top, 0);
    EXPECT_EQ(now.right, area.right - area.left);
    EXPECT_EQ(now.right - now.left, windowBefore.right - windowBefore.left);
    EXPECT_EQ(now.bottom - now.top, windowBefore.bottom - windowBefore.top);

    CIniFile saved;
    ASSERT_TRUE(saved.Load(file_));
    EXPECT_EQ(saved.GetInt(L"settings", L"rate", 99), 4);
    EXPECT_EQ(saved.GetInt(L"settings", L"clipboard", 99), 0);
    EXPECT_EQ(saved.GetInt(L"window", L"y", 99), 0);
    EXPECT_EQ(saved.GetInt(L"window", L"x", 0), now.left);
}

// Logging off is no confirmation: what the file gets is what Cancel would give back.
TEST_F(OptionsTest, SessionEndWhileOpenSavesTheValuesOfTheOpening)
{
    const RECT windowBefore = WindowRectOf(app_.window());
    Open(AppearanceTab);
    HWND trackbar = GetDlgItem(Page(), IDC_TRANSPARENCY);
    SendMessageW(trackbar, TBM_SETPOS, TRUE, 40);
    SendMessageW(trackbar, WM_KEYDOWN, VK_HOME, 0);
    ASSERT_TRUE(PumpUntil([] { return AppSettings.opacity == 0; }, 5000));
    Click(IDC_POSITION_TOPRIGHT);
    ASSERT_FALSE(SameRect(WindowRectOf(app_.window()), windowBefore));
    AppSettings.speechRate = 9;

    SendMessageW(app_.window(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(OpenOptionsWindow(), nullptr);
    CIniFile saved;
    ASSERT_TRUE(saved.Load(file_));
    EXPECT_EQ(saved.GetInt(L"window", L"transparency", 0), 255);
    EXPECT_EQ(saved.GetInt(L"settings", L"rate", 0), -1);
    EXPECT_EQ(saved.GetInt(L"window", L"x", -99), windowBefore.left);
    EXPECT_EQ(saved.GetInt(L"window", L"y", -99), windowBefore.top);
}

TEST_F(OptionsTest, PreviewPaintsInTheChosenColours)
{
    AppSettings.textColour = RGB(200, 0, 0);
    AppSettings.backgroundColour = RGB(0, 0, 90);
    Open(AppearanceTab);
    const MemoryDc memoryDc(CreateCompatibleDC(nullptr));
    HDC dc = memoryDc.get();
    HWND preview = GetDlgItem(Page(), IDC_PREVIEW);
    const auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(Page(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(preview)));
    LOGBRUSH colour{};
    ASSERT_TRUE(GetObjectW(brush, sizeof colour, &colour));
    EXPECT_EQ(colour.lbColor, RGB(0, 0, 90));
    EXPECT_EQ(GetTextColor(dc), RGB(200, 0, 0));
}

TEST_F(OptionsTest, HelpPageShowsTheTextOnceWithItsBoldPhrases)
{
    const std::wstring& help = BuildHelpText();
    // It says what is true of the program: the system it needs, the languages it reads.
    EXPECT_NE(help.find(L"The minimum supported operating system is Windows Vista."), std::wstring::npos);
    EXPECT_EQ(help.find(L"Windows XP with Service Pack 3"), std::wstring::npos);
    EXPECT_EQ(help.find(L"only in English"), std::wstring::npos);
    const auto at = [&](const wchar_t* phrase) { return static_cast<int>(help.find(phrase)); };
    const int monitors = at(L"Clipvoce monitors the clipboard ");
    const int autoScroll = at(L"Auto scroll function");
    ASSERT_GT(monitors, 0);
    std::vector<std::pair<int, int>> bold;
    for (const TextRange& range : HelpBoldRanges(help))
        bold.emplace_back(range.start, range.end);
    const auto phrase = [&](const wchar_t* text, int from) {
        const int start = static_cast<int>(help.find(text, from));
        return std::pair<int, int>(start, start + static_cast<int>(wcslen(text)));
    };
    EXPECT_EQ(bold, (std::vector<std::pair<int, int>>{
                        phrase(L"Clipvoce monitors the clipboard ", 0), phrase(L" Speech window", monitors),
                        phrase(L" Append text feature", 0), phrase(L" Continuous speech feature", 0),
                        phrase(L"Auto play feature", 0), phrase(L"Show full text feature", 0),
                        phrase(L"Auto scroll function", 0)}));
    const int paragraphBreaks = static_cast<int>(std::count(help.begin(), help.end(), L'\n'));

    for (int opening = 0; opening < 2; ++opening) {
        Open(HelpTab);
        HWND text = GetDlgItem(Page(), IDC_HELP_TEXT);
        // A paragraph break reads as CR LF.
        EXPECT_EQ(GetWindowTextLengthW(text), static_cast<int>(help.size()) + paragraphBreaks);
        EXPECT_TRUE(FormatAt(text, monitors).dwEffects & CFE_BOLD);
        EXPECT_TRUE(FormatAt(text, autoScroll + 19).dwEffects & CFE_BOLD);
        EXPECT_FALSE(FormatAt(text, monitors - 1).dwEffects & CFE_BOLD);
        EXPECT_FALSE(FormatAt(text, monitors + 32).dwEffects & CFE_BOLD);
        EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
        DestroyWindow(dialog_);
    }
}

TEST_F(OptionsTest, EscapeInTheHotKeysTextCancels)
{
    const std::wstring hotKeys = BuildHotKeysText();
    EXPECT_EQ(std::count(hotKeys.begin(), hotKeys.end(), L'\n'), 27);
    Open(SpeechTab);
    SelectTab(4);
    AppSettings.speechRate = 9;
    SendDlgItemMessageW(Page(), IDC_HOTKEYS_TEXT, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(OpenOptionsWindow(), nullptr);
    EXPECT_EQ(AppSettings.speechRate, -1);
}

std::wstring ItemText(HWND page, int id)
{
    wchar_t text[SettingsPathLength] = L"";
    GetDlgItemTextW(page, id, text, SettingsPathLength);
    return text;
}

std::wstring SelectedRate(HWND page)
{
    HWND list = GetDlgItem(page, IDC_EXPORT_BITRATE);
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    wchar_t text[8] = L"";
    if (index >= 0)
        SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

class ExportPageTest : public OptionsTest {
protected:
    void PickRate(int index)
    {
        HWND list = GetDlgItem(Page(), IDC_EXPORT_BITRATE);
        SendMessageW(list, CB_SETCURSEL, index, 0);
        SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(IDC_EXPORT_BITRATE, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    }
};

TEST_F(ExportPageTest, FormatAndBitRateFollowTheSettingsBothWays)
{
    AppSettings.mp3BitRate = 128;
    Open(SpeechTab);
    SelectTab(ExportTab);
    EXPECT_TRUE(Checked(IDC_EXPORT_WAV));
    EXPECT_FALSE(Checked(IDC_EXPORT_MP3));
    HWND list = GetDlgItem(Page(), IDC_EXPORT_BITRATE);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 14);
    EXPECT_EQ(SelectedRate(Page()), L"128");

    Click(IDC_EXPORT_MP3);
    EXPECT_FALSE(AppSettings.exportAsWav);
    PickRate(13);
    EXPECT_EQ(AppSettings.mp3BitRate, 320);
    PickRate(0);
    EXPECT_EQ(AppSettings.mp3BitRate, 32);

    // A rate outside the table shows as the first entry and stays until one is picked.
    AppSettings.mp3BitRate = 100;
    SelectTab(AppearanceTab);
    SelectTab(ExportTab);
    EXPECT_TRUE(Checked(IDC_EXPORT_MP3));
    EXPECT_EQ(SelectedRate(Page()), L"32");
    EXPECT_EQ(AppSettings.mp3BitRate, 100);
    Click(IDC_EXPORT_WAV);
    EXPECT_TRUE(AppSettings.exportAsWav);
    PickRate(2);
    EXPECT_EQ(AppSettings.mp3BitRate, 48);
}

TEST_F(ExportPageTest, LibraryVersionShowsOnlyForALoadableLibrary)
{
    const std::wstring library = BinFolder() + L"\\fake_lame_enc.dll";
    lstrcpynW(AppSettings.encoderFolder, library.c_str(), SettingsPathLength);
    Open(ExportTab);
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAMEDIR), library);
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAME_VERSION), L"9.42");
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAME_IN_USE), L"in use: " + library);

    // Typing a path takes it at once but leaves the version as it was.
    const std::wstring notALibrary = BinFolder() + L"\\helper_standins.py";
    SetDlgItemTextW(Page(), IDC_EXPORT_LAMEDIR, notALibrary.c_str());
    EXPECT_EQ(std::wstring(AppSettings.encoderFolder), notALibrary);
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAME_VERSION), L"9.42");
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAME_IN_USE), L"in use: " + notALibrary);
    SelectTab(SpeechTab);
    SelectTab(ExportTab);
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAME_VERSION), L"");

    // A path to no file gives way to the library beside the program, here the tests'.
    SetDlgItemTextW(Page(), IDC_EXPORT_LAMEDIR, L"C:\\nowhere\\lame_enc.dll");
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAME_IN_USE), L"in use: " + BinFolder() + L"\\lame_enc.dll");
    SelectTab(SpeechTab);
    SelectTab(ExportTab);
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_LAME_VERSION), L"3.100");
    EXPECT_STREQ(AppSettings.encoderFolder, L"C:\\nowhere\\lame_enc.dll");
}

TEST_F(ExportPageTest, CancelGivesBackWhatThePageChanged)
{
    AppSettings.exportAsWav = false;
    AppSettings.mp3BitRate = 64;
    lstrcpyW(AppSettings.wavFolder, L"C:\\speech");
    const auto before = Restorable();
    Open(ExportTab);
    EXPECT_EQ(ItemText(Page(), IDC_EXPORT_WAVDIR), L"C:\\speech");

    Click(IDC_EXPORT_WAV);
    PickRate(9);
    SetDlgItemTextW(Page(), IDC_EXPORT_WAVDIR, L"D:\\wav");
    SetDlgItemTextW(Page(), IDC_EXPORT_MP3DIR, L"D:\\mp3");
    SetDlgItemTextW(Page(), IDC_EXPORT_LAMEDIR, L"D:\\lame_enc.dll");
    EXPECT_STREQ(AppSettings.wavFolder, L"D:\\wav");
    EXPECT_STREQ(AppSettings.mp3Folder, L"D:\\mp3");
    EXPECT_EQ(AppSettings.mp3BitRate, 160);
    // The setting takes no more than a path's length, whatever the field holds.
    SetDlgItemTextW(Page(), IDC_EXPORT_MP3DIR, std::wstring(300, L'x').c_str());
    EXPECT_EQ(std::wstring(AppSettings.mp3Folder), std::wstring(SettingsPathLength - 1, L'x'));

    Press(IDCANCEL);
    EXPECT_TRUE(Restorable() == before);
}

TEST(SpeechSettingsLaunch, OlderSystemsUseTheControlPanelProgram)
{
    const ProgramLaunch old = SpeechSettingsLaunch(5);
    EXPECT_EQ(old.program, L"control.exe");
    EXPECT_EQ(old.parameters.front(), L'"');
    EXPECT_NE(old.parameters.find(L"\\Microsoft Shared\\Speech\\sapi.cpl\""), std::wstring::npos);
    const ProgramLaunch current = SpeechSettingsLaunch(10);
    EXPECT_EQ(current.program, L"rundll32.exe");
    EXPECT_EQ(current.parameters.rfind(L"shell32.dll,Control_RunDLL ", 0), 0u);
    EXPECT_NE(current.parameters.find(L"\\System32\\Speech\\SpeechUX\\sapi.cpl"), std::wstring::npos);
}

// The program's own way in is a modal dialog, so a second thread plays the user: it
// waits for the dialog, acts, and ends it with Cancel. A modal dialog exists before it
// is shown, and what is posted to it before then is handled before it shows: the user
// acts only on what is on the screen.
HWND WaitForTopWindow(const wchar_t* title)
{
    HWND window = nullptr;
    for (int i = 0; i < 500 && !window; ++i, Sleep(20)) {
        window = FindWindowW(L"#32770", title);
        if (window && !IsWindowVisible(window))
            window = nullptr;
    }
    return window;
}

HWND RunModal(InProcessApp& app, UINT command, const std::function<void(HWND dialog)>& user)
{
    std::atomic<HWND> seen{nullptr};
    std::thread thread([&] {
        HWND dialog = WaitForTopWindow(L"Options");
        seen = dialog;
        if (!dialog)
            return;
        user(dialog);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    app.Command(command);
    thread.join();
    return seen;
}

TEST_F(OptionsTest, WhileOpenTheCommandsOnlyBringItForward)
{
    int tabAfterHelp = -1;
    bool trayAnswered = false;
    HWND dialog = RunModal(app_, CMD_OPTIONS, [&](HWND options) {
        SendMessageW(app_.window(), WM_COMMAND, CMD_HELP, 0);
        tabAfterHelp = static_cast<int>(SendDlgItemMessageW(options, IDC_OPTIONS_TABS, TCM_GETCURSEL, 0, 0));
        // A tray menu would wait for the user; with the dialog open there is none.
        DWORD_PTR result = 0;
        trayAnswered = SendMessageTimeoutW(app_.window(), WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN, SMTO_BLOCK,
                                           3000, &result) != 0;
        if (!trayAnswered)
            PostMessageW(app_.window(), WM_CANCELMODE, 0, 0);
    });
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(tabAfterHelp, SpeechTab);
    EXPECT_TRUE(trayAnswered);
    EXPECT_EQ(OpenOptionsWindow(), nullptr);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(OptionsTest, ResetAnsweredNoKeepsTheDialogOpen)
{
    bool stillOpen = false;
    HWND dialog = RunModal(app_, CMD_HELP, [&](HWND options) {
        PostMessageW(options, WM_COMMAND, IDC_RESET_SETTINGS, 0);
        HWND question = WaitForTopWindow(L"Confirmation");
        if (!question)
            return;
        PostMessageW(question, WM_COMMAND, IDNO, 0);
        for (int i = 0; i < 250 && IsWindow(question); ++i)
            Sleep(20);
        stillOpen = IsWindowVisible(options) && OpenOptionsWindow() == options;
    });
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(SettingsStore.resetPending);
}

constexpr int HotKeysTab = 4;

// As the control tells its page of a combination typed into it.
void TypeHotKey(HWND page, int control, int hotKey)
{
    SendDlgItemMessageW(page, control, HKM_SETHOTKEY, hotKey, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(control, EN_CHANGE), reinterpret_cast<LPARAM>(GetDlgItem(page, control)));
}

// True when no one holds the combination.
bool Registrable(int hotKey)
{
    constexpr int ProbeId = 0xB000;
    const bool free = RegisterHotKey(nullptr, ProbeId, HotKeyModifiers(hotKey), LOBYTE(hotKey)) != FALSE;
    if (free)
        UnregisterHotKey(nullptr, ProbeId);
    return free;
}

TEST_F(OptionsTest, HotKeysTabRegistersChangesAtOnceAndCancelPutsThemBack)
{
    const AppSettingsRecord firstRun;
    const int ctrlAltK = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT);
    Open(SpeechTab);
    SelectTab(HotKeysTab);
    TypeHotKey(Page(), IDC_HOTKEY_PLAY_PAUSE, ctrlAltK);
    EXPECT_EQ(AppSettings.playPauseHotKey, ctrlAltK);
    EXPECT_FALSE(Registrable(ctrlAltK));
    EXPECT_TRUE(Registrable(firstRun.playPauseHotKey));
    Click(IDC_CLEAR_STOP);
    EXPECT_EQ(AppSettings.stopHotKey, 0);
    EXPECT_TRUE(Registrable(firstRun.stopHotKey));
    const std::wstring& listed = BuildHotKeysListText(0);
    EXPECT_EQ(listed.rfind(BuildHotKeysText(), 0), 0u) << "the window keys come first";
    EXPECT_NE(listed.find(L" + k = Play/Pause (in any program)"), std::wstring::npos);
    EXPECT_EQ(listed.find(L"= Stop (in any program)"), std::wstring::npos);

    Press(IDCANCEL);
    EXPECT_EQ(AppSettings.playPauseHotKey, firstRun.playPauseHotKey);
    EXPECT_EQ(AppSettings.stopHotKey, firstRun.stopHotKey);
    EXPECT_TRUE(Registrable(ctrlAltK));
    EXPECT_FALSE(Registrable(firstRun.stopHotKey)) << "Cancel did not register the keys again";
}

// The warning is modal: a second thread reads and closes it.
std::wstring WarningWhile(const std::function<void()>& action)
{
    std::wstring text;
    std::thread user([&] {
        if (HWND box = WaitForTopWindow(L"Warning")) {
            text = MessageBoxText(box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    });
    action();
    user.join();
    return text;
}

// The marks and the spacing reach the Speech window on OK, with the focus item of the menu;
// while high contrast is on, the tab says whose colours the window shows, and stops saying
// so when it goes off.
TEST_F(OptionsTest, AppearanceViewChoicesReachTheWindowOnOk)
{
    SetHighContrastQuery([] { return true; });
    Open(AppearanceTab);
    SetHighContrastQuery(nullptr);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(Page(), IDC_HIGH_CONTRAST_NOTE)));
    SendMessageW(dialog_, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(Page(), IDC_HIGH_CONTRAST_NOTE))) << "high contrast went off unnoticed";
    EXPECT_TRUE(Checked(IDC_MARK_SENTENCE));
    EXPECT_FALSE(Checked(IDC_FOCUS_MODE));
    EXPECT_EQ(SendDlgItemMessageW(Page(), IDC_LINE_SPACING, CB_GETCURSEL, 0, 0), 0);
    const int lineHeight = app_.view().LineHeight();
    Click(IDC_FOCUS_MODE);
    ChooseLineSpacing(1);
    EXPECT_EQ(app_.view().LineHeight(), lineHeight) << "only OK applies";
    Press(IDOK);
    EXPECT_EQ(app_.view().LineHeight(), MulDiv(lineHeight, 3, 2));
    EXPECT_TRUE(app_.MenuChecked(CMD_FOCUS_MODE));
    const std::wstring saved = ReadFileUtf8(file_);
    EXPECT_EQ(IniValue(saved, L"focus"), L"1");
    EXPECT_EQ(IniValue(saved, L"linespacing"), L"1.5");

    Open(AppearanceTab);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(Page(), IDC_HIGH_CONTRAST_NOTE)));
    EXPECT_TRUE(Checked(IDC_FOCUS_MODE));
    EXPECT_EQ(SendDlgItemMessageW(Page(), IDC_LINE_SPACING, CB_GETCURSEL, 0, 0), 1);
}

// Checked by a copy of this program started at each DPI by the test below.
TEST_F(OptionsTest, EveryPageFitsAtThePrefixDpi)
{
    const int dpi = DpiToCheck();
    if (dpi == 0)
        GTEST_SKIP() << "started by EveryPageIsWholeAt96And144Dpi";
    ASSERT_EQ(GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSY), dpi) << "the prefix's DPI did not take";
    // With the note that only high contrast shows, and the Pronunciation page's note on
    // a dictionary full of lines the program cannot use.
    SetHighContrastQuery([] { return true; });
    app_.state().pronunciations.problems.assign(100000, {100000, LoadText(IDS_DICTIONARY_BAD_FIELDS)});
    Open(SpeechTab);
    const int tabs = static_cast<int>(SendDlgItemMessageW(dialog_, IDC_OPTIONS_TABS, TCM_GETITEMCOUNT, 0, 0));
    for (int tab = 0; tab < tabs; ++tab) {
        SelectTab(tab);
        std::vector<HWND> frame, page;
        for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (child != Page())
                frame.push_back(child);
        for (HWND child = GetWindow(Page(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            page.push_back(child);
        RECT dialogClient{}, pageClient{};
        GetClientRect(dialog_, &dialogClient);
        GetClientRect(Page(), &pageClient);
        for (const std::string& fault : LayoutFaults(dialog_, frame, dialogClient))
            ADD_FAILURE() << dpi << " dpi, tab " << tab << ": " << fault;
        for (const std::string& fault : LayoutFaults(Page(), page, pageClient))
            ADD_FAILURE() << dpi << " dpi, tab " << tab << ": " << fault;
    }
    SetHighContrastQuery(nullptr);
    app_.state().pronunciations.problems.clear();
}

TEST(OptionsDialogFit, EveryPageIsWholeAt96And144Dpi)
{
    for (const DWORD dpi : {96u, 144u})
        EXPECT_EQ(RunAtPrefixDpi(dpi, L"OptionsTest.EveryPageFitsAtThePrefixDpi"), 0)
            << "at " << dpi << " dpi (the output above says what did not fit)";
}

TEST_F(OptionsTest, HotKeyHeldElsewhereIsRefusedWithAMessageNamingIt)
{
    const AppSettingsRecord firstRun;
    constexpr int HeldId = 0xB001;
    ASSERT_TRUE(RegisterHotKey(nullptr, HeldId, MOD_CONTROL | MOD_ALT, 'J'));
    Open(SpeechTab);
    SelectTab(HotKeysTab);
    const std::wstring taken = WarningWhile(
        [&] { TypeHotKey(Page(), IDC_HOTKEY_READ_SELECTION, MAKEWORD('J', HOTKEYF_CONTROL | HOTKEYF_ALT)); });
    UnregisterHotKey(nullptr, HeldId);
    EXPECT_NE(taken.find(L"+J is already used by another program"), std::wstring::npos);
    EXPECT_NE(taken.find(L"\"Read selection\""), std::wstring::npos);
    EXPECT_EQ(AppSettings.readSelectionHotKey, firstRun.readSelectionHotKey);
    EXPECT_EQ(LOWORD(SendDlgItemMessageW(Page(), IDC_HOTKEY_READ_SELECTION, HKM_GETHOTKEY, 0, 0)),
              firstRun.readSelectionHotKey);
    EXPECT_FALSE(Registrable(firstRun.readSelectionHotKey)) << "the key in use was given up";

    EXPECT_NE(WarningWhile([&] { TypeHotKey(Page(), IDC_HOTKEY_READ_SELECTION, firstRun.stopHotKey); })
                  .find(L"is already the hot key for \"Stop\""),
              std::wstring::npos);
}

} // namespace
