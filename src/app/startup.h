#pragma once
// The start-up steps that follow loading the settings: the Speech window, its
// settings applied, the clipboard chain, the colour hook, the tray icon and menu.
#include <windows.h>

bool RegisterSpeechWindowClass();
bool CreateSpeechWindow();
// Everything after the voice exists, up to the timer; showCommand 0 means normal.
void SetUpSpeechWindow(int showCommand);
