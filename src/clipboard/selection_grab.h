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

enum class SelectionGrabStage {
    Idle,
    Remembering,
    AwaitingRelease,
    Refocusing,
    WaitingForCopy,
    ReadingCopy,
    WatchingForLateCopy,
    PuttingBack,
    AwaitingClose,
};

// The grab under way; back to its first values when it ends.
struct SelectionGrabRun {
    SelectionGrabStage stage = SelectionGrabStage::Idle;
    HWND owner = nullptr;
    SelectionGrabListener listener;
    WPARAM ticket = 0;
    int rememberAttempts = 0;
    std::unique_ptr<ClipboardSnapshot> remembered;
    HWND target = nullptr;          // in front when the hot key was pressed
    ULONGLONG stageSince = 0;
    DWORD sequenceBeforeKeys = 0;
    DWORD frontProcess = 0;
    ULONGLONG keysSentAt = 0;
    ULONGLONG putBackSince = 0;
};

// The Read selection of one window: the grab under way, and what the last one left.
struct SelectionGrabber {
    SelectionGrabRun run;
    // The sequence number of the clipboard as the last grab left it (put back, or holding
    // the copy made for it when it could not be put back); 0 when there is none.
    DWORD putBackSequence = 0;
    // What the clipboard held before a grab that could not put it back.
    std::wstring unreturnedText;
};

// Starts reading the foreground program's selection; false when none is started (one is
// under way, or the program in front is this one). owner opens the clipboard, owns what
// is put back and receives the fetches' results and the timer ticks (IDT_SELECTION_GRAB),
// which it hands to OnSelectionGrabTimer. The listener hears of each step on owner's thread.
bool StartSelectionGrab(SelectionGrabber& grabber, HWND owner, SelectionGrabListener listener);
void OnSelectionGrabTimer(SelectionGrabber& grabber);

// A fetch's result (WM_CLIPBOARD_FETCHED); false when the ticket is not a grab's.
bool OnSelectionGrabFetched(SelectionGrabber& grabber, WPARAM ticket, std::unique_ptr<ClipboardFetch>& fetch);

// Asked at each clipboard change: true when the change is a grab's (the copy made for
// it, a late one, or the put-back) and not a copy of the user's. A late copy from the
// program the keys went to starts the put-back.
bool ClaimedBySelectionGrab(SelectionGrabber& grabber);
// After this, the clipboard's current content counts as the user's again (the paste
// command reads it on purpose).
void ForgetSelectionGrabPutBack(SelectionGrabber& grabber);
// The text of a clipboard that could not be put back, once; empty when there is none.
std::wstring TakeUnreturnedText(SelectionGrabber& grabber);
