#pragma once
// The About dialog: artwork, version, links, donation and the update check.
#include <windows.h>
#include <array>
#include <memory>
#include "platform/scoped_handle.h"
#include "update/update_check.h"

// What one open About dialog keeps. Whoever opens the dialog owns the record and keeps
// it until the dialog window is gone; it is the dialog's creation parameter.
struct AboutDialogState {
    // Static controls' class cursor as it was before the dialog put up the hand.
    HCURSOR savedStaticCursor = nullptr;
    GdiObject whiteBrush;
    // A static control never frees an image it was given, so the dialog keeps it.
    GdiObject donateImage;
    // The artwork, loaded once when the dialog opens and painted from here.
    std::array<GdiObject, 4> pictures;
    // The update check this dialog waits for, if any.
    std::shared_ptr<UpdateJob> runningCheck;
};

// Runs the dialog modally over owner; the result is the button that ended it.
INT_PTR ShowAboutDialog(HWND owner);

// lParam of WM_INITDIALOG: the AboutDialogState of this dialog.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
