#pragma once
// The program's one settings record. Each persisted field's key in clipvoce.ini is in the
// settings table (settings_table.cpp); readers read fields directly, and whoever changes a field
// with a visible effect calls the matching apply operation itself.
#include <windows.h>
#include <commctrl.h>
#include <optional>
#include <string>
#include <vector>
#include "platform/language_id.h"

constexpr int SettingsPathLength = 260;

// What the voice is spared of a copied text; each filter is on unless the user turns it off.
struct ListeningFilters {
    bool joinLines = true;       // a line break inside a sentence is heard as a blank
    bool joinHyphens = true;     // "treat-" at a line end and "ed" below are heard as "treated"
    bool webAddresses = true;    // heard as "link" and the site's name
    bool citations = true;       // "[12]", "(Smith et al., 2020)" are not heard
    bool markdown = true;        // "#", "**", "`", "> ", bullets, table pipes; a code block is "code"
    bool emoji = true;           // emoji and pictographs are not heard

    bool Any() const { return joinLines || joinHyphens || webAddresses || citations || markdown || emoji; }
    bool operator==(const ListeningFilters&) const = default;
};

constexpr int FaceNameLength = 32;   // 31 characters and the terminator
constexpr int FullVolume = 100;
constexpr int MinSpeedPercent = 50;
constexpr int NormalSpeedPercent = 100;
constexpr int MaxSpeedPercent = 400;
constexpr int SpeedStepPercent = 25;
// The pitch as speech markup gives it; 0 is the voice's own.
// The voice's speaking rate, as the platform's voices take it.
constexpr int MinSpeechRate = -10;
constexpr int MaxSpeechRate = 10;
constexpr int MinPitch = -10;
constexpr int MaxPitch = 10;
// The timed text an export writes beside its recording.
enum TimedText { NoTimedText, SubRipText, WebVttText, LrcText };

// The voice the user chose for a language, where it is not the first that speaks it.
struct LanguageVoice {
    LanguageId language;
    std::wstring voiceId;
};

struct AppSettingsRecord {
    // [window]: the Speech window's outer rectangle, always that of the framed window
    int x = 0;
    int y = 0;
    int width = 300;
    int height = 150;
    bool showBorder = true;
    bool speechWindowShown = true;
    bool closeQuits = true;          // false: the close button only hides the window
    bool confirmDeleteAll = true;
    bool alwaysOnTop = true;
    int opacity = 255;               // the window's alpha: 255 opaque, 0 invisible
    COLORREF backgroundColour = RGB(255, 255, 255);
    COLORREF textColour = RGB(0, 0, 0);
    bool bold = true;
    bool italic = false;
    int fontHeightPixels = -13;      // negative: the characters' height in pixels
    int fontCharset = 0;
    wchar_t fontFace[FaceNameLength] = L"Courier New";
    // [settings]
    bool confirmQuit = false;
    bool startWithWindows = false;
    bool monitorClipboard = true;
    bool appendCopies = false;       // copies are added to the text instead of replacing it
    bool repeatReading = false;
    int speechRate = -1;             // -10 to 10
    bool autoPlay = false;
    bool autoScroll = true;
    bool showFullText = true;        // false: played-text mode, only what was read shows
    // [export]
    bool exportAsWav = true;         // false: MP3
    int mp3BitRate = 128;            // kbit/s
    wchar_t wavFolder[SettingsPathLength] = L"";
    wchar_t encoderFolder[SettingsPathLength] = L"";   // where lame_enc.dll lies
    wchar_t mp3Folder[SettingsPathLength] = L"";
    int timedText = NoTimedText;     // the TimedText written beside the recording
    // [hotkeys]: keys that work in every program, in the hot-key control's form (the
    // virtual key in the low byte, HOTKEYF_ modifier flags in the high byte); 0 is none.
    int readSelectionHotKey = MAKEWORD(VK_SPACE, HOTKEYF_CONTROL | HOTKEYF_ALT);
    int playPauseHotKey = MAKEWORD('P', HOTKEYF_CONTROL | HOTKEYF_ALT);
    int stopHotKey = MAKEWORD('S', HOTKEYF_CONTROL | HOTKEYF_ALT);
    // [listening]
    ListeningFilters listening;
    // [view]: how the text being read is shown
    bool markSentence = true;        // the sentence being read on a light tint
    bool focusMode = false;          // all but the sentence being read dimmed
    int lineSpacingPercent = 100;    // 100, 150 or 200: single, one and a half, double
    // [history]
    bool keepHistory = true;         // the texts taken are kept, with where the reading reached
    // [ocr]
    bool readImages = true;          // the text in a copied image is recognised and taken as a copy
    // [voice]: written only where it differs from the first-run value.
    std::wstring voiceId;            // the chosen voice's token id; empty: the system's default
    int volume = FullVolume;         // 0 to 100
    int pitch = 0;                   // MinPitch to MaxPitch
    // How fast the program plays what the voice says, in hundredths: 100 is the voice's
    // own pace, whatever its rate; the pitch stays.
    int speedPercent = NormalSpeedPercent;
    // Read each paragraph with a voice of its language; not set: on when voices of more
    // than one language are installed.
    std::optional<bool> readEachLanguage;
    std::vector<LanguageVoice> languageVoices;
    // [notes]: what the program tells once per settings file
    bool hearingCopiesNoteShown = false;   // how to hear a copy that was only shown
};

extern AppSettingsRecord AppSettings;

struct Mp3BitRate {
    int kbitPerSecond;
    const wchar_t* label;
};
// The bit rates the encoder offers, in ascending order.
inline constexpr Mp3BitRate Mp3BitRates[] = {
    {32, L"32"},   {40, L"40"},   {48, L"48"},   {56, L"56"},   {64, L"64"},   {80, L"80"},   {96, L"96"},
    {112, L"112"}, {128, L"128"}, {160, L"160"}, {192, L"192"}, {224, L"224"}, {256, L"256"}, {320, L"320"},
};

// The first-run font: the default GUI font with face "Courier New", height -13, bold.
LOGFONTW FirstRunLogFont();

// The text font of the settings in the platform's form: the first-run font with the
// settings' height, charset, face, weight and slant.
LOGFONTW TextLogFont(const AppSettingsRecord& settings = AppSettings);
// The font fields of settings from a font in the platform's form.
void SetTextFont(AppSettingsRecord& settings, const LOGFONTW& font);

// The first-run position: the bottom-right corner of the given work area for the
// first-run size.
POINT FirstRunPosition(const RECT& workArea);
