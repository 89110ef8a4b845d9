#pragma once
// The clipboard monitor: membership of the clipboard-viewer chain, taking copied text,
// and the copy, paste and delete-all commands.
#include <windows.h>
#include <string>

extern HWND nextViewer;

void JoinClipboardChain();
void LeaveClipboardChain();
void OnDrawClipboard(WPARAM wParam, LPARAM lParam);
void OnChangeClipboardChain(HWND leaving, HWND after);

// Appends text at the end of the TextView. A placeholder content (one or two
// characters that are only blanks or line breaks) is replaced instead. Returns where
// the text begins in the view.
int AppendText(const wchar_t* text);

// Shows a text taken from elsewhere (the selection of another program) the way a copy
// is shown, in append mode after the text, and reads it at once.
void TakeTextToReadNow(const std::wstring& text);

void CopySpeechText();
void PasteClipboardText();
void DeleteAllText();

// The clipboard text as it is taken: without its trailing CR and LF characters.
std::wstring TrimTrailingLineBreaks(const wchar_t* text, size_t length);
// Puts text on the clipboard, replacing every format there; false when the clipboard
// could not be opened or the text not placed.
bool PutClipboardText(HWND owner, const wchar_t* text);
