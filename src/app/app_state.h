#pragma once
// Process-wide values that start-up establishes and the rest of the program reads.
#include <windows.h>

constexpr int CaptionBufferLength = 20;   // captions, menu texts and state words
constexpr int MessageBufferLength = 260;  // message texts

extern HINSTANCE appInstance;
extern wchar_t windowTitle[CaptionBufferLength];   // string 2000, "Speech window"
extern wchar_t appName[CaptionBufferLength];       // string 40000, "Clipvoce"
extern HWND speechWindow;
extern HMENU popupMenu;
extern HWND optionsWindow;   // the open Options dialog, or null
