#pragma once
// The pages of the Options dialog. Each is a modeless child dialog that the frame
// creates anew whenever its tab is selected, with the frame's OptionsDialogState as its
// creation parameter; it reads AppSettings then and writes each change straight back.
#include "settings/app_settings.h"
#include "view/text_range.h"
#include <windows.h>
#include <array>
#include <string>
#include <vector>

INT_PTR CALLBACK SpeechPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AppearancePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HelpPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HotKeysPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ListeningPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PronunciationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The Speech page's check boxes and the fields they switch; the frame puts the same
// fields back on Cancel.
struct SpeechCheckBox {
    int control;
    bool AppSettingsRecord::*field;
    bool checkedWhenOn;   // "Minimize to tray on close" shows the opposite of `closeQuits`
};
extern const std::array<SpeechCheckBox, 15> SpeechCheckBoxes;

// The platform's speech control panel, where the default voice is chosen.
void OpenSpeechSettings();

struct ProgramLaunch {
    std::wstring program;
    std::wstring parameters;
};
// What starts the speech control panel on a system of the given major version.
ProgramLaunch SpeechSettingsLaunch(DWORD majorVersion);

// The fixed texts of the Help and Hot keys pages.
std::wstring BuildHelpText();
std::wstring BuildHotKeysText();

// Where the Help page's bold phrases lie in the given Help text, in the text's order; a
// phrase the text does not have gets no range.
std::vector<TextRange> HelpBoldRanges(const std::wstring& text);
