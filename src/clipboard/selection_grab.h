#pragma once
// Reading what is selected in whichever program is in front: the clipboard is
// remembered, the selection is copied with that program's own Ctrl+C and taken from the
// clipboard, and the clipboard is then given back what it held. Each step runs while
// the window goes on answering: the clipboard's data is fetched on threads of its own
// (clipboard_fetch.h), and the waits are timer ticks of the owner window.
#include <windows.h>
#include "clipboard/clipboard_fetch.h"
#include <functional>
#include <memory>
#include <string>

enum class SelectionGrabOutcome {
    Taken,            // text is the selection
    NothingSelected,  // the clipboard did not change in time: nothing was copied
    NoText,           // something was copied, but no text
    Secret,           // the copy is marked as a secret; it was not read
    ClipboardBusy,    // another program held the clipboard; nothing was read
};

struct SelectionGrab {
    SelectionGrabOutcome outcome = SelectionGrabOutcome::NothingSelected;
    std::wstring text;
};

// How the clipboard was given back what it held.
struct ClipboardPutBack {
    bool placed = true;
    // Not placed, and what it held had a text that is not a secret: the paste command
    // takes that text next (TakeUnreturnedText).
    bool textAwaitsPaste = false;
    // Formats whose data did not arrive in time when the clipboard was remembered.
    size_t formatsNotKept = 0;
};

struct SelectionGrabListener {
    // Once per grab that was started, as soon as the selection has been read or given up.
    std::function<void(const SelectionGrab&)> selectionRead;
    // Once per grab whose copy changed the clipboard, when it has been put back or the
    // put-back has been given up.
    std::function<void(const ClipboardPutBack&)> clipboardPutBack;
};

// Starts reading the foreground program's selection; false when none is started (one is
// under way, or the program in front is this one). owner opens the clipboard, owns what
// is put back and receives the fetches' results and the timer ticks. The listener hears
// of each step on owner's thread.
bool StartSelectionGrab(HWND owner, SelectionGrabListener listener);

// A fetch's result (WM_CLIPBOARD_FETCHED); false when the ticket is not a grab's.
bool OnSelectionGrabFetched(WPARAM ticket, std::unique_ptr<ClipboardFetch>& fetch);

// Asked at each clipboard change: true when the change is a grab's (the copy made for
// it, a late one, or the put-back) and not a copy of the user's. A late copy from the
// program the keys went to starts the put-back.
bool ClaimedBySelectionGrab();
// After this, the clipboard's current content counts as the user's again (the paste
// command reads it on purpose).
void ForgetSelectionGrabPutBack();
// The text of a clipboard that could not be put back, once; empty when there is none.
std::wstring TakeUnreturnedText();
