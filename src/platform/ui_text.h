#pragma once
// The program's own texts from its string table, and the message boxes built from them.
#include <windows.h>
#include <string>

// The module whose resources hold the program's texts, dialogs and menus.
HINSTANCE ProgramModule();

// A string-table entry; empty when there is none.
std::wstring LoadText(UINT id);

// Shows text under the caption of captionId; returns the button pressed.
int ShowMessage(HWND owner, UINT captionId, const std::wstring& text, UINT type);
int ShowMessage(HWND owner, UINT captionId, UINT textId, UINT type);
void ShowWarning(HWND owner, const std::wstring& text);
void ShowWarning(HWND owner, UINT textId);
// A yes/no question under "Confirmation"; true when the user answers yes.
bool AskToConfirm(HWND owner, UINT questionId);

// pattern with "%1" and "%2" replaced, in one pass, so that a "%2" inside the first
// value is not taken for the second placeholder.
std::wstring FillPattern(const std::wstring& pattern, const std::wstring& first,
                         const std::wstring& second = std::wstring());

// The system's own words for an error code, or the number when it has none. Some
// libraries keep the texts of their own codes in their module: messageModule is tried first.
std::wstring SystemErrorText(DWORD error, HMODULE messageModule = nullptr);
