#pragma once
// The tray icon, and the status line shown in the Speech window's caption and the icon's
// tip.
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "platform/dialog_record.h"
#include "voice/speech_controller.h"

struct SpeechWindowState;

struct TrayIcon {
    NOTIFYICONDATAW record{};
    // The program's icon at the small-icon size of the screen's DPI, drawn from its own
    // image of that size rather than stretched by the shell.
    IconHandle image;
    // Whether the shell holds the icon. Early in a logon the shell may not be ready yet;
    // the icon is then added at the next chance rather than never.
    bool added = false;
    // A note stands in the caption and tip in place of the state, until its timer or
    // the next change of the status line: a caption other than the one it covers.
    bool noteShown = false;
    std::wstring captionUnderNote;
};

void InitTrayIcon(TrayIcon& icon, HWND window);
// Adds the icon, or finds that the shell has it already (after TaskbarCreated it has not).
void AddTrayIcon(TrayIcon& icon);
void DeleteTrayIcon(TrayIcon& icon);

// Caption, tray tip and menu from the reading state; line is the zero-based line to
// show, or -1 for the selection's.
void RefreshStatusLine(SpeechWindowState& state, int line = -1);
// A short note in the caption, the tray tip and a balloon (balloon, when given, in
// place of the note), until the next change of the status line writes over it or, at
// the latest, STATUS_NOTE_MS later. The environment variable CLIPVOCE_STATUS_NOTE_MS
// may give another time, so that the program's tests need not wait for it.
void ShowStatusNote(SpeechWindowState& state, const std::wstring& note, const std::wstring& balloon = std::wstring());
// IDT_STATUS_NOTE: the note's time is up, the state shows again.
void EndStatusNote(SpeechWindowState& state);
void OnTrayNotify(SpeechWindowState& state, WPARAM id, LPARAM mouseMessage);

// While the lines of a long text are still being counted, the count so far is followed
// by an ellipsis: "[ 1 / 2400… ]".
std::wstring FormatCaption(const wchar_t* title, const wchar_t* stateWord, int line, int lineCount,
                           bool counting = false);
UINT StateWordId(SpeechState state);
