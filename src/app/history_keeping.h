#pragma once
// The reading history the Speech window keeps: the texts taken, each with where its
// reading reached, in a file beside the settings that only the user can decrypt; the
// History menu; and the last text back where it was as the program starts.
#include <windows.h>

struct SpeechWindowState;

// As the window is set up, before it joins the clipboard chain: the history is read (one
// that cannot be is set aside, and the user told once the window shows), and the newest
// text is shown at the sentence where its reading stopped.
void StartHistory(SpeechWindowState& state);
void TellIfHistorySetAside(SpeechWindowState& state);
// The reading moved on: the newest entry's place follows it.
void FollowReading(SpeechWindowState& state);
// The History submenu, filled anew before the popup menu shows.
void FillHistoryMenu(SpeechWindowState& state);
// A command of the History submenu; false for any other command.
bool OnHistoryCommand(SpeechWindowState& state, UINT command);
// The Options changed the setting: a history turned off is deleted.
void ApplyHistorySetting(SpeechWindowState& state);
// As the window goes: the reading's place is written once more.
void EndHistory(SpeechWindowState& state);
