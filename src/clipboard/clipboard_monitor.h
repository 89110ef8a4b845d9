#pragma once
// The clipboard monitor: membership of the clipboard-viewer chain, taking copied text,
// and the copy, paste and delete-all commands.
#include <windows.h>
#include <string>

class Reader;

void JoinClipboardChain(HWND window);
void LeaveClipboardChain(HWND window);
// The window after this program's in the chain, or null.
HWND NextClipboardViewer();

// What a clipboard notification came to.
enum class ClipboardOutcome {
    Nothing,
    TextTaken,
    // The program has not greeted the user yet: the copy was not taken.
    FirstRunCopy,
};
// A text taken goes to reader.
ClipboardOutcome OnDrawClipboard(Reader& reader, HWND window, WPARAM wParam, LPARAM lParam);
void OnChangeClipboardChain(HWND leaving, HWND after);

// Shows a text taken from elsewhere (the selection of another program) the way a copy
// is shown, in append mode after the text, and reads it at once.
void TakeTextToReadNow(Reader& reader, const std::wstring& text);

void CopySpeechText(const Reader& reader, HWND window);
void PasteClipboardText(HWND window);
void DeleteAllText(Reader& reader, HWND window);

// The clipboard text as it is taken: without its trailing CR and LF characters.
std::wstring TrimTrailingLineBreaks(const wchar_t* text, size_t length);
// Puts text on the clipboard, replacing every format there; false when the clipboard
// could not be opened or the text not placed.
bool PutClipboardText(HWND owner, const wchar_t* text);
