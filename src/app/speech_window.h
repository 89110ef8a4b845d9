#pragma once
// The Speech window's procedure: the program's dispatcher.
#include <windows.h>

LRESULT CALLBACK SpeechWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

extern UINT taskbarCreatedMessage;
