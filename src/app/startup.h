#pragma once
// The start-up steps that follow loading the settings: the Speech window, its settings
// applied, the clipboard chain, the tray icon and menu.
#include <windows.h>

struct SpeechWindowState;

bool RegisterSpeechWindowClass();
// The window, with the state it keeps for its whole life.
bool CreateSpeechWindow(SpeechWindowState& state);
// Everything after the voice exists; showCommand 0 means normal. False, with the
// platform's reason in the last error, when the window's timer cannot be had.
bool SetUpSpeechWindow(SpeechWindowState& state, int showCommand);
// What the program leaves behind as it ends.
void TearDownSpeechWindow(SpeechWindowState& state);
