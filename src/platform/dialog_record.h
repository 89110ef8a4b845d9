#pragma once
// Small owners for dialogs: the record a dialog was created with, kept with the dialog,
// an icon the dialog loaded for its own buttons, and running a modal dialog.
#include "platform/scoped_handle.h"
#include <windows.h>

// The record handed to a dialog as its creation parameter. WM_INITDIALOG stores it in the
// dialog's own slot; every later message finds it there. Null for the few messages a
// dialog receives before WM_INITDIALOG (WM_SETFONT, notifications of controls being
// made), which therefore must not need it.
template <typename Record>
Record* DialogRecord(HWND dialog, UINT message, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return reinterpret_cast<Record*>(lParam);
    }
    return reinterpret_cast<Record*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// The procedure of a dialog whose handler hears every message from WM_INITDIALOG on
// together with the dialog's record; the ones before it are left to the system.
template <typename Record, INT_PTR (*Handler)(HWND dialog, Record& record, UINT message, WPARAM wParam, LPARAM lParam)>
INT_PTR WithDialogRecord(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    Record* record = DialogRecord<Record>(dialog, message, lParam);
    return record ? Handler(dialog, *record, message, wParam, lParam) : FALSE;
}

// An icon of the dialog's own (not one shared through LoadIcon, which must not be destroyed).
using IconHandle = NullableHandle<HICON, DestroyIcon>;

// Runs a modal dialog with its record; a dialog that cannot be made is reported to the
// owner with the system's reason rather than silently not shown. Returns what the dialog
// ended with, or -1.
INT_PTR RunModalDialog(UINT templateId, HWND owner, DLGPROC procedure, void* record);
