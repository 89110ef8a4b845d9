#pragma once
// Reading what is selected in whichever program is in front: the selection is copied
// with that program's own Ctrl+C, taken from the clipboard, and the clipboard is then
// given back what it held before.
#include <windows.h>
#include <string>

enum class SelectionGrabOutcome {
    Taken,            // text is the selection
    NothingSelected,  // the clipboard did not change in time: nothing was copied
    NoText,           // something was copied, but no text
    Secret,           // the copy is marked as a secret; it was not read
    ClipboardBusy,    // another program held the clipboard; nothing was copied
};

struct SelectionGrab {
    SelectionGrabOutcome outcome = SelectionGrabOutcome::NothingSelected;
    std::wstring text;
    // False when the clipboard could not be given back what it held.
    bool putBack = true;
};

// Copies the foreground program's selection and puts the clipboard back. owner opens
// the clipboard and owns what is put back. Runs on the thread of owner; while it waits
// (at most SELECTION_COPY_TIMEOUT_MS for the copy), messages sent to the thread's
// windows are answered, and posted ones wait for the message loop.
SelectionGrab GrabSelectedText(HWND owner);

// True while a grab is under way, and while the clipboard still holds what a grab put
// back: neither the copy made for it nor the put-back is a copy of the user's.
bool IsSelectionGrabChange();
// After this, the clipboard's current content counts as the user's again (the paste
// command reads it on purpose).
void ForgetSelectionGrabPutBack();
