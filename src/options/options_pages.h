#pragma once
// The pages of the Options dialog. Each is a modeless child dialog that the frame
// creates anew whenever its tab is selected; it reads AppSettings then and writes each
// change straight back.
#include <windows.h>
#include <string>

INT_PTR CALLBACK SpeechPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AppearancePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HelpPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HotKeysPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The platform's speech control panel, where the default voice is chosen.
void OpenSpeechSettings();

struct ProgramLaunch {
    std::wstring program;
    std::wstring parameters;
};
// What starts the speech control panel on a system of the given major version.
ProgramLaunch SpeechSettingsLaunch(DWORD majorVersion);

// The fixed texts of the Help and Hot keys pages, rebuilt on every call.
const std::wstring& BuildHelpText();
const std::wstring& BuildHotKeysText();

// Character ranges of the Help text set in bold: first position and past the end.
struct TextRange {
    int first;
    int end;
};
extern const TextRange HelpBoldRanges[7];
