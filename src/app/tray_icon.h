#pragma once
// The tray icon, and the status line shown in the Speech window's caption and the icon's
// tip.
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "speech/speech_controller.h"

struct SpeechWindowState;

struct TrayIcon {
    NOTIFYICONDATAW record{};
    // Whether the shell holds the icon. Early in a logon the shell may not be ready yet;
    // the icon is then added at the next chance rather than never.
    bool added = false;
};

void InitTrayIcon(TrayIcon& icon, HWND window);
// Adds the icon, or finds that the shell has it already (after TaskbarCreated it has not).
void AddTrayIcon(TrayIcon& icon);
void DeleteTrayIcon(TrayIcon& icon);

// Caption, tray tip and menu from the reading state; line is the zero-based line to
// show, or -1 for the selection's.
void RefreshStatusLine(SpeechWindowState& state, int line = -1);
// A short note in the caption, the tray tip and a balloon, until the next change of the
// status line writes over it.
void ShowStatusNote(SpeechWindowState& state, const std::wstring& note);
void OnTrayNotify(SpeechWindowState& state, WPARAM id, LPARAM mouseMessage);

// While the lines of a long text are still being counted, the count so far is followed
// by an ellipsis: "[ 1 / 2400… ]".
std::wstring FormatCaption(const wchar_t* title, const wchar_t* stateWord, int line, int lineCount,
                           bool counting = false);
UINT StateWordId(SpeechState state);
