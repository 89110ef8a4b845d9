#pragma once
// Fetching the clipboard's data away from the window's thread, within time limits. A
// program may place a format without its data and render it when it is asked for
// (WM_RENDERFORMAT, sent to it while the asking thread waits), and a slow or hung one
// answers when it likes. Opening the clipboard and fetching from it belong to one
// thread: one reader thread does all fetching, while the thread that asked watches the
// time. A format that is late is given up (noted as not kept) and the reader goes on
// with the rest, and with later fetches, from within its wait (clipboard_fetch.cpp).
#include <windows.h>
#include "clipboard/clipboard_snapshot.h"
#include <memory>
#include <vector>

enum class FetchScope {
    Everything,        // every format that could be put back
    TextUnlessSecret,  // the privacy marks, then the Unicode text unless they mark a secret
    CopyUnlessSecret,  // the same, or where there is no text, the copied image (ImageFormats)
};

// The formats a copied image comes in, the one read first first: a PNG file's bytes
// (registered as "PNG"), then the bitmaps with their headers. The platform makes the
// bitmaps from one another, and from a copied CF_BITMAP.
std::vector<UINT> ImageFormats();

struct FetchLimits {
    DWORD openMs;       // how long other programs may keep the clipboard open
    DWORD perFormatMs;  // how long one format may take to arrive
    DWORD totalMs;      // the whole fetch, opening included
};

enum class FetchOutcome {
    Fetched,   // content is what the clipboard held, less what is noted as not kept
    Busy,      // the clipboard could not be opened in time
};

struct ClipboardFetch {
    FetchOutcome outcome = FetchOutcome::Busy;
    DWORD sequence = 0;   // the clipboard's sequence number of the content
    ClipboardSnapshot content;
};

// Fetches on the reader thread and waits for it, for about limits.totalMs at most.
// Whoever placed a format may be a window of the calling thread, which cannot render
// while it waits: a window's thread uses StartClipboardFetch.
ClipboardFetch FetchClipboard(FetchScope scope, const FetchLimits& limits);

// Starts a fetch and returns at once. When it is done, WM_CLIPBOARD_FETCHED is posted to
// window with the returned ticket (never 0) as wParam; TakeFetchResult takes it.
WPARAM StartClipboardFetch(HWND window, FetchScope scope, const FetchLimits& limits);
std::unique_ptr<ClipboardFetch> TakeFetchResult(LPARAM lParam);
