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

// What a clipboard notification, or the fetch of a copy's text, came to.
enum class ClipboardOutcome {
    Nothing,
    TextTaken,
    // The program has not greeted the user yet: the copy was not taken.
    FirstRunCopy,
    // The program that copied did not deliver the text in time; nothing was taken.
    TextNotDelivered,
};
// A copied text is fetched away from the window's thread (clipboard_fetch.h), and taken
// when its fetch ends: the notification itself only starts that.
ClipboardOutcome OnDrawClipboard(Reader& reader, HWND window, WPARAM wParam, LPARAM lParam);
// WM_CLIPBOARD_FETCHED: the ended fetch of a copy's text, or of a Read selection step.
ClipboardOutcome OnClipboardFetched(Reader& reader, WPARAM ticket, LPARAM result);
// A copy's text is being fetched.
bool ClipboardReadPending();
void OnChangeClipboardChain(HWND leaving, HWND after);

// Shows a text taken from elsewhere (the selection of another program) the way a copy
// is shown, in append mode after the text, and reads it at once.
void TakeTextToReadNow(Reader& reader, const std::wstring& text);

void CopySpeechText(const Reader& reader, HWND window);
// Takes the clipboard's text as a copy is taken; after a Read selection whose clipboard
// could not be put back, the text that clipboard held instead.
void PasteClipboardText(Reader& reader, HWND window);
void DeleteAllText(Reader& reader, HWND window);

// Puts text on the clipboard, replacing every format there; false when the clipboard
// could not be opened or the text not placed.
bool PutClipboardText(HWND owner, const wchar_t* text);
