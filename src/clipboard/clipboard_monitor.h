#pragma once
// The clipboard monitor: membership of the clipboard-viewer chain, taking copied text,
// and the copy, paste and delete-all commands.
#include <windows.h>
#include "clipboard/selection_grab.h"
#include <string>
#include <vector>

class Reader;

// A copied image, as it came in one of the image formats (ImageFormats in
// clipboard_fetch.h).
struct ClipboardImage {
    UINT format = 0;
    std::vector<BYTE> bytes;
};

// A window's watch over the clipboard, kept by that window.
struct ClipboardWatch {
    // The next window in the clipboard-viewer chain, to which every notification is passed on.
    HWND nextViewer = nullptr;
    // The ticket of the copy whose text is being fetched; 0 when none is.
    WPARAM pendingRead = 0;
    // Set while the window puts its own text on the clipboard: that change is no copy
    // of the user's to take.
    bool puttingOwnText = false;
    SelectionGrabber selectionGrab;
    // The image of the latest copy that held no text, for the window to read its text.
    ClipboardImage copiedImage;
};

void JoinClipboardChain(ClipboardWatch& watch, HWND window);
void LeaveClipboardChain(ClipboardWatch& watch, HWND window);

// What a clipboard notification, or the fetch of a copy's text, came to.
enum class ClipboardOutcome {
    Nothing,
    TextTaken,
    // The program has not greeted the user yet: the copy was not taken.
    FirstRunCopy,
    // The program that copied did not deliver the text in time; nothing was taken.
    TextNotDelivered,
    // A copy held an image and no text: the image is in the watch's copiedImage.
    ImageCopied,
};
// A copied text is fetched away from the window's thread (clipboard_fetch.h), and taken
// when its fetch ends: the notification itself only starts that.
ClipboardOutcome OnDrawClipboard(ClipboardWatch& watch, Reader& reader, HWND window, WPARAM wParam, LPARAM lParam);
// WM_CLIPBOARD_FETCHED: the ended fetch of a copy's text, or of a Read selection step.
ClipboardOutcome OnClipboardFetched(ClipboardWatch& watch, Reader& reader, WPARAM ticket, LPARAM result);
// A copy's text is being fetched.
bool ClipboardReadPending(const ClipboardWatch& watch);
void OnChangeClipboardChain(ClipboardWatch& watch, HWND leaving, HWND after);

// Takes the text found in a copied image as a copied text is taken; false when there
// was none to take.
bool TakeImageText(Reader& reader, std::wstring text);

// Shows a text taken from elsewhere (the selection of another program) the way a copy
// is shown, in append mode after the text, and reads it at once.
void TakeTextToReadNow(Reader& reader, const std::wstring& text);

// Puts the prepared text on the clipboard; the window does not take it back as a copy.
void CopySpeechText(ClipboardWatch& watch, const Reader& reader, HWND window);
// Takes the clipboard's text as a copy is taken, also while the clipboard is not
// monitored; after a Read selection whose clipboard could not be put back, the text that
// clipboard held instead. The chain hears of it as of a change.
ClipboardOutcome PasteClipboardText(ClipboardWatch& watch, Reader& reader, HWND window);
void DeleteAllText(Reader& reader, HWND window);

// Puts text on the clipboard, replacing every format there; false when the clipboard
// could not be opened or the text not placed.
bool PutClipboardText(HWND owner, const wchar_t* text);
