#pragma once
// The program's one settings record. Every persisted field is named after its key in
// clipvoce.ini; readers read fields directly, and whoever changes a field with a
// visible effect calls the matching apply operation itself.
#include <windows.h>
#include <commctrl.h>
#include <map>
#include <string>

constexpr int SettingsPathLength = 260;
constexpr int FaceNameLength = 32;   // 31 characters and the terminator

struct AppSettingsRecord {
    // [window]
    int x = 0;
    int y = 0;
    int width = 300;
    int height = 150;
    bool border = true;
    bool window = true;
    bool close = true;
    bool delete_ = true;       // key "delete"; the name is taken by the language
    bool top = true;
    int transparency = 255;
    COLORREF background = RGB(255, 255, 255);
    COLORREF text = RGB(0, 0, 0);
    bool bold = true;
    bool italic = false;
    int point = -13;
    int charset = 0;
    wchar_t font[FaceNameLength] = L"Courier New";
    // [settings]
    bool confirm = false;
    bool start = false;
    bool clipboard = true;
    bool append = false;
    bool repeat = false;
    int rate = -1;
    bool autoplay = false;
    bool autoscroll = true;
    bool fulltext = true;
    // [export]
    bool wav = true;
    int mp3rate = 128;
    wchar_t wavdir[SettingsPathLength] = L"";
    wchar_t lamedir[SettingsPathLength] = L"";
    wchar_t mp3dir[SettingsPathLength] = L"";
    // [hotkeys]: keys that work in every program, in the hot-key control's form (the
    // virtual key in the low byte, HOTKEYF_ modifier flags in the high byte); 0 is none.
    int readSelectionHotKey = MAKEWORD(VK_SPACE, HOTKEYF_CONTROL | HOTKEYF_ALT);
    int playPauseHotKey = MAKEWORD('P', HOTKEYF_CONTROL | HOTKEYF_ALT);
    int stopHotKey = MAKEWORD('S', HOTKEYF_CONTROL | HOTKEYF_ALT);
};

extern AppSettingsRecord AppSettings;

// The text font in the platform's form; the working copy of point, charset, font,
// bold and italic.
extern LOGFONTW logFont;

// Outer height of the Speech window minus its TextView's client height; -1 until the
// first border apply measures it. Never saved.
extern int frameHeightDelta;

// Bit rate in kbit/s → its label, in ascending order.
extern std::map<int, std::wstring> Mp3BitRates;

// The first-run font: the default GUI font with face "Courier New", height -13, bold.
LOGFONTW FirstRunLogFont();

// The first-run position: the bottom-right corner of the given work area for the
// first-run size.
POINT FirstRunPosition(const RECT& workArea);

void FillMp3BitRates();
